#include "card/reader_session.h"

#include <vector>

#include "card/commands.h"
#include "card/exchange.h"
#include "base/hex.h"

namespace quilta::card {
namespace {

namespace sc = platform::scard;

// The system's own invalid-handle error as the context call may report it on Windows.
constexpr platform::ScardResult kWindowsInvalidHandle = 6;
// Size of the reader-list buffer handed to PC/SC.
constexpr uint32_t kReaderListSize = 2000;
constexpr int kReaderSlots = 10;
constexpr uint32_t kPresenceTimeoutMs = 1000;
constexpr uint32_t kPowerCyclePauseMs = 200;

bool ReaderNameUsable(const CoreParts& core) { return NarrowLength(core.props.ReaderName()) >= 2; }

}  // namespace

int32_t ConnectDriver(CoreParts& core) {
  Channel& ch = core.channel;
  platform::ScardContext context = ch.context;
  platform::ScardResult rv = ch.pcsc->EstablishContext(sc::kScopeUser, &context);
  if (rv == sc::kSuccess) {
    const platform::ScardContext old = ch.context;
    ch.context = context;
    ch.Retire(old);
  }
  if (rv == kWindowsInvalidHandle) return core.Report(status::kInvalidHandleFromContext);
  return core.Report(Outcome::Pcsc(rv));
}

int32_t DisconnectDriver(CoreParts& core) {
  core.channel.ReleaseRetired();
  return core.Report(Outcome::Pcsc(core.channel.pcsc->ReleaseContext(core.channel.context)));
}

int32_t ListReadersName(CoreParts& core) {
  std::vector<char> buf(kReaderListSize + 1, '\0');
  uint32_t len = kReaderListSize;
  platform::ScardResult rv = core.channel.pcsc->ListReaders(core.channel.context, buf.data(), &len);
  int32_t st = core.Report(Outcome::Pcsc(rv));
  if (st != status::kOk) return st;

  // Every zero byte ends one segment, so the closing empty name counts as a segment too:
  // with n readers, Reader n becomes empty and the slots above keep earlier values.
  if (len > kReaderListSize) len = kReaderListSize;
  int segments = 0;
  size_t start = 0;
  for (size_t i = 0; i < len; ++i) {
    if (buf[i] != '\0') continue;
    if (segments < kReaderSlots)
      core.props.T(Prop::Reader0 + segments) =
          ReaderNameFromPcsc(std::string_view(&buf[start], i - start));
    ++segments;
    start = i + 1;
  }
  core.props.N(Prop::ReaderCount) = segments > 0 ? segments - 1 : 0;
  return st;
}

int32_t CheckCardInsert(CoreParts& core) {
  if (!ReaderNameUsable(core)) return core.Report(status::kBadReaderName);
  platform::ReaderState state;
  state.reader = ReaderNameToPcsc(core.props.ReaderName());
  state.currentState = sc::kStateUnaware;
  platform::ScardResult rv =
      core.channel.pcsc->GetStatusChange(core.channel.context, kPresenceTimeoutMs, &state, 1);
  int32_t st = core.Report(Outcome::Pcsc(rv));
  if (st != status::kOk) return st;
  core.props.N(Prop::ReaderInsert) = (state.eventState & sc::kStatePresent) ? 1 : 0;
  return st;
}

int32_t ConnectCard(CoreParts& core) {
  if (!ReaderNameUsable(core)) return core.Report(status::kBadReaderName);
  Channel& ch = core.channel;
  const std::string reader = ReaderNameToPcsc(core.props.ReaderName());

  // A new card session: a PIN verified (or a reader-PIN inquiry done) with an earlier card
  // must not let a later transaction on this one pass without its own PIN.
  core.shared.pinVerified = false;
  core.shared.readerPinDone = false;
  ch.reader = reader;

  // Power-cycle: a shared connect, then two unpowering disconnects. When this process still
  // holds the card from an earlier ConnectCard, the shared connect fails; pcsc-lite then
  // writes a zero handle, so the previous handle is kept and the first disconnect releases
  // that old connection.
  platform::ScardHandle handle = 0;
  uint32_t protocol = ch.activeProtocol;
  platform::ScardResult rv = ch.pcsc->Connect(ch.context, reader, sc::kShareShared,
                                              sc::kProtocolT0 | sc::kProtocolT1, &handle, &protocol);
  if (rv == sc::kSuccess) {
    ch.handle = handle;
    ch.activeProtocol = protocol;
  }
  ch.pcsc->Disconnect(ch.handle, sc::kUnpowerCard);
  ch.sleeper->SleepMs(kPowerCyclePauseMs);
  ch.pcsc->Disconnect(ch.handle, sc::kUnpowerCard);
  ch.sleeper->SleepMs(kPowerCyclePauseMs);

  handle = 0;
  protocol = ch.activeProtocol;
  rv = ch.pcsc->Connect(ch.context, reader, sc::kShareExclusive, sc::kProtocolT1, &handle, &protocol);
  if (rv == sc::kSuccess) {
    ch.handle = handle;
    ch.activeProtocol = protocol;
  }
  // Whatever handle an earlier context held was disconnected by the power cycle above.
  ch.ReleaseRetired();
  // Windows answers an empty reader with "removed card", pcsc-lite with "no smart card":
  // both read as a card that is not inserted.
  if (rv == sc::kRemovedCard || rv == sc::kNoSmartcard) return core.Report(status::kCardNotInserted);
  int32_t st = core.Report(Outcome::Pcsc(rv));
  if (st != status::kOk) return st;

  return Send(core, cmd::SelectApplication());
}

int32_t DisconnectCard(CoreParts& core) {
  const platform::ScardResult rv = core.channel.pcsc->Disconnect(core.channel.handle, sc::kEjectCard);
  core.channel.ReleaseRetired();
  return core.Report(Outcome::Pcsc(rv));
}

int32_t CheckCardChange(CoreParts& core) {
  int32_t st = Send(core, cmd::ReadIdentity());
  if (st != status::kOk) return st;
  const ResponseApdu& r = core.channel.response;
  // The identity is 16 bytes; a response that does not hold all of them carries none.
  if (!r.Covers(0, 16)) {
    core.props.N(Prop::CardChange) = 0;
    return status::kOk;
  }
  Text id = AsciiText(BytesToHex(r.bytes(), 16));
  Text& cardNo = core.props.T(Prop::CardNo);
  if (cardNo.empty()) cardNo = id;
  core.props.N(Prop::CardChange) = cardNo != id ? 1 : 0;
  return status::kOk;
}

int32_t SetReaderType(CoreParts& core, const Text& type) {
  std::string narrow = ToNarrow(type);
  if (narrow.size() >= 3) return core.Report(status::kBadReaderType);
  if (narrow == "1") core.props.N(Prop::ReaderType) = 1;
  else if (narrow == "2") core.props.N(Prop::ReaderType) = 2;
  else if (narrow == "3") core.props.N(Prop::ReaderType) = 3;
  else return core.Report(status::kBadReaderType);
  return status::kOk;
}

}  // namespace quilta::card
