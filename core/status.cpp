#include "core/status.h"

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

Row SystemRow(int32_t code) {
  switch (code) {
    case 0:
    case 36864:
      return {0, "Command successful.", Fmt::Hex, 0};
    case 6:
    case 5021:
      return {5021, "Card is not connect", Fmt::Hex, 5021};
    case 23:
    case 5036:
    case 27120:
      return {5036, "User Cancel to do Txn Tac.", Fmt::Dec, 5036};
    case 5003: return {5003, "Illegal Access Component.", Fmt::Dec, 5003};
    case 5004: return {5004, "IE Url No Support!", Fmt::Dec, 5004};
    case 5031:
    case 26120:
      return {5031, "PIN Error.", Fmt::Dec, 5031};
    case 5032:
    case 26144:
      return {5032, "FISC Card Locked (over error try 3 times).", Fmt::Dec, 5032};
    case 5033:
    case 26128:
      return {5033, "PIN is not verifyed.", Fmt::Dec, 5033};
    case 5034: return {5034, "Web Server is not Bank's (check 'ATM').", Fmt::Dec, 5034};
    case 5035: return {5035, "Card is Changed or Remove.", Fmt::Dec, 5035};
    case 5037: return {5037, "User confirm time out (2nd gen reader input pin).", Fmt::Dec, 5037};
    case 5038: return {5038, "No this AccountNo.", Fmt::Dec, 5038};
    case 5041: return {5041, "ReaderName is not valid.", Fmt::Dec, 5041};
    case 5042: return {5042, "ReaderType is not valid.", Fmt::Dec, 5042};
    case 5043: return {5043, " SessionKey is not valid.", Fmt::Dec, 5043};
    case 5044: return {5044, " FdId is not valid.", Fmt::Dec, 5044};
    case 5045: return {5045, " FdChkCode is not valid.", Fmt::Dec, 5045};
    case 5046: return {5046, " AccountNo is not valid.", Fmt::Dec, 5046};
    case 5047: return {5047, " PCode is not valid.", Fmt::Dec, 5047};
    case 5048: return {5048, " AgentBankNo is not valid.", Fmt::Dec, 5048};
    case 5049: return {5049, " InBankNo is not valid.", Fmt::Dec, 5049};
    case 5050: return {5050, " InAccountNo is not valid.", Fmt::Dec, 5050};
    case 5051: return {5051, " Amount is not valid.", Fmt::Dec, 5051};
    case 5052: return {5052, " ServerDateTime is not valid.", Fmt::Dec, 5052};
    case 5053: return {5053, " FeeType  is not valid.", Fmt::Dec, 5053};
    case 5054: return {5054, " FeeName is not valid.", Fmt::Dec, 5054};
    case 5055: return {5055, " Kind is not valid.", Fmt::Dec, 5055};
    case 5056: return {5056, " AccountName is not valid.", Fmt::Dec, 5056};
    case 5057: return {5057, " MerchantId is not valid.", Fmt::Dec, 5057};
    case 6002: return {6002, " para input error.", Fmt::Dec, 6002};
    default: return {code, "Other Error!", Fmt::Hex, code};
  }
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
    "The card cannot be accessed because the maximum number of PIN entry attempts has been reached.",
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
    case 0x80100009u: return {5012, text, Fmt::Dec, 5012};
    case 0x8010000Bu: return {5014, text, Fmt::Dec, 5014};
    case 0x8010001Du: return {5001, text, Fmt::Dec, 5001};
    case 0x8010002Eu: return {5002, text, Fmt::Hex, 5002};
    case 0x80100069u: return {5035, text, Fmt::Dec, 5035};
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

}  // namespace quilta
