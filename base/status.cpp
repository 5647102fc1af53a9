#include "base/status.h"

#include <cstdio>

namespace quilta {
namespace {

enum class Fmt { Dec, Hex };

struct Row {
  int32_t status;
  const char* text;
  Fmt fmt;
  int32_t printed;
};

// Card status words and PC/SC values that read as one of our statuses.
constexpr int32_t kWindowsInvalidHandle = 6;   // ERROR_INVALID_HANDLE from the context call
constexpr int32_t kWindowsCancelled = 23;      // the reader dialog's own cancel
constexpr int32_t kSwReaderCancel = status::kSwReaderTimeout;  // 69 F0 reads as a cancel

struct SystemEntry {
  int32_t status;
  const char* text;
  Fmt fmt;
};

// Our own codes and their texts. Every row prints its own status.
constexpr SystemEntry kSystemRows[] = {
    {status::kOk, "Command successful.", Fmt::Hex},
    {status::kCardNotConnected, "Card is not connect", Fmt::Hex},
    {status::kUserCancel, "User Cancel to do Txn Tac.", Fmt::Dec},
    {status::kIllegalAccess, "Illegal Access Component.", Fmt::Dec},
    {status::kUrlNotSupported, "IE Url No Support!", Fmt::Dec},
    {status::kCardNotInserted, "Fisc card is not inserted.", Fmt::Dec},
    {status::kPinError, "PIN Error.", Fmt::Dec},
    {status::kPinBlocked, "FISC Card Locked (over error try 3 times).", Fmt::Dec},
    {status::kPinNotVerified, "PIN is not verifyed.", Fmt::Dec},
    {status::kNotBankServer, "Web Server is not Bank's (check 'ATM').", Fmt::Dec},
    {status::kCardChanged, "Card is Changed or Remove.", Fmt::Dec},
    {status::kConfirmTimeout, "User confirm time out (2nd gen reader input pin).", Fmt::Dec},
    {status::kNoSuchAccount, "No this AccountNo.", Fmt::Dec},
    {status::kBadReaderName, "ReaderName is not valid.", Fmt::Dec},
    {status::kBadReaderType, "ReaderType is not valid.", Fmt::Dec},
    {status::kBadSessionKey, " SessionKey is not valid.", Fmt::Dec},
    {status::kBadFdId, " FdId is not valid.", Fmt::Dec},
    {status::kBadFdChkCode, " FdChkCode is not valid.", Fmt::Dec},
    {status::kBadAccountNo, " AccountNo is not valid.", Fmt::Dec},
    {status::kBadPCode, " PCode is not valid.", Fmt::Dec},
    {status::kBadAgentBankNo, " AgentBankNo is not valid.", Fmt::Dec},
    {status::kBadInBankNo, " InBankNo is not valid.", Fmt::Dec},
    {status::kBadInAccountNo, " InAccountNo is not valid.", Fmt::Dec},
    {status::kBadAmount, " Amount is not valid.", Fmt::Dec},
    {status::kBadServerDateTime, " ServerDateTime is not valid.", Fmt::Dec},
    {status::kBadFeeType, " FeeType  is not valid.", Fmt::Dec},
    {status::kBadFeeName, " FeeName is not valid.", Fmt::Dec},
    {status::kBadKind, " Kind is not valid.", Fmt::Dec},
    {status::kBadAccountName, " AccountName is not valid.", Fmt::Dec},
    {status::kBadMerchantId, " MerchantId is not valid.", Fmt::Dec},
    {status::kBadParameter, " para input error.", Fmt::Dec},
};

// Values that read as another row: the card's success word and its PIN words, Windows
// error codes.
struct Alias {
  int32_t code;
  int32_t status;
};
constexpr Alias kAliases[] = {
    {status::kSwOk, status::kOk},
    {kWindowsInvalidHandle, status::kCardNotConnected},
    {kWindowsCancelled, status::kUserCancel},
    {kSwReaderCancel, status::kUserCancel},
    {status::kSwWrongPin, status::kPinError},
    {status::kSwPinBlocked, status::kPinBlocked},
    {status::kSwPinNotVerified, status::kPinNotVerified},
};

Row SystemRow(int32_t code) {
  for (const Alias& a : kAliases)
    if (a.code == code) code = a.status;
  for (const SystemEntry& e : kSystemRows)
    if (e.status == code) return {e.status, e.text, e.fmt, e.status};
  return {code, "Other Error!", Fmt::Hex, code};
}

// The standard PC/SC result codes 0x80100001..0x8010002F and 0x80100065..0x8010006E.
const char* const kPcscTexts[] = {
    nullptr,
    "An internal consistency check failed.",
    "The action was canceled by an SCardCancel request.",
    "The supplied handle was invalid.",
    "One or more of the supplied parameters could not be properly interpreted.",
    "Registry startup information is missing or invalid.",
    "Not enough memory available to complete this command.",
    "An internal consistency timer has expired.",
    "The data buffer for returned data is too small for the returned data.",
    "No this reader.",
    "The user-specified time-out value has expired.",
    " Card is already connect and locked.",
    "The operation requires a smart card, but no smart card is currently in the device.",
    "The specified smart card name is not recognized.",
    "The system could not dispose of the media in the requested manner.",
    "The requested protocols are incompatible with the protocol currently in use with the card.",
    "The reader or card is not ready to accept commands.",
    "One or more of the supplied parameter values could not be properly interpreted.",
    "The action was canceled by the system, presumably to log off or shut down.",
    "An internal communications error has been detected.",
    "An internal error has been detected, but the source is unknown.",
    "An ATR string obtained from the registry is not a valid ATR string.",
    "An attempt was made to end a nonexistent transaction.",
    "The specified reader is not currently available for use.",
    "The operation has been aborted to allow the server application to exit.",
    "The PCI receive buffer was too small.",
    "The reader driver does not meet minimal requirements for support.",
    "The reader driver did not produce a unique reader name.",
    "The smart card does not meet minimal requirements for support.",
    "no pc/sc reader driver installed.",
    "The smart card resource manager has shut down.",
    "An unexpected card error has occurred.",
    "No primary provider can be found for the smart card.",
    "The requested order of object creation is not supported.",
    "This smart card does not support the requested feature.",
    "The specified directory does not exist in the smart card.",
    "The specified file does not exist in the smart card.",
    "The supplied path does not represent a smart card directory.",
    "The supplied path does not represent a smart card file.",
    "Access is denied to the file.",
    "An attempt was made to write more data than would fit in the target object.",
    "An error occurred in setting the smart card file object pointer.",
    "The supplied PIN is incorrect.",
    "An unrecognized error code was returned from a layered component.",
    "The requested certificate does not exist.",
    "The requested certificate could not be obtained.",
    "no pc/sc reader plugged in.",
    "A communications error with the smart card has been detected.",
};

const char* const kPcscWarningTexts[] = {
    "The smart card is not responding to a reset.",                   // 65
    "Power has been removed from the smart card, so that further communication is not possible.",
    nullptr,                                                          // 67
    "The smart card has been reset, so any shared state information is invalid.",
    "Card is Changed or Remove.",                                     // 69
    "Access was denied because of a security violation.",
    "The card cannot be accessed because the wrong PIN was presented.",
    "The card cannot be accessed because the maximum number of PIN entry attempts has been "
    "reached.",
    "The end of the smart card file has been reached.",
    "The action was canceled by the user.",                           // 6E
};

Row PcscRow(int32_t code) {
  uint32_t u = static_cast<uint32_t>(code);
  const char* text = nullptr;
  if (u >= 0x80100001u && u <= 0x8010002Fu) {
    text = kPcscTexts[u - 0x80100000u];
  } else if (u >= 0x80100065u && u <= 0x8010006Eu) {
    text = kPcscWarningTexts[u - 0x80100065u];
  }
  if (text == nullptr) return {code, "Other Error!", Fmt::Hex, code};
  switch (u) {
    case 0x80100009u: return {status::kUnknownReader, text, Fmt::Dec, status::kUnknownReader};
    case 0x8010000Bu: return {status::kCardLocked, text, Fmt::Dec, status::kCardLocked};
    case 0x8010001Du: return {status::kNoService, text, Fmt::Dec, status::kNoService};
    case 0x8010002Eu: return {status::kNoReaders, text, Fmt::Hex, status::kNoReaders};
    case 0x80100069u: return {status::kCardChanged, text, Fmt::Dec, status::kCardChanged};
    default: return {code, text, Fmt::Hex, code};
  }
}

}  // namespace

int32_t MapStatus(int32_t code, std::string* errorText) {
  Row row = code >= 0 ? SystemRow(code) : PcscRow(code);
  char buf[kErrorTextSize];
  if (row.fmt == Fmt::Dec) {
    std::snprintf(buf, sizeof buf, "%s (%d)", row.text, row.printed);
  } else {
    std::snprintf(buf, sizeof buf, "%s (%lx)", row.text,
                  static_cast<unsigned long>(static_cast<uint32_t>(row.printed)));
  }
  if (errorText) *errorText = buf;
  return row.status;
}

int32_t Outcome::TableCode() const {
  if (kind_ == Kind::Dialog && rule_ == DialogRule::CancelIs5036 && value_ == dialog_end::kCancel)
    return status::kUserCancel;
  return value_;
}

int32_t Outcome::PageStatus() const {
  if (accepted_) return status::kOk;
  return MapStatus(TableCode(), nullptr);
}

bool Outcome::ok() const { return PageStatus() == status::kOk; }

int32_t ErrorInfo::Report(const Outcome& outcome) {
  if (!outcome.WritesErrorInfo()) return status::kOk;
  return MapStatus(outcome.TableCode(), &text_);
}

}  // namespace quilta
