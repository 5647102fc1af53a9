// The reader session: the PC/SC context, the reader list, card presence, the card
// connection with the application selection, the card-change test and the reader type.
#include <cstring>
#include <vector>

#include "core/atm_core.h"
#include "core/hex.h"

namespace quilta {
namespace {

namespace sc = platform::scard;

// The system's own invalid-handle error as the context call may report it on Windows.
constexpr platform::ScardResult kWindowsInvalidHandle = 6;
// Size of the reader-list buffer handed to PC/SC.
constexpr uint32_t kReaderListSize = 2000;
constexpr int kReaderSlots = 10;
constexpr uint32_t kPresenceTimeoutMs = 1000;
constexpr uint32_t kPowerCyclePauseMs = 200;

}  // namespace

int32_t CAtmCore::ConnectDriver() {
  platform::ScardContext context = cardContext;
  platform::ScardResult rv = pcsc->EstablishContext(sc::kScopeUser, &context);
  if (rv == sc::kSuccess) cardContext = context;
  if (rv == kWindowsInvalidHandle) return Map(status::kInvalidHandleFromContext);
  return Map(PcscStatus(rv));
}

int32_t CAtmCore::DisconnectDriver() { return Map(PcscStatus(pcsc->ReleaseContext(cardContext))); }

int32_t CAtmCore::ListReadersName() {
  std::vector<char> buf(kReaderListSize + 1, '\0');
  uint32_t len = kReaderListSize;
  platform::ScardResult rv = pcsc->ListReaders(cardContext, buf.data(), &len);
  int32_t st = Map(PcscStatus(rv));
  if (st != status::kOk) return st;

  // Every zero byte ends one segment, so the closing empty name counts as a segment too:
  // with n readers, Reader n becomes empty and the slots above keep earlier values.
  if (len > kReaderListSize) len = kReaderListSize;
  int segments = 0;
  size_t start = 0;
  for (size_t i = 0; i < len; ++i) {
    if (buf[i] != '\0') continue;
    if (segments < kReaderSlots)
      T(Prop::Reader0 + segments) = FromNarrow(std::string_view(&buf[start], i - start));
    ++segments;
    start = i + 1;
  }
  N(Prop::ReaderCount) = segments > 0 ? segments - 1 : 0;
  return st;
}

int32_t CAtmCore::CheckCardInsert() {
  if (NarrowLength(T(Prop::ReaderName)) < 2) return Map(status::kBadReaderName);
  platform::ReaderState state;
  state.reader = ToNarrow(T(Prop::ReaderName));
  state.currentState = sc::kStateUnaware;
  platform::ScardResult rv = pcsc->GetStatusChange(cardContext, kPresenceTimeoutMs, &state, 1);
  int32_t st = Map(PcscStatus(rv));
  if (st != status::kOk) return st;
  N(Prop::ReaderInsert) = (state.eventState & sc::kStatePresent) ? 1 : 0;
  return st;
}

int32_t CAtmCore::ConnectCard() {
  if (NarrowLength(T(Prop::ReaderName)) < 2) return Map(status::kBadReaderName);
  const std::string reader = ToNarrow(T(Prop::ReaderName));

  // Power-cycle: a shared connect, then two unpowering disconnects. When this process still
  // holds the card from an earlier ConnectCard, the shared connect fails; pcsc-lite then
  // writes a zero handle, so the previous handle is kept and the first disconnect releases
  // that old connection.
  platform::ScardHandle handle = 0;
  uint32_t protocol = activeProtocol;
  platform::ScardResult rv =
      pcsc->Connect(cardContext, reader, sc::kShareShared, sc::kProtocolT0 | sc::kProtocolT1,
                    &handle, &protocol);
  if (rv == sc::kSuccess) {
    cardHandle = handle;
    activeProtocol = protocol;
  }
  pcsc->Disconnect(cardHandle, sc::kUnpowerCard);
  sleeper->SleepMs(kPowerCyclePauseMs);
  pcsc->Disconnect(cardHandle, sc::kUnpowerCard);
  sleeper->SleepMs(kPowerCyclePauseMs);

  handle = 0;
  protocol = activeProtocol;
  rv = pcsc->Connect(cardContext, reader, sc::kShareExclusive, sc::kProtocolT1, &handle, &protocol);
  if (rv == sc::kSuccess) {
    cardHandle = handle;
    activeProtocol = protocol;
  }
  // Windows answers an empty reader with "removed card", pcsc-lite with "no smart card":
  // both read as a card that is not inserted.
  if (rv == sc::kRemovedCard || rv == sc::kNoSmartcard) {
    errorText = "Fisc card is not inserted. (5013)";
    return status::kCardNotInserted;
  }
  int32_t st = Map(PcscStatus(rv));
  if (st != status::kOk) return st;

  return Map(CardExchange("00", "A4", "04", "00", "08", "A000000172950001", "00"));
}

int32_t CAtmCore::DisconnectCard() {
  return Map(PcscStatus(pcsc->Disconnect(cardHandle, sc::kEjectCard)));
}

int32_t CAtmCore::CheckCardChange() {
  int32_t st = Map(CardExchange("00", "B0", "00", "00", std::nullopt, {}, "10"));
  if (st != status::kOk) return st;
  // The identity is 16 bytes; a response that does not hold all of them carries none.
  if (exchange.receiveLength < 2 + 16) {
    N(Prop::CardChange) = 0;
    return status::kOk;
  }
  Text id = AsciiText(BytesToHex(exchange.receive, 16));
  if (T(Prop::CardNo).empty()) T(Prop::CardNo) = id;
  N(Prop::CardChange) = T(Prop::CardNo) != id ? 1 : 0;
  return status::kOk;
}

int32_t CAtmCore::SetReaderType(const Text& type) {
  std::string narrow = ToNarrow(type);
  if (narrow.size() >= 3) return Map(status::kBadReaderType);
  if (narrow == "1") N(Prop::ReaderType) = 1;
  else if (narrow == "2") N(Prop::ReaderType) = 2;
  else if (narrow == "3") N(Prop::ReaderType) = 3;
  else return Map(status::kBadReaderType);
  return status::kOk;
}

}  // namespace quilta
