// CAtmCore: the facade of the system. It owns the parts (card channel, property store,
// session crypto, the process-wide items; core/parts.h) and offers the scriptable members
// by name. Every script surface forwards to the process's single instance.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "card/apdu.h"
#include "base/member_table.h"
#include "core/parts.h"
#include "base/properties.h"
#include "base/status.h"
#include "base/text.h"

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

class CAtmCore : public CoreParts {
 public:
  // The process's one core, created on first use and never destroyed.
  static CAtmCore& Instance();

  // Tests create their own cores; the bindings always use Instance().
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
#define QUILTA_PROP(dispid, name, access, type, limit, def, read, write)
#include "base/members.def"
#undef QUILTA_METHOD
#undef QUILTA_PROP
#undef QUILTA_DECL_None
#undef QUILTA_DECL_Pin
#undef QUILTA_DECL_Req1
#undef QUILTA_DECL_Req2
#undef QUILTA_DECL_Req3
#undef QUILTA_DECL_Version

  // ---- Internal operations ----
  // One of our codes (or a raw value of the old contract) through the status table, with
  // ErrorInfo written.
  int32_t Map(int32_t code) { return Report(code); }
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
    return crypto.UnwrapSessionKey(props.T(Prop::SessionKey), &shared.plainSessionKey);
  }
  Text EncryptField(const Text& text) { return crypto.EncryptField(text); }

  // Slots, as the card engine and the tests read them.
  Text& T(Prop p) { return props.T(p); }
  const Text& T(Prop p) const { return props.T(p); }
  int32_t& N(Prop p) { return props.N(p); }
  int32_t N(Prop p) const { return props.N(p); }
  const std::string& errorText() const { return shared.errorInfo.text(); }
};

}  // namespace quilta
