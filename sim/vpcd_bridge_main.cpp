// quilta-vpcd-bridge: puts one simulated FISC card (behind the PIN-pad reader model) into a
// vsmartcard vpcd reader slot of pcscd, and takes orders on a control socket.
//
//   quilta-vpcd-bridge [--host 127.0.0.1] [--port 35963] [--control PATH]
//                      [--profile FILE|default] [--reader NAME] [--removed]
//                      [--pinpad pass|timeout|cancel|enter:PIN[:NEWPIN]] [--verbose]
//
// The card is "inserted" while the bridge holds its TCP connection to vpcd; dropping the
// connection removes it. --reader names the pcscd reader of the slot ("Virtual PCD 00 00"),
// needed for the "wait" forms of the control requests (sim/control_client.h).
#include <signal.h>

#include <cstdlib>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "sim/pinpad_reader.h"
#include "sim/vpcd_bridge.h"

namespace {

using namespace quilta::sim;
using namespace quilta::sim::vpcd_bridge;

void OnSignal(int) { g_stop = true; }

bool ParsePinPadOption(const std::string& value, PinPadSettings* s) {
  std::vector<std::string> parts;
  std::stringstream ss(value);
  std::string part;
  while (std::getline(ss, part, ':')) parts.push_back(part);
  if (parts.empty() || !ParsePinPadAction(parts[0], &s->action)) return false;
  if (s->action == PinPadAction::kEnterPin) {
    if (parts.size() < 2 || parts.size() > 3) return false;
    s->pin = parts[1];
    if (parts.size() == 3) s->newPin = parts[2];
  } else if (parts.size() != 1) {
    return false;
  }
  return true;
}

void Usage() {
  std::cerr << "usage: quilta-vpcd-bridge [--host ADDR] [--port N] [--control PATH]"
               " [--profile FILE|default]\n"
               "                          [--reader NAME] [--removed] [--verbose]\n"
               "                          [--pinpad pass|timeout|cancel|enter:PIN[:NEWPIN]]\n";
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&](std::string* out) {
      if (i + 1 >= argc) return false;
      *out = argv[++i];
      return true;
    };
    std::string v;
    if (a == "--host" && value(&o.host)) continue;
    if (a == "--control" && value(&o.control)) continue;
    if (a == "--profile" && value(&o.profile)) continue;
    if (a == "--reader" && value(&o.reader)) continue;
    if (a == "--removed") { o.removed = true; continue; }
    if (a == "--verbose") { o.verbose = true; continue; }
    if (a == "--port" && value(&v)) {
      char* end = nullptr;
      long p = std::strtol(v.c_str(), &end, 0);
      if (end && *end == 0 && p > 0 && p < 65536) {
        o.port = static_cast<uint16_t>(p);
        continue;
      }
    }
    if (a == "--pinpad" && value(&v) && ParsePinPadOption(v, &o.pinpad)) continue;
    Usage();
    return 2;
  }
  struct sigaction sa{};
  sa.sa_handler = OnSignal;
  sigaction(SIGTERM, &sa, nullptr);
  sigaction(SIGINT, &sa, nullptr);
  signal(SIGPIPE, SIG_IGN);
  return Bridge(std::move(o)).Run();
}
