// The card writes of the bank's on-line services (SetCardActive, SetPinActive, SetCardData):
// write access opened with the page's `Key` (EXTERNAL AUTHENTICATE; the card alone judges
// it), the new PIN block into the PIN file 00 C2, and the account lists into files 10 01
// (aAccountNo0..7 -> records 03..0A) and 10 02 (aAuthInAccountNo0..7 -> records 01..08).
//
// Inputs are checked before the card sees any command, so a bad one writes nothing: each
// must have the width of its row in the member table, `Key` and `aPIN` in upper-case hex
// digits, the lists in single-byte characters (their 8-bit form is what the records hold);
// otherwise the row's status (6002, " para input error.").
//
// Statuses, as these methods have always answered them: a card status word arrives
// reported (ErrorInfo written; 66 20 reads 5032, 90 00 and the card's 66 02 read 0), while
// a failed transmit hands on the PC/SC result as it is, with ErrorInfo untouched. A write
// that fails part-way leaves the records written so far on the card.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "card/apdu.h"
#include "card/commands.h"
#include "core/atm_core.h"

namespace quilta::txn {

inline constexpr size_t kListSlots = 8;
inline constexpr size_t kAuthKeySize = 8;  // `Key`

// What a write method takes from the page, checked. The key and the PIN block are wiped
// when it goes.
struct CardWrite {
  bool pin = false;    // write `aPIN` into the PIN file
  bool lists = false;  // write the account lists
  std::array<uint8_t, kAuthKeySize> key{};
  card::cmd::PinBlock pinBlock{};
  std::array<std::string, kListSlots> accounts;  // aAccountNo0..7
  std::array<std::string, kListSlots> authIn;    // aAuthInAccountNo0..7: bank 8 + account 16

  CardWrite() = default;
  CardWrite(const CardWrite&) = delete;
  CardWrite& operator=(const CardWrite&) = delete;
  ~CardWrite();
};

// Reads `Key` (always), `aPIN` (when write->pin) and the lists (when write->lists) into
// *write. 0, or the status of the first input that does not fit, reported (ErrorInfo
// written).
int32_t ReadCardWrite(CAtmCore& core, CardWrite* write);

// One command with these methods' status rule (above).
int32_t SendKeepingTransmitResult(CAtmCore& core, const card::CommandApdu& apdu);

// What a write run did.
struct WriteResult {
  int32_t status = 0;
  // False when the card answered EXTERNAL AUTHENTICATE without granting write access
  // (its first answer byte is neither 90 nor followed by 00, as with 66 02): the run then
  // stops with status 0 and sends nothing more.
  bool granted = false;
};

// Opens write access, writes the PIN file (write.pin), then the lists (write.lists); the
// first non-zero status ends the run.
//   EXTERNAL AUTHENTICATE      00 82 00 18 08 <Key>
//   SELECT 00 C2               00 A4 02 00 02 00 C2; on 66 20 (PIN locked):
//     RESET RETRY COUNTER      00 2C 00 00 02 00 C2, then SELECT 00 C2 again
//   WRITE RECORD 1             00 D2 01 04 08 <aPIN>
//   SELECT 10 01, WRITE RECORD 03..0A (Lc 10); SELECT 10 02, WRITE RECORD 01..08 (Lc 18)
WriteResult RunCardWrite(CAtmCore& core, const CardWrite& write);

}  // namespace quilta::txn
