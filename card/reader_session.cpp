#include "card/reader_session.h"

#include "card/commands.h"
#include "card/exchange.h"

namespace quilta::card {
namespace {

namespace sc = platform::scard;

// The system's own invalid-handle error as the context call may report it on Windows.
constexpr platform::ScardResult kWindowsInvalidHandle = 6;
// Size of the reader-list buffer handed to PC/SC.
constexpr uint32_t kReaderListSize = 2000;
constexpr uint32_t kPresenceTimeoutMs = 1000;
constexpr uint32_t kPowerCyclePauseMs = 200;

}  // namespace

Outcome ConnectDriver(Channel& channel) {
  const platform::ScardResult rv = channel.EstablishContext();
  if (rv == kWindowsInvalidHandle) return Outcome::Own(status::kInvalidHandleFromContext);
  return Outcome::Pcsc(rv);
}

Outcome DisconnectDriver(Channel& channel) { return Outcome::Pcsc(channel.ReleaseContext()); }

Outcome ListReaders(Channel& channel, ReaderList* list) {
  std::vector<char> buf(kReaderListSize + 1, '\0');
  uint32_t len = kReaderListSize;
  const platform::ScardResult rv = channel.ListReaders(buf.data(), &len);
  if (rv != sc::kSuccess) return Outcome::Pcsc(rv);

  if (len > kReaderListSize) len = kReaderListSize;
  size_t start = 0;
  for (size_t i = 0; i < len; ++i) {
    if (buf[i] != '\0') continue;
    list->segments.push_back(ReaderNameFromPcsc(std::string_view(&buf[start], i - start)));
    start = i + 1;
  }
  return Outcome::Pcsc(rv);
}

bool ReaderNameUsable(const Text& readerName) { return NarrowLength(readerName) >= 2; }

Outcome CardPresent(Channel& channel, const Text& readerName, bool* present) {
  if (!ReaderNameUsable(readerName)) return Outcome::Own(status::kBadReaderName);
  platform::ReaderState state;
  state.reader = ReaderNameToPcsc(readerName);
  state.currentState = sc::kStateUnaware;
  const platform::ScardResult rv = channel.QueryReader(&state, kPresenceTimeoutMs);
  if (rv == sc::kSuccess) *present = (state.eventState & sc::kStatePresent) != 0;
  return Outcome::Pcsc(rv);
}

Outcome ConnectCard(Channel& channel, const Text& readerName) {
  if (!ReaderNameUsable(readerName)) return Outcome::Own(status::kBadReaderName);
  const std::string reader = ReaderNameToPcsc(readerName);
  channel.reader = reader;

  // Power-cycle: a shared connect, then two unpowering disconnects. When this process still
  // holds the card from an earlier ConnectCard, the shared connect fails; pcsc-lite then
  // writes a zero handle, so the previous handle is kept and the first disconnect releases
  // that old connection.
  channel.Connect(reader, sc::kShareShared, sc::kProtocolT0 | sc::kProtocolT1);
  channel.Disconnect(sc::kUnpowerCard);
  channel.SleepMs(kPowerCyclePauseMs);
  channel.Disconnect(sc::kUnpowerCard);
  channel.SleepMs(kPowerCyclePauseMs);

  const platform::ScardResult rv = channel.Connect(reader, sc::kShareExclusive, sc::kProtocolT1);
  // Whatever handle an earlier context held was disconnected by the power cycle above.
  channel.ReleaseRetired();
  // Windows answers an empty reader with "removed card", pcsc-lite with "no smart card":
  // both read as a card that is not inserted.
  if (rv == sc::kRemovedCard || rv == sc::kNoSmartcard)
    return Outcome::Own(status::kCardNotInserted);
  const Outcome connected = Outcome::Pcsc(rv);
  if (!connected.ok()) return connected;
  return connected.Then(Exchange(channel, cmd::SelectApplication()));
}

Outcome DisconnectCard(Channel& channel) {
  const platform::ScardResult rv = channel.Disconnect(sc::kEjectCard);
  channel.ReleaseRetired();
  return Outcome::Pcsc(rv);
}

}  // namespace quilta::card
