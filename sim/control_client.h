// Client of the vpcd bridge's control channel (a UNIX stream socket, path given to
// quilta-vpcd-bridge with --control). One request line, one answer line, per connection.
//
// Requests (the answer is "ok[ <details>]" or "error <text>"):
//   status                        ok inserted=<0|1> profile=<name> pinpad=<action> prompts=<n>
//                                    sequence=<n> tries=<n>
//   remove [wait]                 pull the card (the bridge drops its vpcd connection);
//                                 with "wait", answer only once pcscd reports the reader
//                                 empty
//   insert [wait]                 put the card back (the same card, state kept); with
//                                 "wait", answer once pcscd reports a card present
//   swap <profile-file|default> [wait]   pull the card, wait until the reader is empty,
//                                 put in a new card made from the profile
//   pinpad pass|timeout|cancel    the PIN pad's behaviour (see sim/pinpad_reader.h)
//   pinpad enter <pin> [<newpin>]
//   quit                          the bridge ends
#pragma once

#include <string>

#include "sim/pinpad_reader.h"

namespace quilta::sim {

class ControlClient {
 public:
  explicit ControlClient(std::string socketPath);

  // Sends one request line; returns the answer line without the newline, or
  // "error <reason>" when the bridge cannot be reached. The wait is bounded by the bridge
  // (about 10 s for the "wait" forms).
  std::string Request(const std::string& line) const;

  // Helpers: true when the answer starts with "ok".
  bool Remove(bool waitEmpty = true) const;
  bool Insert(bool waitPresent = true) const;
  bool Swap(const std::string& profilePath, bool wait = true) const;  // "default" allowed
  bool SetPinPad(PinPadAction action, const std::string& pin = "", const std::string& newPin = "") const;
  std::string Status() const { return Request("status"); }

  const std::string& SocketPath() const { return path_; }

 private:
  std::string path_;
};

// Slot `slot` of the sandbox that tools/pcsc-sandbox runs a command in, as its environment
// names it (QUILTA_SIM_READER<slot>, QUILTA_SIM_CONTROL<slot>); both empty outside one.
struct SandboxSlot {
  std::string reader;
  std::string control;
};
SandboxSlot SandboxSlotFromEnvironment(int slot);

}  // namespace quilta::sim
