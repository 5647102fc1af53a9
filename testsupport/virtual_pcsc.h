// An in-process PC/SC for unit tests and the embedded demo: named readers, each with a slot
// that holds a card model or nothing, contexts, shared and exclusive connections, and the
// answers pcsc-lite gives (SCARD_E_NO_SMARTCARD for an empty reader, a zero handle after a
// failed connect, SCARD_W_REMOVED_CARD for a handle whose card was pulled). Faults can be
// injected (the service stopped, now or at the k-th command; a truncated response; the card
// pulled at the k-th command) and every call is logged so that tests can check the exact
// sequence.
//
// Rules copied from pcsc-lite (checked against pcscd with vpcd): sharing is checked before
// presence, and a connection whose card was pulled keeps its claim on the reader until it
// is disconnected; a send PCI must carry the connection's protocol or the raw protocol (4),
// anything else (0 included) gives SCARD_E_PROTO_MISMATCH; an unknown reader in
// GetStatusChange gives SCARD_E_UNKNOWN_READER; a stopped service gives
// SCARD_E_NO_SERVICE to every call, and contexts from before the stop stay dead.
//
// Not thread-safe: like the system it serves, it expects one call at a time.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/card_model.h"
#include "platform/os.h"
#include "platform/pcsc.h"

namespace quilta::platform {

class VirtualPcsc final : public Pcsc {
 public:
  // One logged call. `op` is the operation name ("EstablishContext", "ReleaseContext",
  // "ListReaders", "GetStatusChange", "Connect", "Disconnect", "Transmit"); `reader` is set
  // for Connect and GetStatusChange (the first state); `arg1`/`arg2` hold share mode and
  // preferred protocols for Connect, the disposition for Disconnect, the send protocol for
  // Transmit, the time-out for GetStatusChange; `apdu` the command bytes of a Transmit;
  // `result` what the call answered.
  struct Call {
    std::string op;
    std::string reader;
    uint64_t handle = 0;  // context or card handle the call used
    uint32_t arg1 = 0;
    uint32_t arg2 = 0;
    std::vector<uint8_t> apdu;
    ScardResult result = 0;
  };

  VirtualPcsc() = default;
  VirtualPcsc(const VirtualPcsc&) = delete;
  VirtualPcsc& operator=(const VirtualPcsc&) = delete;

  // ---- The world ----
  // Readers are listed in the order they were added. Adding an existing name does nothing.
  void AddReader(const std::string& name);
  // Removes the reader; connections to it answer SCARD_E_READER_UNAVAILABLE afterwards.
  void RemoveReader(const std::string& name);
  // Puts a card into the reader's slot (replacing one that sits there, as a swap would).
  // Unknown reader names are added first.
  void InsertCard(const std::string& reader, std::shared_ptr<CardModel> card);
  // Pulls the card: its connections answer SCARD_W_REMOVED_CARD from now on.
  void RemoveCard(const std::string& reader);
  bool HasCard(const std::string& reader) const;
  std::vector<std::string> Readers() const;

  // ---- Faults ----
  // A stopped service answers SCARD_E_NO_SERVICE to every call. Contexts and connections
  // made before the stop stay dead after a restart (a new context is needed), as with a
  // restarted pcscd.
  void StopService();
  void StartService();
  bool ServiceRunning() const { return running_; }
  // The k-th Transmit from now (1 = the next one) answers success with only the first
  // `keep` bytes of the card's response (0 or 1 for a truncated answer).
  void TruncateResponseAt(int k, uint32_t keep);
  // The card in `reader` is pulled just before the k-th Transmit from now reaches it, so
  // that command answers SCARD_W_REMOVED_CARD.
  void RemoveCardAtCommand(const std::string& reader, int k);
  // The service stops just before the k-th Transmit from now (any reader) reaches its card:
  // that command and every later call answer SCARD_E_NO_SERVICE, as with a pcscd stopped
  // there, until StartService.
  void StopServiceAtCommand(int k);
  // Called when GetStatusChange would have to wait (no reader changed against its current
  // state); tests use it to play the customer. Afterwards the states are looked at once
  // more, and if still nothing changed the call answers SCARD_E_TIMEOUT, whatever the
  // time-out, so that a test never hangs.
  std::function<void()> onWait;

  // ---- What happened ----
  const std::vector<Call>& Log() const { return log_; }
  void ClearLog() { log_.clear(); }
  // Command APDUs of all Transmit calls, in order, as upper-case hex without spaces.
  std::vector<std::string> ApduLog() const;
  // Number of logged calls of one operation.
  size_t Count(const std::string& op) const;
  // Open card connections (handles not yet disconnected), over all contexts.
  size_t OpenConnections() const { return handles_.size(); }
  // Contexts established and not yet released.
  size_t OpenContexts() const {
    size_t n = 0;
    for (const auto& [c, alive] : contexts_) n += alive ? 1 : 0;
    return n;
  }

  // ---- Pcsc ----
  ScardResult EstablishContext(uint32_t scope, ScardContext* context) override;
  ScardResult ReleaseContext(ScardContext context) override;
  ScardResult ListReaders(ScardContext context, char* buf, uint32_t* len) override;
  ScardResult GetStatusChange(ScardContext context, uint32_t timeoutMs, ReaderState* states,
                              size_t count) override;
  ScardResult Connect(ScardContext context, const std::string& reader, uint32_t shareMode,
                      uint32_t preferredProtocols, ScardHandle* card,
                      uint32_t* activeProtocol) override;
  ScardResult Disconnect(ScardHandle card, uint32_t disposition) override;
  ScardResult Transmit(ScardHandle card, uint32_t sendProtocol, const uint8_t* command,
                       uint32_t commandLength, uint8_t* response,
                       uint32_t* responseLength) override;

 private:
  struct Slot {
    std::shared_ptr<CardModel> card;
    uint64_t generation = 0;  // bumped by every insert and removal
    uint64_t resets = 0;      // bumped by every power cycle or reset of the card
    bool powered = false;
    uint32_t protocol = 0;    // protocol of the powered card
  };
  struct Connection {
    ScardContext context;
    std::string reader;
    uint32_t share;
    uint32_t protocol;
    uint64_t generation;
    uint64_t resets;
  };
  struct PendingRemoval {
    std::string reader;
    int remaining;
  };

  ScardResult Record(Call call, ScardResult result);
  bool ContextValid(ScardContext context) const;
  uint32_t StateOf(const std::string& reader) const;
  void DropConnectionsOf(ScardContext context);

  std::vector<std::string> order_;
  std::map<std::string, Slot> slots_;
  std::map<ScardContext, bool> contexts_;  // value: still alive
  std::map<ScardHandle, Connection> handles_;
  ScardContext nextContext_ = 0x1000;
  ScardHandle nextHandle_ = 0x5000;
  bool running_ = true;
  std::optional<std::pair<int, uint32_t>> truncate_;
  std::optional<PendingRemoval> removal_;
  std::optional<int> stopAt_;  // Transmits left until the service stops
  std::vector<Call> log_;
};

// Virtual time for the 200 ms pauses: records every sleep and returns at once.
class VirtualSleeper final : public Sleeper {
 public:
  void SleepMs(uint32_t ms) override {
    sleeps.push_back(ms);
    totalMs += ms;
  }
  std::vector<uint32_t> sleeps;
  uint64_t totalMs = 0;
};

}  // namespace quilta::platform
