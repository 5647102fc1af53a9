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
#include "core/member_table.h"
#include "core/parts.h"
#include "core/properties.h"
#include "core/status.h"
#include "core/text.h"

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
  // Calls a method with its arguments as the page passed them (nullopt: missing or not a
  // text). Missing required arguments give 6002 (SetReaderType: 5042) before anything runs.
  CallResult Call(Method m, std::span<const std::optional<Text>> args);

  // ---- Methods (statuses as the page sees them) ----
  Text GetComVersion();
  int32_t ConnectDriver();
  int32_t DisconnectDriver();
  int32_t ListReadersName();
  int32_t CheckCardInsert();
  int32_t ConnectCard();
  int32_t DisconnectCard();
  int32_t CheckCardChange();
  int32_t ReadBasicData();
  int32_t ReadAuthInAcctNo();
  int32_t SetReaderType(const Text& type);
  int32_t VerifyPIN(const Text& pin);
  int32_t ChangePIN(const Text& oldPin, const Text& newPin);
  int32_t DoLoginTAC();
  int32_t DoInquiryTAC(const std::optional<Text>& pin);
  int32_t DoAccessibleInquiryTAC(const std::optional<Text>& pin);
  int32_t DoTransferTAC(const std::optional<Text>& pin);
  int32_t DoAccessibleTransferTAC(const std::optional<Text>& pin);
  int32_t DoNBTransferTAC(const std::optional<Text>& pin);
  int32_t DoPayTaxTAC(const std::optional<Text>& pin);
  int32_t DoPayFeeTAC(const std::optional<Text>& pin);
  int32_t DoPayMoneyTAC(const std::optional<Text>& pin);
  int32_t ReadTACLog();
  int32_t GetAtmCode(const Text& inAccountNo, const Text& amount, const Text& sessionKey);
  int32_t DoActiveTAC();
  int32_t SetCardActive();
  int32_t SetPinActive();
  int32_t SetCardData();
  int32_t DoApplyTAC(const std::optional<Text>& pin);
  int32_t DoInput();

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
