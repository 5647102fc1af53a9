// The steps TAC transactions are made of. The runner (txn/runner.h) strings them together in
// the common order; transactions with a road of their own (log-in, the apply family) call
// them directly. Every function returns the page's status with ErrorInfo written, unless it
// says otherwise.
#pragma once

#include <cstdint>
#include <optional>

#include "base/text.h"
#include "card/apdu.h"
#include "card/channel.h"
#include "core/atm_core.h"
#include "txn/blocks.h"

namespace quilta::ui {
class ConfirmationDialog;
class ReaderDialog;
}  // namespace quilta::ui

namespace quilta::txn {

// Reader types a transaction can run on: 1 the PIN typed on the page, 2 the PIN typed on
// the reader's own pad, 3 the page's PIN sent by the reader's instruction dialog.
constexpr bool KnownReaderType(int32_t type) { return type >= 1 && type <= 3; }

// The PIN argument, before any card command: on every reader type but 2 (an ordinary
// reader's road sends the page's PIN too) it must be one the card engine can put into a PIN
// block (1 to 16 characters, upper-case hex digits), else 6002; a missing PIN is refused as
// an empty one (the card would take the all-F block as a wrong PIN and spend a try). Type 2
// ignores the PIN (the customer types it on the reader).
int32_t CheckPinArgument(CAtmCore& core, const std::optional<Text>& pin);

// The first step of the inquiry, transfer and payment methods (the runner), before any card
// command: ReaderType must be 1, 2 or 3 (5042 otherwise: a page that never called
// SetReaderType; these methods have no road for another type), then CheckPinArgument.
int32_t CheckReaderAndPin(CAtmCore& core, const std::optional<Text>& pin);

// SessionKey unwrapped into PlainSessionKey (0, 5043, 5034); on 0 the session cipher is
// keyed for EncryptField.
int32_t UnwrapSessionKey(CAtmCore& core);

// The paying account belongs to the card: always for a card of issuer "95100000", otherwise
// when `account` equals one of AccountNo0..AccountNo7 (all eight slots, the "0000000000000000"
// of an unusable slot included). Reads the card data as the last ReadBasicData left it.
bool IsCardAccount(const CAtmCore& core, const Text& account);

// The input `p` against its row's rule (InputRule, base/members.def): 0, or the rule's status
// reported. `Amount` is checked in its Amount14 form, which must also be all digits: the
// confirmation shows the Amount's leading integer, and the card must sign that amount and
// nothing else.
int32_t CheckInput(CAtmCore& core, Prop p);

// After the card was taken out and put back: ReadBasicData again, 5035 when CardNo is not the
// one from before.
int32_t RecheckCard(CAtmCore& core);

// The block fields from the page's properties (8-bit forms; Amount14 as the Amount write
// derived it).
BlockInputs BlockInputsOf(const PropertyStore& props);

// The confirmation with the card taken out and put back, for reader type 1. Each run:
// DisconnectCard (status ignored), the dialog, DisconnectCard, ConnectDriver, ConnectCard
// (once more after 1,000 ms on the card channel's sleeper when it fails). The dialog's end code:
//   1 with the card connected again   0: the transaction goes on (on the new connection)
//   2                                 5036;  3: 5037
//   -1 (the dialog cannot be shown)   5036: nobody confirmed; it is not shown again
//   4 (no card when it opened)        5021 and the message box "卡已被拔出..請確認再試!"
//                                     (caption "訊息"), then the dialog again; the
//                                     kNoCardRounds-th 4 in a row ends with 5021 after the box
//   anything else, or 1 without the card back: the dialog again.
// The dialog is shown again only while the reader can be reached at all: a failed
// ConnectDriver ends the loop with its status (ConnectCard is then not tried, except after
// 2, 3 and -1, whose statuses stand), a failed presence query of ReaderName with its PC/SC
// status. With `once` the dialog is shown a single time, and every outcome that would show
// it again ends with 5021 (no message box).
inline constexpr int kNoCardRounds = 3;
int32_t ConfirmWithReinsert(CAtmCore& core, ui::ConfirmationDialog& dialog, bool once = false);

// What the instruction dialog of a PIN-pad reader sends while it is shown: VERIFY, then the
// TAC command into the exchange response. VERIFY carries the page's PIN on type 3; on type 2
// the detailed dialogs (CTwoReaderShowN and the apply dialogs: `verifyOnType2`) send the
// all-F block, the reader putting in the PIN the customer types, and the simple ones
// (CTWOREADERSHOW1) none. A failed VERIFY ends the exchange with its answer; 69 F0 from the
// reader (the customer let its time run out) reads as 5037. The end code: the status word
// of the TAC command, 5037, or a PC/SC result.
struct PadTac {
  int32_t readerType;
  const Text& pin;
  const card::CommandApdu& command;
  bool verifyOnType2;
};
int32_t SendPadTac(card::Channel& channel, const PadTac& tac);

// An instruction dialog of a PIN-pad reader, sending `tac` while it is shown, its end code
// read with `rule`: the simple dialogs map 2 to 5036 (DialogRule::CancelIs5036), the
// detailed one passes every code through the table. 36864 (90 00) is success.
int32_t RunInstructionDialog(CAtmCore& core, ui::ReaderDialog& dialog, const PadTac& tac,
                             DialogRule rule);

// The TAC command's answer in the exchange response: nullopt, with the status
// SCARD_E_COMM_DATA_LOST (0x8010002F) reported into *status, when the card answered fewer
// than 19 data bytes (the fields would come from nowhere).
std::optional<TacAnswer> TakeTacAnswer(CAtmCore& core, int32_t* status);

// The results of a TAC transaction: IccSeqNo and TAC from the answer, `encryptedOut` <-
// EncryptField(`encryptedFrom`) (EncOutAccountNo of AccountNo; the apply's EncID of ID),
// SessionTAC <- EncryptField(PlainSessionKey). Nothing is written when the answer is too
// short (see TakeTacAnswer). Status 0 on success.
int32_t TakeResults(CAtmCore& core, Prop encryptedOut, Prop encryptedFrom);

}  // namespace quilta::txn
