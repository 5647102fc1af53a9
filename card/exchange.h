// The card engine's exchange: one command through the card channel, the card's status word
// recorded for the page (shSW12) and the outcome typed for the status path.
#pragma once

#include "card/apdu.h"
#include "core/parts.h"

namespace quilta::card {

// Sends `apdu`. A failed transmit gives Outcome::Pcsc (shSW12 and ErrorInfo untouched, the
// response empty); otherwise shSW12 is set from the status word, and the card's 66 02 in the
// first two bytes of the response (status word or data) counts as accepted; anything else
// is Outcome::Card of the status word.
Outcome Exchange(CoreParts& core, const CommandApdu& apdu);

// Exchange, then reported: the page's status with ErrorInfo written.
inline int32_t Send(CoreParts& core, const CommandApdu& apdu) {
  return core.Report(Exchange(core, apdu));
}

}  // namespace quilta::card
