#include "testsupport/virtual_pcsc.h"

#include <algorithm>
#include <cstring>

#include "base/hex.h"

namespace quilta::platform {
namespace {
constexpr uint32_t kStateChanged = 0x0002;
constexpr uint32_t kStateUnknown = 0x0004;
constexpr uint32_t kStateExclusive = 0x0080;
constexpr uint32_t kStateInUse = 0x0100;
constexpr uint32_t kStateIgnore = 0x0001;
constexpr uint32_t kProtocolRaw = 0x0004;
}  // namespace

// ---- The world ----

void VirtualPcsc::AddReader(const std::string& name) {
  if (slots_.count(name)) return;
  order_.push_back(name);
  slots_[name] = Slot{};
}

void VirtualPcsc::RemoveReader(const std::string& name) {
  order_.erase(std::remove(order_.begin(), order_.end(), name), order_.end());
  slots_.erase(name);
}

void VirtualPcsc::InsertCard(const std::string& reader, std::shared_ptr<CardModel> card) {
  AddReader(reader);
  Slot& slot = slots_[reader];
  if (slot.card && slot.powered) slot.card->PowerOff();
  slot.card = std::move(card);
  slot.powered = false;
  slot.protocol = 0;
  ++slot.generation;
}

void VirtualPcsc::RemoveCard(const std::string& reader) {
  auto it = slots_.find(reader);
  if (it == slots_.end() || !it->second.card) return;
  Slot& slot = it->second;
  if (slot.powered) slot.card->PowerOff();
  slot.card.reset();
  slot.powered = false;
  slot.protocol = 0;
  ++slot.generation;
}

bool VirtualPcsc::HasCard(const std::string& reader) const {
  auto it = slots_.find(reader);
  return it != slots_.end() && it->second.card != nullptr;
}

std::vector<std::string> VirtualPcsc::Readers() const { return order_; }

// ---- Faults ----

void VirtualPcsc::StopService() {
  running_ = false;
  for (auto& [id, alive] : contexts_) alive = false;
  // The resource manager's connections die with it; the cards lose power.
  handles_.clear();
  for (auto& [name, slot] : slots_) {
    if (slot.card && slot.powered) slot.card->PowerOff();
    slot.powered = false;
    ++slot.resets;
  }
}

void VirtualPcsc::StartService() { running_ = true; }

void VirtualPcsc::TruncateResponseAt(int k, uint32_t keep) { truncate_ = std::make_pair(k, keep); }

void VirtualPcsc::RemoveCardAtCommand(const std::string& reader, int k) {
  removal_ = PendingRemoval{reader, k};
}

void VirtualPcsc::StopServiceAtCommand(int k) { stopAt_ = k; }

// ---- What happened ----

std::vector<std::string> VirtualPcsc::ApduLog() const {
  std::vector<std::string> out;
  for (const Call& c : log_)
    if (c.op == "Transmit") out.push_back(BytesToHex(c.apdu.data(), c.apdu.size()));
  return out;
}

size_t VirtualPcsc::Count(const std::string& op) const {
  return static_cast<size_t>(
      std::count_if(log_.begin(), log_.end(), [&](const Call& c) { return c.op == op; }));
}

ScardResult VirtualPcsc::Record(Call call, ScardResult result) {
  call.result = result;
  log_.push_back(std::move(call));
  return result;
}

bool VirtualPcsc::ContextValid(ScardContext context) const {
  auto it = contexts_.find(context);
  return it != contexts_.end() && it->second;
}

uint32_t VirtualPcsc::StateOf(const std::string& reader) const {
  auto it = slots_.find(reader);
  if (it == slots_.end()) return kStateUnknown | kStateIgnore;
  if (!it->second.card) return scard::kStateEmpty;
  uint32_t state = scard::kStatePresent;
  for (const auto& [h, c] : handles_) {
    if (c.reader != reader || c.generation != it->second.generation) continue;
    state |= kStateInUse;
    if (c.share == scard::kShareExclusive) state |= kStateExclusive;
  }
  return state;
}

void VirtualPcsc::DropConnectionsOf(ScardContext context) {
  for (auto it = handles_.begin(); it != handles_.end();) {
    if (it->second.context == context) it = handles_.erase(it);
    else ++it;
  }
}

// ---- Pcsc ----

ScardResult VirtualPcsc::EstablishContext(uint32_t scope, ScardContext* context) {
  Call call{"EstablishContext", {}, 0, scope, 0, {}, 0};
  if (!running_) return Record(call, scard::kNoService);
  ScardContext id = nextContext_++;
  contexts_[id] = true;
  if (context) *context = id;
  call.handle = id;
  return Record(call, scard::kSuccess);
}

ScardResult VirtualPcsc::ReleaseContext(ScardContext context) {
  Call call{"ReleaseContext", {}, context, 0, 0, {}, 0};
  if (!running_) return Record(call, scard::kNoService);
  auto it = contexts_.find(context);
  if (it == contexts_.end()) return Record(call, scard::kInvalidHandle);
  if (!it->second) {
    contexts_.erase(it);
    return Record(call, scard::kNoService);
  }
  DropConnectionsOf(context);
  contexts_.erase(it);
  return Record(call, scard::kSuccess);
}

ScardResult VirtualPcsc::ListReaders(ScardContext context, char* buf, uint32_t* len) {
  Call call{"ListReaders", {}, context, 0, 0, {}, 0};
  if (!running_) return Record(call, scard::kNoService);
  auto it = contexts_.find(context);
  if (it == contexts_.end()) return Record(call, scard::kInvalidHandle);
  if (!it->second) return Record(call, scard::kNoService);
  if (!len) return Record(call, scard::kInvalidParameter);
  if (order_.empty()) return Record(call, scard::kNoReadersAvailable);
  std::string multi;
  for (const std::string& name : order_) {
    multi += name;
    multi.push_back('\0');
  }
  multi.push_back('\0');
  uint32_t needed = static_cast<uint32_t>(multi.size());
  if (buf == nullptr) {
    *len = needed;
    return Record(call, scard::kSuccess);
  }
  if (*len < needed) {
    *len = needed;
    return Record(call, scard::kInsufficientBuffer);
  }
  std::memcpy(buf, multi.data(), needed);
  *len = needed;
  return Record(call, scard::kSuccess);
}

ScardResult VirtualPcsc::GetStatusChange(ScardContext context, uint32_t timeoutMs,
                                         ReaderState* states, size_t count) {
  Call call{"GetStatusChange", count ? states[0].reader : std::string(), context, timeoutMs, 0, {}, 0};
  if (!running_) return Record(call, scard::kNoService);
  auto it = contexts_.find(context);
  if (it == contexts_.end()) return Record(call, scard::kInvalidHandle);
  if (!it->second) return Record(call, scard::kNoService);
  if (count == 0 || states == nullptr) return Record(call, scard::kInvalidParameter);

  for (size_t i = 0; i < count; ++i)
    if (!slots_.count(states[i].reader)) return Record(call, scard::kUnknownReader);
  auto look = [&]() {
    bool changed = false;
    for (size_t i = 0; i < count; ++i) {
      uint32_t now = StateOf(states[i].reader);
      uint32_t known = states[i].currentState & ~kStateChanged;
      if (states[i].currentState == scard::kStateUnaware ||
          (known & (scard::kStatePresent | scard::kStateEmpty | kStateUnknown)) !=
              (now & (scard::kStatePresent | scard::kStateEmpty | kStateUnknown))) {
        states[i].eventState = now | kStateChanged;
        changed = true;
      } else {
        states[i].eventState = now;
      }
    }
    return changed;
  };
  if (look()) return Record(call, scard::kSuccess);
  if (onWait) {
    onWait();
    if (!running_) return Record(call, scard::kNoService);
    if (look()) return Record(call, scard::kSuccess);
  }
  return Record(call, scard::kTimeout);
}

ScardResult VirtualPcsc::Connect(ScardContext context, const std::string& reader,
                                 uint32_t shareMode, uint32_t preferredProtocols,
                                 ScardHandle* card, uint32_t* activeProtocol) {
  Call call{"Connect", reader, context, shareMode, preferredProtocols, {}, 0};
  // pcsc-lite writes a zero handle whenever the connect fails.
  if (card) *card = 0;
  if (!running_) return Record(call, scard::kNoService);
  auto ctx = contexts_.find(context);
  if (ctx == contexts_.end()) return Record(call, scard::kInvalidHandle);
  if (!ctx->second) return Record(call, scard::kNoService);
  if (!card || !activeProtocol) return Record(call, scard::kInvalidParameter);
  if (shareMode != scard::kShareExclusive && shareMode != scard::kShareShared)
    return Record(call, scard::kInvalidValue);
  auto it = slots_.find(reader);
  if (it == slots_.end()) return Record(call, scard::kUnknownReader);
  Slot& slot = it->second;

  // As in pcsc-lite, sharing is checked before presence, and a handle whose card was pulled
  // keeps its claim on the reader until it is disconnected.
  bool othersConnected = false;
  for (const auto& [h, c] : handles_) {
    if (c.reader != reader) continue;
    othersConnected = true;
    if (c.share == scard::kShareExclusive) return Record(call, scard::kSharingViolation);
  }
  if (shareMode == scard::kShareExclusive && othersConnected)
    return Record(call, scard::kSharingViolation);
  if (!slot.card) return Record(call, scard::kNoSmartcard);

  uint32_t wanted = preferredProtocols & (scard::kProtocolT0 | scard::kProtocolT1);
  if (wanted == 0) return Record(call, scard::kInvalidValue);
  if (!slot.powered) {
    slot.card->PowerOn();
    slot.powered = true;
    slot.protocol = (wanted & scard::kProtocolT1) ? scard::kProtocolT1 : scard::kProtocolT0;
  } else if ((wanted & slot.protocol) == 0) {
    return Record(call, scard::kProtoMismatch);
  }

  ScardHandle h = nextHandle_++;
  handles_[h] = Connection{context, reader, shareMode, slot.protocol, slot.generation, slot.resets};
  *card = h;
  *activeProtocol = slot.protocol;
  call.handle = context;
  return Record(call, scard::kSuccess);
}

ScardResult VirtualPcsc::Disconnect(ScardHandle card, uint32_t disposition) {
  Call call{"Disconnect", {}, card, disposition, 0, {}, 0};
  if (!running_) return Record(call, scard::kNoService);
  auto it = handles_.find(card);
  if (it == handles_.end()) return Record(call, scard::kInvalidHandle);
  Connection conn = it->second;
  handles_.erase(it);
  auto slot = slots_.find(conn.reader);
  // A handle whose card was pulled closes without touching the slot.
  if (slot == slots_.end() || !slot->second.card || slot->second.generation != conn.generation)
    return Record(call, scard::kSuccess);
  Slot& s = slot->second;
  switch (disposition) {
    case scard::kLeaveCard:
      break;
    case scard::kResetCardDisposition:
      if (s.powered) s.card->Reset();
      ++s.resets;
      break;
    case scard::kUnpowerCard:
    case scard::kEjectCard:  // no reader here can eject: the card is unpowered instead
      if (s.powered) s.card->PowerOff();
      s.powered = false;
      ++s.resets;
      break;
    default:
      return Record(call, scard::kInvalidValue);
  }
  return Record(call, scard::kSuccess);
}

ScardResult VirtualPcsc::Transmit(ScardHandle card, uint32_t sendProtocol, const uint8_t* command,
                                  uint32_t commandLength, uint8_t* response,
                                  uint32_t* responseLength) {
  Call call{"Transmit", {}, card, sendProtocol, 0, {}, 0};
  if (command && commandLength) call.apdu.assign(command, command + commandLength);
  if (stopAt_ && --*stopAt_ == 0) {
    stopAt_.reset();
    StopService();
  }
  if (!running_) return Record(call, scard::kNoService);
  auto it = handles_.find(card);
  if (it == handles_.end()) return Record(call, scard::kInvalidHandle);
  Connection& conn = it->second;
  call.reader = conn.reader;

  std::optional<uint32_t> keep;
  if (truncate_ && --truncate_->first == 0) {
    keep = truncate_->second;
    truncate_.reset();
  }
  if (removal_ && removal_->reader == conn.reader && --removal_->remaining == 0) {
    std::string reader = removal_->reader;
    removal_.reset();
    RemoveCard(reader);
  }

  auto slot = slots_.find(conn.reader);
  if (slot == slots_.end()) return Record(call, scard::kReaderUnavailable);
  Slot& s = slot->second;
  if (!s.card || s.generation != conn.generation) return Record(call, scard::kRemovedCard);
  if (!s.powered) return Record(call, scard::kUnpoweredCard);
  if (s.resets != conn.resets) {
    // Reported once, as pcsc-lite does; the handle is usable afterwards.
    conn.resets = s.resets;
    return Record(call, scard::kResetCard);
  }
  // pcsc-lite accepts the protocol of the connection and the raw protocol (4); anything
  // else, a zero protocol included, is refused.
  if (sendProtocol != kProtocolRaw && sendProtocol != conn.protocol)
    return Record(call, scard::kProtoMismatch);
  if (!command || commandLength < 4 || !response || !responseLength)
    return Record(call, scard::kInvalidParameter);

  std::vector<uint8_t> answer = s.card->Transmit(command, commandLength);
  if (keep && answer.size() > *keep) answer.resize(*keep);
  if (answer.size() > *responseLength) {
    *responseLength = static_cast<uint32_t>(answer.size());
    return Record(call, scard::kInsufficientBuffer);
  }
  if (!answer.empty()) std::memcpy(response, answer.data(), answer.size());
  *responseLength = static_cast<uint32_t>(answer.size());
  return Record(call, scard::kSuccess);
}

}  // namespace quilta::platform
