// CardExchange: one command APDU from hex-text fields, sent on the card handle; the
// response stays in the exchange buffer.
#include <cstring>

#include "core/atm_core.h"
#include "core/hex.h"

namespace quilta {
namespace {

bool IsByteField(std::string_view field) { return IsUpperHex(field, 1); }

constexpr uint32_t kStateChanged = 0x0002;
constexpr uint32_t kRemovalWaitMs = 1000;

// Failures of the transmit that a card pulled in the middle of the command produces.
// pcsc-lite reports that case as SCARD_E_NOT_TRANSACTED (the reader driver failed the
// exchange) or hands back fewer than 2 bytes, where Windows says SCARD_W_REMOVED_CARD.
bool MayBeRemoval(platform::ScardResult rv) {
  namespace sc = platform::scard;
  return rv == sc::kNotTransacted || rv == sc::kCommError || rv == sc::kCommDataLost;
}

// Whether the card has left the reader after such a failure. The resource manager notices
// a removal only at its next presence poll (a few hundred ms with pcscd), so a card still
// reported present is watched for up to a second.
bool CardLeft(CAtmCore& core) {
  namespace sc = platform::scard;
  std::string reader = ToNarrow(core.T(Prop::ReaderName));
  if (reader.size() < 2) return false;
  platform::ReaderState state;
  state.reader = reader;
  state.currentState = sc::kStateUnaware;
  if (core.pcsc->GetStatusChange(core.cardContext, 0, &state, 1) != sc::kSuccess) return false;
  if (!(state.eventState & sc::kStatePresent)) return true;
  state.currentState = state.eventState & ~kStateChanged;
  if (core.pcsc->GetStatusChange(core.cardContext, kRemovalWaitMs, &state, 1) != sc::kSuccess)
    return false;
  return !(state.eventState & sc::kStatePresent);
}

}  // namespace

int32_t CAtmCore::CardExchange(const CommandFields& f) {
  std::optional<std::string_view> lc;
  std::optional<std::string_view> le;
  if (f.lc) lc = *f.lc;
  if (f.le) le = *f.le;
  return CardExchange(f.cla, f.ins, f.p1, f.p2, lc, f.data, le);
}

int32_t CAtmCore::CardExchange(std::string_view cla, std::string_view ins, std::string_view p1,
                               std::string_view p2, std::optional<std::string_view> lc,
                               std::string_view data, std::optional<std::string_view> le) {
  ExchangeBuffer& x = exchange;
  x.receiveLength = ExchangeBuffer::kOffered;
  x.commandLength = 0;
  std::memset(x.command, 0, sizeof x.command);
  // The whole receive area is cleared too, so no reader of the response can ever pick up
  // bytes that an earlier, longer response left behind.
  std::memset(x.receive, 0, sizeof x.receive);

  // Every field must be upper-case hex of its full length; a short or malformed field is
  // refused before anything reaches the card.
  size_t dataLength = 0;
  if (!IsByteField(cla) || !IsByteField(ins) || !IsByteField(p1) || !IsByteField(p2))
    return Map(status::kBadParameter);
  if (lc) {
    uint8_t l = 0;
    if (!IsByteField(*lc)) return Map(status::kBadParameter);
    HexToBytes(*lc, 1, &l);
    dataLength = l;
    if (!IsUpperHex(data, dataLength)) return Map(status::kBadParameter);
  }
  if (le && !IsByteField(*le)) return Map(status::kBadParameter);

  uint32_t n = 0;
  HexToBytes(cla, 1, &x.command[n++]);
  HexToBytes(ins, 1, &x.command[n++]);
  HexToBytes(p1, 1, &x.command[n++]);
  HexToBytes(p2, 1, &x.command[n++]);
  if (lc) {
    HexToBytes(*lc, 1, &x.command[n++]);
    n += static_cast<uint32_t>(HexToBytes(data, dataLength, &x.command[n]));
  }
  if (le) HexToBytes(*le, 1, &x.command[n++]);
  x.commandLength = n;

  uint32_t received = ExchangeBuffer::kOffered;
  platform::ScardResult rv =
      pcsc->Transmit(cardHandle, activeProtocol, x.command, n, x.receive, &received);
  if (rv == platform::scard::kSuccess && received < 2) {
    // No status word at all (seen when the card vanishes in the middle of a command): a
    // failed exchange, never data.
    std::memset(x.receive, 0, sizeof x.receive);
    rv = platform::scard::kCommDataLost;
  }
  if (rv != platform::scard::kSuccess) {
    // The raw PC/SC result goes back to the caller, which maps it; shSW12 and ErrorInfo
    // keep their values and the response counts as empty. A card pulled mid-command is
    // reported as removed, on every platform.
    x.receiveLength = 0;
    if (MayBeRemoval(rv) && CardLeft(*this)) rv = platform::scard::kRemovedCard;
    return PcscStatus(rv);
  }
  if (received > ExchangeBuffer::kOffered) received = ExchangeBuffer::kOffered;
  x.receiveLength = received;

  uint8_t sw1 = x.receive[received - 2];
  uint8_t sw2 = x.receive[received - 1];
  T(Prop::shSW12) = AsciiText(BytesToHex(&x.receive[received - 2], 2));
  // The card's 66 02 counts as success without touching ErrorInfo. It is looked for in the
  // first two bytes of the response, whether they are the status word or data.
  if (x.receive[0] == 0x66 && x.receive[1] == 0x02) return status::kOk;
  return Map(sw1 * 256 + sw2);
}

}  // namespace quilta
