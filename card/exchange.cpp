#include "card/exchange.h"

namespace quilta::card {

Outcome Exchange(Channel& channel, const CommandApdu& apdu) {
  const Reply reply = channel.Exchange(apdu);
  if (!reply.transmitted()) return Outcome::Pcsc(reply.rv);
  const ResponseApdu& r = channel.response;
  const bool accepted = r.bytes()[0] == 0x66 && r.bytes()[1] == 0x02;
  return Outcome::Card(reply.sw, accepted);
}

}  // namespace quilta::card
