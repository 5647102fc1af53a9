// The system's status vocabulary: MapStatus turns any raw outcome (a PC/SC result, a card
// status word, a dialog result or one of our own codes) into the status handed to the page
// and the line of text the page reads as ErrorInfo.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace quilta {

// Our own codes.
namespace status {
inline constexpr int32_t kOk = 0;
inline constexpr int32_t kNoService = 5001;
inline constexpr int32_t kNoReaders = 5002;
inline constexpr int32_t kIllegalAccess = 5003;
inline constexpr int32_t kUrlNotSupported = 5004;
inline constexpr int32_t kInvalidHandleFromContext = 5011;
inline constexpr int32_t kUnknownReader = 5012;
inline constexpr int32_t kCardNotInserted = 5013;
inline constexpr int32_t kCardLocked = 5014;
inline constexpr int32_t kCardNotConnected = 5021;
inline constexpr int32_t kPinError = 5031;
inline constexpr int32_t kPinBlocked = 5032;
inline constexpr int32_t kPinNotVerified = 5033;
inline constexpr int32_t kNotBankServer = 5034;
inline constexpr int32_t kCardChanged = 5035;
inline constexpr int32_t kUserCancel = 5036;
inline constexpr int32_t kConfirmTimeout = 5037;
inline constexpr int32_t kNoSuchAccount = 5038;
inline constexpr int32_t kBadReaderName = 5041;
inline constexpr int32_t kBadReaderType = 5042;
inline constexpr int32_t kBadSessionKey = 5043;
inline constexpr int32_t kBadFdId = 5044;
inline constexpr int32_t kBadFdChkCode = 5045;
inline constexpr int32_t kBadAccountNo = 5046;
inline constexpr int32_t kBadPCode = 5047;
inline constexpr int32_t kBadAgentBankNo = 5048;
inline constexpr int32_t kBadInBankNo = 5049;
inline constexpr int32_t kBadInAccountNo = 5050;
inline constexpr int32_t kBadAmount = 5051;
inline constexpr int32_t kBadServerDateTime = 5052;
inline constexpr int32_t kBadFeeType = 5053;
inline constexpr int32_t kBadFeeName = 5054;
inline constexpr int32_t kBadKind = 5055;
inline constexpr int32_t kBadAccountName = 5056;
inline constexpr int32_t kBadMerchantId = 5057;
inline constexpr int32_t kKeypadTampered = 5060;
inline constexpr int32_t kBadId = 6001;
inline constexpr int32_t kBadParameter = 6002;
// A script call that arrives while one of our modal dialogs is open (the browser keeps
// running its event loop during the dialog): refused, nothing changes. Not in the table,
// so it reads "Other Error! (1779)".
inline constexpr int32_t kBusy = 6009;

// Card status words with a meaning of their own.
inline constexpr int32_t kSwOk = 0x9000;
inline constexpr int32_t kSwWrongPin = 0x6608;
inline constexpr int32_t kSwPinNotVerified = 0x6610;
inline constexpr int32_t kSwPinBlocked = 0x6620;
inline constexpr int32_t kSwReaderTimeout = 0x69F0;
inline constexpr int32_t kSwAccepted = 0x6602;
}  // namespace status

// The last status text; 200 bytes with its terminator.
inline constexpr size_t kErrorTextSize = 200;

// Dialog end codes with a meaning of their own (a reader dialog may also end with the card's
// status word or a PC/SC result).
namespace dialog_end {
inline constexpr int32_t kOk = 1;
inline constexpr int32_t kCancel = 2;
inline constexpr int32_t kTimedOut = 3;
inline constexpr int32_t kNoCard = 4;
inline constexpr int32_t kEntryRejected = 5;
inline constexpr int32_t kNotShown = -1;
}  // namespace dialog_end

// How a dialog's end code reads for the page.
enum class DialogRule : uint8_t {
  Table,          // through the status table as it is
  CancelIs5036,   // end code 2 (the customer cancelled) reads as 5036, the rest through the table
};

// What an operation ended with, before it reaches the page: one of our own codes, a PC/SC
// result, a card status word or a dialog end code. Kept apart so that nothing converts a
// value twice; ErrorInfo::Report turns it into the page's status.
class Outcome {
 public:
  enum class Kind : uint8_t { Own, Pcsc, Card, Dialog };

  static Outcome Ok() { return Own(status::kOk); }
  static Outcome Own(int32_t code) { return {Kind::Own, code}; }
  static Outcome Pcsc(uint32_t result) { return {Kind::Pcsc, static_cast<int32_t>(result)}; }
  // The card's status word. `accepted` marks the card's 66 02 rule: success, and ErrorInfo
  // keeps its text.
  static Outcome Card(uint16_t sw, bool accepted = false) {
    Outcome o{Kind::Card, sw};
    o.accepted_ = accepted;
    return o;
  }
  static Outcome Dialog(int32_t end, DialogRule rule) {
    Outcome o{Kind::Dialog, end};
    o.rule_ = rule;
    return o;
  }

  Kind kind() const { return kind_; }
  // The value as the card engine's contract hands it on unmapped: the PC/SC result as its
  // 32-bit signed value, SW1 * 256 + SW2, the dialog end code, or our code (0 for 66 02).
  int32_t raw() const { return accepted_ ? 0 : value_; }
  // True for every outcome that reads as success (0) on the page.
  bool ok() const;
  // The page's status (what ErrorInfo::Report returns), without writing anything.
  int32_t PageStatus() const;
  // False for the card's 66 02, whose success leaves ErrorInfo as it was.
  bool WritesErrorInfo() const { return !accepted_; }
  // This outcome, a success, followed by `next` within one operation: what reporting both in
  // turn leaves the page. That is `next`, except that the card's 66 02 after a success that
  // wrote ErrorInfo leaves that success's text, the one every success writes.
  Outcome Then(const Outcome& next) const {
    if (next.WritesErrorInfo() || !WritesErrorInfo()) return next;
    return Ok();
  }

 private:
  friend class ErrorInfo;
  Outcome(Kind k, int32_t v) : kind_(k), value_(v) {}
  // The code the status table is looked up with.
  int32_t TableCode() const;

  Kind kind_;
  int32_t value_;
  bool accepted_ = false;
  DialogRule rule_ = DialogRule::Table;
};

// ErrorInfo: the process-wide text of the last status, and the one place that writes it.
class ErrorInfo {
 public:
  // Writes the outcome's text (unless it keeps the text) and returns the page's status.
  int32_t Report(const Outcome& outcome);
  // One of our codes, or an unmapped value of the old contract, through the table.
  int32_t Report(int32_t code) { return Report(Outcome::Own(code)); }
  const std::string& text() const { return text_; }

 private:
  std::string text_;
};

// Looks `code` up in the status table, writes "%s (%d)" or "%s (%lx)" into *errorText and
// returns the status.
int32_t MapStatus(int32_t code, std::string* errorText);

// What a page does with a status it meets: one sentence to show the customer in Traditional
// Chinese and one in English (the system's own customer texts), and the page's next step
// (Markdown, for the page author). A row covers the statuses first..last. Data only: nothing
// in the plug-in reads it; `quilta-members --markdown` prints it into the page author's guide.
struct StatusAdvice {
  int32_t first;
  int32_t last;
  const char* customerZh;  // UTF-8
  const char* customerEn;
  const char* nextStep;
};
// The rows, in the order the guide lists them.
std::span<const StatusAdvice> PageAdvice();

// PC/SC result codes are 32-bit values (positive 64-bit longs on pcsc-lite): the status
// handed on is their 32-bit signed value.
inline int32_t PcscStatus(uint64_t rv) { return static_cast<int32_t>(static_cast<uint32_t>(rv)); }

}  // namespace quilta
