// The card engine's exchange: one command through the card channel, the outcome typed for
// the status path.
#pragma once

#include "base/status.h"
#include "card/apdu.h"
#include "card/channel.h"

namespace quilta::card {

// Sends `apdu`. A failed transmit gives Outcome::Pcsc (the response empty); otherwise the
// card's 66 02 in the first two bytes of the response (status word or data) counts as
// accepted, and anything else is Outcome::Card of the status word. The channel tells its
// status-word listener of every transmitted command.
Outcome Exchange(Channel& channel, const CommandApdu& apdu);

}  // namespace quilta::card
