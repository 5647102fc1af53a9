// The bridge of quilta-vpcd-bridge (vpcd_bridge_main.cpp): one simulated FISC card behind the
// PIN-pad reader model, in a vsmartcard vpcd reader slot of pcscd (vpcd_bridge.cpp), and the
// control socket that takes orders for it (vpcd_bridge_control.cpp).
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "sim/fisc_card.h"
#include "sim/pinpad_reader.h"
#include "sim/vpcd_protocol.h"

namespace quilta::sim::vpcd_bridge {

// Set by SIGTERM, SIGINT and the control request "quit": the bridge's loops end.
inline std::atomic<bool> g_stop{false};

struct Options {
  std::string host = "127.0.0.1";
  uint16_t port = kVpcdDefaultPort;
  std::string control;
  std::string profile = "default";
  std::string reader;
  bool removed = false;
  bool verbose = false;
  PinPadSettings pinpad{PinPadAction::kPassThrough, "1234", "5678"};
};

// The simulator's default card for "default", else the profile file of that name.
Profile LoadNamedProfile(const std::string& name);

class Bridge {
 public:
  explicit Bridge(Options o) : opt_(std::move(o)) {}

  // Serves until stopped; 2 when the profile or the control socket cannot be had.
  int Run();

 private:
  void Log(const std::string& line);

  // ---- vpcd side (vpcd_bridge.cpp) ----
  int ConnectVpcd();
  // Reads exactly n bytes; false on close, error or stop.
  bool ReadFull(int fd, uint8_t* buf, size_t n);
  bool WriteFull(int fd, const std::vector<uint8_t>& data);
  void VpcdLoop();
  void Serve(int fd);

  // ---- control side (vpcd_bridge_control.cpp) ----
  int OpenControl();
  void ControlLoop(int listenFd);
  std::string Handle(const std::string& line);
  std::string Status();
  std::string Remove(bool wait);
  std::string Insert(bool wait);
  std::string Swap(const std::string& name, bool wait);
  std::string PinPad(const std::vector<std::string>& w);
  // Waits until pcscd reports the slot's reader empty (present = false) or holding a card.
  std::string WaitReader(bool present);

  Options opt_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::shared_ptr<FiscCard> card_;
  std::unique_ptr<PinPadReader> reader_;
  std::string profileName_;
  bool inserted_ = true;
  bool connected_ = false;
  int vpcdFd_ = -1;
};

}  // namespace quilta::sim::vpcd_bridge
