#include "card/exchange.h"

#include "base/hex.h"

namespace quilta::card {

Outcome Exchange(CoreParts& core, const CommandApdu& apdu) {
  const Reply reply = core.channel.Exchange(apdu);
  if (!reply.transmitted()) return Outcome::Pcsc(reply.rv);
  const ResponseApdu& r = core.channel.response;
  core.props.T(Prop::shSW12) = AsciiText(BytesToHex(r.bytes() + r.size() - 2, 2));
  const bool accepted = r.bytes()[0] == 0x66 && r.bytes()[1] == 0x02;
  return Outcome::Card(reply.sw, accepted);
}

}  // namespace quilta::card
