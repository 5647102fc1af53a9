// CAtmCore: the one object that holds all state of the system. Both script surfaces (the
// NPAPI plug-in and the ActiveX control) forward every property access and method call to
// the process's single instance.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "core/member_table.h"
#include "core/status.h"
#include "core/text.h"
#include "crypto/rijndael.h"
#include "platform/os.h"
#include "platform/pcsc.h"

namespace quilta {

class CAtmCore;

// The command and response area of the card exchange.
struct ExchangeBuffer {
  static constexpr uint32_t kOffered = 272;
  uint32_t receiveLength = kOffered;  // in: 272; out: response bytes including SW1 SW2
  uint32_t commandLength = 0;
  uint8_t command[1024] = {};
  uint8_t receive[1028] = {};
};

// Hex-text fields of one card command, in the form CardExchange takes them.
struct CommandFields {
  std::string cla, ins, p1, p2;
  std::optional<std::string> lc;    // with lc, data holds 2 * lc characters
  std::string data;
  std::optional<std::string> le;
};

// What VerifyPIN / ChangePIN hand the reader-instruction dialog for reader types 2 and 3.
struct ReaderPinRequest {
  Text caption;          // "密碼認證" or "密碼變更"
  Text instruction;      // shown in control 202
  int32_t readerType = 0;
  CommandFields command;  // type 2: sent once by the dialog
  Text pin;               // type 3
  Text newPin;            // type 3, change only
  bool change = false;
};

// The seam through which the card engine runs the reader-instruction dialog (template 103).
// Returns the dialog's end code: 2 cancelled, 1 OK before the exchange, -1 not shown, else
// the card's status word or a PC/SC result.
class ReaderPinDialog {
 public:
  virtual ~ReaderPinDialog() = default;
  virtual int32_t Run(CAtmCore& core, const ReaderPinRequest& request) = 0;
};

// A property value as the bindings see it.
struct PropValue {
  ValueType type = ValueType::Text;
  Text text;
  int32_t number = 0;
};

// A method's result: the status, or for GetComVersion a text.
struct CallResult {
  bool isText = false;
  Text text;
  int32_t status = 0;
};

class CAtmCore {
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
  // MapStatus with this process's ErrorText.
  int32_t Map(int32_t code);
  // One APDU from hex-text fields through CardHandle (see card/card_exchange.cpp).
  int32_t CardExchange(const CommandFields& fields);
  int32_t CardExchange(std::string_view cla, std::string_view ins, std::string_view p1,
                       std::string_view p2, std::optional<std::string_view> lc = std::nullopt,
                       std::string_view data = {},
                       std::optional<std::string_view> le = std::nullopt);
  // Session-key step and field encryption on the core's cipher.
  int32_t UnwrapSessionKey();
  Text EncryptField(const Text& text);

  // ---- State ----
  Text& T(Prop p) { return text_[static_cast<size_t>(p)]; }
  const Text& T(Prop p) const { return text_[static_cast<size_t>(p)]; }
  int32_t& N(Prop p) { return num_[static_cast<size_t>(p)]; }
  int32_t N(Prop p) const { return num_[static_cast<size_t>(p)]; }

  // Process-wide items (the core is one per process, so they live here).
  std::string errorText;  // ErrorInfo; at most 199 bytes
  Text plainSessionKey;
  bool pinVerified = false;
  bool readerPinDone = false;
  platform::ScardContext cardContext = 0;
  platform::ScardHandle cardHandle = 0;
  uint32_t activeProtocol = platform::scard::kProtocolT1;

  // Amount as written: the 14-character form and the leading integer.
  Text amount14;
  int32_t amountValue = 0;

  // Crypto members.
  std::string keyTable;
  std::string cipherKey;
  std::string cipherChain;
  CRijndael cipher;

  ExchangeBuffer exchange;

  // Services; replaced by tests, the page-script host's development hooks and the demo.
  platform::Pcsc* pcsc;
  platform::Sleeper* sleeper;
  ReaderPinDialog* readerPinDialog = nullptr;

  // Set while one of our modal dialogs runs: the bindings refuse script calls meanwhile.
  int modalDepth = 0;

 private:
  void WriteChecked(Prop p, const Text& value);
  std::array<Text, kPropCount> text_;
  std::array<int32_t, kPropCount> num_{};
};

// RAII marker for a running modal dialog.
class ModalScope {
 public:
  explicit ModalScope(CAtmCore& core) : core_(core) { ++core_.modalDepth; }
  ~ModalScope() { --core_.modalDepth; }
  ModalScope(const ModalScope&) = delete;
  ModalScope& operator=(const ModalScope&) = delete;

 private:
  CAtmCore& core_;
};

}  // namespace quilta
