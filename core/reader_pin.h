// The PIN on a reader's own pad (reader types 2 and 3): what VerifyPIN and ChangePIN hand the
// reader-instruction dialog (template 103), and the seam through which the facade runs it.
#pragma once

#include <cstdint>
#include <optional>

#include "base/secret.h"
#include "base/text.h"
#include "card/apdu.h"

namespace quilta {

class CAtmCore;

struct ReaderPinRequest {
  Text caption;      // "密碼認證" or "密碼變更"
  Text instruction;  // shown in control 202
  int32_t readerType = 0;
  std::optional<card::CommandApdu> command;  // type 2: sent once by the dialog
  SecretText pin;                            // type 3
  SecretText newPin;                         // type 3, change only
  bool change = false;
};

// Runs the reader-instruction dialog. Returns the dialog's end code: 2 cancelled, 1 OK
// before the exchange, -1 not shown, else the card's status word or a PC/SC result.
class ReaderPinDialog {
 public:
  virtual ~ReaderPinDialog() = default;
  virtual int32_t Run(CAtmCore& core, const ReaderPinRequest& request) = 0;
};

// The ui's reader dialog (ui::CTwoReaderShow on the core's dialog site), handed the exchange
// of the request.
ReaderPinDialog& PinPadDialog();

}  // namespace quilta
