// CAtmCore: the facade of the system. It owns its parts (the card channel, the property
// store, the session crypto, the process-wide items and the modal marker) and offers the
// scriptable members by name. The card layer and the dialogs speak their own words (typed
// data, Outcome, dialog end codes); the method bodies here and in txn/ write the page's
// properties from them and report every status through ErrorInfo. Every script surface
// reaches the process's single instance through the script layer (core/script.h).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "base/member_table.h"
#include "base/properties.h"
#include "base/status.h"
#include "base/text.h"
#include "card/apdu.h"
#include "card/channel.h"
#include "core/process_state.h"
#include "core/reader_pin.h"
#include "crypto/session_crypto.h"
#include "ui/modal.h"
#include "ui/modal_host.h"

namespace quilta {

class CAtmCore;

// The hex-text form of one card command, as CardExchange takes it.
using card::CommandFields;

// A method's result: the status, or for GetComVersion a text.
struct CallResult {
  bool isText = false;
  Text text;
  int32_t status = 0;
};

class CAtmCore {
 public:
  // The process's one core is the script layer's (ProcessCore, core/script.h); tests create
  // their own.
  CAtmCore();
  CAtmCore(const CAtmCore&) = delete;
  CAtmCore& operator=(const CAtmCore&) = delete;

  // ---- Script surface, driven by the member table ----
  // False for a name that is not readable (write-only).
  bool GetProperty(Prop p, PropValue* out) const;
  // Text write with the property's limit and write rule. False when the property is not
  // writable from the page (read-only), true otherwise, also when the value was dropped.
  bool PutText(Prop p, const Text& value);
  // Integer write (ReaderType, ApplyType). False for other properties.
  bool PutInt(Prop p, int32_t value);
  // Calls a method with its arguments as texts (nullopt: missing or not a text), dispatched
  // from the member table. Missing required arguments give the row's status (6002;
  // SetReaderType 5042) before anything runs.
  CallResult Call(Method m, std::span<const std::optional<Text>> args);

  // ---- Methods (statuses as the page sees them), declared from the member table ----
#define QUILTA_DECL_None(name) int32_t name();
#define QUILTA_DECL_Pin(name) int32_t name(const std::optional<Text>& pin);
#define QUILTA_DECL_Req1(name) int32_t name(const Text& a1);
#define QUILTA_DECL_Req2(name) int32_t name(const Text& a1, const Text& a2);
#define QUILTA_DECL_Req3(name) int32_t name(const Text& a1, const Text& a2, const Text& a3);
#define QUILTA_DECL_Version(name) Text name();
#define QUILTA_METHOD(dispid, name, scope, argc, a1, a2, a3, form, missing) QUILTA_DECL_##form(name)
#define QUILTA_PROP(dispid, name, access, type, limit, def, read, write, ...)
#include "base/members.def"
#undef QUILTA_METHOD
#undef QUILTA_PROP
#undef QUILTA_DECL_None
#undef QUILTA_DECL_Pin
#undef QUILTA_DECL_Req1
#undef QUILTA_DECL_Req2
#undef QUILTA_DECL_Req3
#undef QUILTA_DECL_Version

  // ---- The parts (the transactions of txn/, the bindings' development hooks and the tests)
  card::Channel& channel() { return channel_; }
  const card::Channel& channel() const { return channel_; }
  PropertyStore& props() { return props_; }
  const PropertyStore& props() const { return props_; }
  SessionCrypto& crypto() { return crypto_; }
  ProcessState& state() { return state_; }
  const ProcessState& state() const { return state_; }
  // Held while one of our dialogs or message boxes waits on the person.
  ui::ModalHost& modalHost() { return modal_; }
  bool Busy() const { return modal_.Busy(); }
  // Where the dialogs run: the modal marker, the card channel and ReaderName as it is now.
  ui::DialogSite dialogSite();

  // The dialog that takes the PIN on the pad of reader types 2 and 3; nullptr (the default)
  // leaves it not shown (end code -1, read as 5036). InstallDialogs puts the ui's own
  // (template 103) in place: the script layer's start-up and the tests call it once per core.
  void SetReaderPinDialog(ReaderPinDialog* dialog) { readerPinDialog_ = dialog; }
  ReaderPinDialog* readerPinDialog() const { return readerPinDialog_; }
  void InstallDialogs();

  // ---- Internal operations ----
  // Reports an outcome: writes ErrorInfo and returns the page's status.
  int32_t Report(const Outcome& outcome) { return state_.errorInfo.Report(outcome); }
  // One of our codes (or a raw value of the old contract) through the status table, with
  // ErrorInfo written.
  int32_t Report(int32_t ownCode) { return state_.errorInfo.Report(ownCode); }
  // One command on the card channel, reported (shSW12 follows every transmitted command).
  int32_t Send(const card::CommandApdu& apdu);
  // One APDU from hex-text fields: 6002 for a field that is not upper-case hex of its full
  // length (nothing is sent); a failed transmit returns the PC/SC result unmapped (ErrorInfo
  // untouched); otherwise the card's status word as reported (66 02 reads as 0).
  int32_t CardExchange(const CommandFields& fields);
  int32_t CardExchange(std::string_view cla, std::string_view ins, std::string_view p1,
                       std::string_view p2, std::optional<std::string_view> lc = std::nullopt,
                       std::string_view data = {},
                       std::optional<std::string_view> le = std::nullopt) {
    CommandFields f{std::string(cla), std::string(ins), std::string(p1), std::string(p2),
                    std::nullopt, std::string(data), std::nullopt};
    if (lc) f.lc = std::string(*lc);
    if (le) f.le = std::string(*le);
    return CardExchange(f);
  }
  int32_t UnwrapSessionKey() {
    return crypto_.UnwrapSessionKey(props_.TextOf(Prop::SessionKey), &state_.plainSessionKey);
  }
  Text EncryptField(const Text& text) { return crypto_.EncryptField(text); }
  // ErrorInfo's text as the page reads it.
  const std::string& errorText() const { return state_.errorInfo.text(); }

 private:
  card::Channel channel_;
  PropertyStore props_;
  SessionCrypto crypto_;
  ProcessState state_;
  ui::ModalHost modal_;
  ReaderPinDialog* readerPinDialog_ = nullptr;
};

}  // namespace quilta
