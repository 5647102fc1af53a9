// The card channel: the process's PC/SC context, the card handle and its protocol, the PC/SC
// and sleep services, and the exchange buffer. Every PC/SC call of the system goes through
// it (the context, the reader list, presence queries, connections and every command sent to
// the card; the reader dialogs and the confirmations' card watch too). Its operations hand
// back the PC/SC result as it is: what it means for the page is the caller's business.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "card/apdu.h"
#include "platform/os.h"
#include "platform/pcsc.h"

namespace quilta::card {

// What one transmit gave: the PC/SC result and, on success, the card's status word (the
// response itself is in the buffer the exchange wrote).
struct Reply {
  platform::ScardResult rv = platform::scard::kSuccess;
  uint16_t sw = 0;
  bool transmitted() const { return rv == platform::scard::kSuccess; }
};

class Channel {
 public:
  Channel();

  // Services; replaced by tests, the page-script host's development hooks and the demo. Only
  // the channel calls them.
  platform::Pcsc* pcsc;
  platform::Sleeper* sleeper;

  // ---- The PC/SC session ----
  // A new context of user scope; on success it replaces `context`, and the one it replaces
  // is retired (below).
  platform::ScardResult EstablishContext();
  // The retired contexts, then `context`, released.
  platform::ScardResult ReleaseContext();
  // The reader list as PC/SC writes it (names, each ended by a zero byte, then one more):
  // *length holds the buffer's size and receives the bytes written.
  platform::ScardResult ListReaders(char* buffer, uint32_t* length);
  // One status query of state->reader on `context`, the record's current state as the
  // caller set it; the answer lands in state->eventState.
  platform::ScardResult QueryReader(platform::ReaderState* state, uint32_t timeoutMs);
  // The same on another context (a confirmation dialog told to watch with one of its own).
  platform::ScardResult QueryReader(platform::ScardContext on, platform::ReaderState* state,
                                    uint32_t timeoutMs);
  // Connects `reader`; on success the new handle and protocol replace `handle` and
  // `activeProtocol`. The protocol asked for starts as `activeProtocol`.
  platform::ScardResult Connect(const std::string& reader, uint32_t shareMode,
                                uint32_t preferredProtocols);
  // Disconnects `handle` with `disposition`; the handle is kept (a power cycle disconnects
  // it twice).
  platform::ScardResult Disconnect(uint32_t disposition);
  void SleepMs(uint32_t ms);

  platform::ScardContext context = 0;
  platform::ScardHandle handle = 0;

  // A context that ConnectDriver replaced while a card handle of it may still be in use: it
  // is released once that handle is done with (the next ConnectCard or DisconnectCard, or
  // DisconnectDriver). Each pcsc-lite context is a connection to pcscd, so a context that
  // was only overwritten stayed open for the life of the browser; the transfers' confirmation
  // opens one per round.
  void Retire(platform::ScardContext old);
  void ReleaseRetired();
  uint32_t activeProtocol = platform::scard::kProtocolT1;

  // The exchange buffer: the last command sent by Exchange and the card's last response.
  ResponseApdu response;
  uint8_t command[CommandApdu::kMaxSize] = {};
  uint32_t commandLength = 0;

  // Narrow name (as PC/SC spells it) of the reader the card was last connected through:
  // where a failed transmit looks whether the card has left.
  std::string reader;

  // Called with the card's status word after every transmitted Exchange (not the reader
  // dialogs' form): the facade keeps the page's copy of it.
  std::function<void(uint16_t sw)> onStatusWord;

  // Sends `apdu` on the card handle with a send PCI of the active protocol; the response
  // lands in `response`, which is cleared first. No status word at all (the card vanished
  // mid-command) is a failed exchange (SCARD_E_COMM_DATA_LOST), never data; a card pulled
  // mid-command reads as SCARD_W_REMOVED_CARD on every platform.
  Reply Exchange(const CommandApdu& apdu);

  // The reader dialogs' form: the send PCI names no protocol, as their exchange always did;
  // a PC/SC layer that refuses that (pcsc-lite answers SCARD_E_PROTO_MISMATCH) gets the
  // command again with `protocol`. The response lands in `*into` (cleared first).
  Reply ExchangeUnnamed(const CommandApdu& apdu, ResponseApdu* into, platform::ScardHandle card,
                        uint32_t protocol);

 private:
  Reply Send(const CommandApdu& apdu, ResponseApdu* into, platform::ScardHandle card,
             uint32_t protocol, bool retryWithActive, uint32_t activeForRetry);
  bool CardLeft();

  std::vector<platform::ScardContext> retired_;
};

}  // namespace quilta::card
