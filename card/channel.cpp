#include "card/channel.h"

namespace quilta::card {
namespace {

namespace sc = platform::scard;

constexpr uint32_t kStateChanged = 0x0002;
constexpr uint32_t kRemovalWaitMs = 1000;
constexpr uint32_t kUnnamedProtocol = 0;

// Failures of the transmit that a card pulled in the middle of the command produces.
// pcsc-lite reports that case as SCARD_E_NOT_TRANSACTED (the reader driver failed the
// exchange) or hands back fewer than 2 bytes, where Windows says SCARD_W_REMOVED_CARD.
bool MayBeRemoval(platform::ScardResult rv) {
  return rv == sc::kNotTransacted || rv == sc::kCommError || rv == sc::kCommDataLost;
}

}  // namespace

Channel::Channel() : pcsc(&platform::SystemPcsc()), sleeper(&platform::RealSleeper()) {}

void Channel::Retire(platform::ScardContext old) {
  if (old != 0 && old != context) retired_.push_back(old);
}

void Channel::ReleaseRetired() {
  for (platform::ScardContext c : retired_) pcsc->ReleaseContext(c);
  retired_.clear();
}

platform::ScardResult Channel::EstablishContext() {
  platform::ScardContext fresh = context;
  const platform::ScardResult rv = pcsc->EstablishContext(sc::kScopeUser, &fresh);
  if (rv == sc::kSuccess) {
    const platform::ScardContext old = context;
    context = fresh;
    Retire(old);
  }
  return rv;
}

platform::ScardResult Channel::ReleaseContext() {
  ReleaseRetired();
  return pcsc->ReleaseContext(context);
}

platform::ScardResult Channel::ListReaders(char* buffer, uint32_t* length) {
  return pcsc->ListReaders(context, buffer, length);
}

platform::ScardResult Channel::QueryReader(platform::ReaderState* state, uint32_t timeoutMs) {
  return QueryReader(context, state, timeoutMs);
}

platform::ScardResult Channel::QueryReader(platform::ScardContext on, platform::ReaderState* state,
                                           uint32_t timeoutMs) {
  return pcsc->GetStatusChange(on, timeoutMs, state, 1);
}

platform::ScardResult Channel::Connect(const std::string& name, uint32_t shareMode,
                                       uint32_t preferredProtocols) {
  platform::ScardHandle fresh = 0;
  uint32_t protocol = activeProtocol;
  const platform::ScardResult rv =
      pcsc->Connect(context, name, shareMode, preferredProtocols, &fresh, &protocol);
  if (rv == sc::kSuccess) {
    handle = fresh;
    activeProtocol = protocol;
  }
  return rv;
}

platform::ScardResult Channel::Disconnect(uint32_t disposition) {
  return pcsc->Disconnect(handle, disposition);
}

void Channel::SleepMs(uint32_t ms) { sleeper->SleepMs(ms); }

Reply Channel::Exchange(const CommandApdu& apdu) {
  commandLength = static_cast<uint32_t>(apdu.Serialize(command));
  const Reply reply = Send(apdu, &response, handle, activeProtocol, false, activeProtocol);
  if (reply.transmitted() && onStatusWord) onStatusWord(reply.sw);
  return reply;
}

Reply Channel::ExchangeUnnamed(const CommandApdu& apdu, ResponseApdu* into,
                               platform::ScardHandle card, uint32_t protocol) {
  return Send(apdu, into, card, kUnnamedProtocol, true, protocol);
}

Reply Channel::Send(const CommandApdu& apdu, ResponseApdu* into, platform::ScardHandle card,
                    uint32_t protocol, bool retryWithActive, uint32_t activeForRetry) {
  uint8_t bytes[CommandApdu::kMaxSize];
  const auto n = static_cast<uint32_t>(apdu.Serialize(bytes));
  // The whole receive area is cleared, so no reader of the response can ever pick up bytes
  // that an earlier, longer response left behind.
  into->Clear();
  uint32_t received = ResponseApdu::kOffered;
  Reply r;
  r.rv = pcsc->Transmit(card, protocol, bytes, n, into->bytes(), &received);
  if (r.rv == sc::kProtoMismatch && retryWithActive) {
    received = ResponseApdu::kOffered;
    r.rv = pcsc->Transmit(card, activeForRetry, bytes, n, into->bytes(), &received);
  }
  if (r.rv == sc::kSuccess && received < 2) {
    into->Clear();
    r.rv = sc::kCommDataLost;
  }
  if (r.rv != sc::kSuccess) {
    into->SetSize(0);
    if (MayBeRemoval(r.rv) && CardLeft()) r.rv = sc::kRemovedCard;
    return r;
  }
  into->SetSize(received);
  r.sw = into->sw();
  return r;
}

// Whether the card has left the reader after a failed transmit. The resource manager
// notices a removal only at its next presence poll (a few hundred ms with pcscd), so a card
// still reported present is watched for up to a second.
bool Channel::CardLeft() {
  if (reader.size() < 2) return false;
  platform::ReaderState state;
  state.reader = reader;
  state.currentState = sc::kStateUnaware;
  if (QueryReader(&state, 0) != sc::kSuccess) return false;
  if (!(state.eventState & sc::kStatePresent)) return true;
  state.currentState = state.eventState & ~kStateChanged;
  if (QueryReader(&state, kRemovalWaitMs) != sc::kSuccess) return false;
  return !(state.eventState & sc::kStatePresent);
}

}  // namespace quilta::card
