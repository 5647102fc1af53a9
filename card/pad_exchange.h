// What a PIN-pad reader's instruction dialog sends while it is shown (reader types 2 and 3):
// one command at a time in the channel's dialog form (ExchangeUnnamed on the card handle and
// its protocol). Each answers as the dialog ends with it: the PC/SC result of a failed
// transmit, else the card's status word (SW1 * 256 + SW2). The transactions and the PIN
// methods build their dialog's exchange from these.
#pragma once

#include <cstdint>

#include "base/text.h"
#include "card/apdu.h"
#include "card/channel.h"

namespace quilta::card {

// `apdu` into `*into` (cleared first).
int32_t PadSend(Channel& channel, const CommandApdu& apdu, ResponseApdu* into);

// VERIFY with the block of `pin`: its characters over an all-F block. An empty PIN sends the
// all-F block itself (a type-2 reader puts in the PIN the customer types on its pad). The
// PIN was checked where the page gave it; the block is wiped once sent.
int32_t PadVerify(Channel& channel, const Text& pin, ResponseApdu* into);

// WRITE RECORD 1 of the PIN file with the block of `pin` (the new PIN of a change).
int32_t PadWritePin(Channel& channel, const Text& pin, ResponseApdu* into);

}  // namespace quilta::card
