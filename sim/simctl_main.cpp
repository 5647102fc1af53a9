// quilta-simctl: sends one request to a vpcd bridge's control socket and prints the answer.
//
//   quilta-simctl [--socket PATH | --slot N] REQUEST...
//
// Without --socket the path comes from QUILTA_SIM_CONTROL<N> (slot 0 by default), which
// tools/pcsc-sandbox exports. Requests: see sim/control_client.h (status, remove [wait],
// insert [wait], swap PROFILE [wait], pinpad ..., quit). Exit status 0 when the answer
// starts with "ok", 1 otherwise, 2 for bad usage.
#include <cstdlib>
#include <iostream>
#include <string>

#include "sim/control_client.h"

int main(int argc, char** argv) {
  std::string socket;
  std::string slot = "0";
  int i = 1;
  for (; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--socket" && i + 1 < argc) {
      socket = argv[++i];
    } else if (a == "--slot" && i + 1 < argc) {
      slot = argv[++i];
    } else {
      break;
    }
  }
  if (i >= argc) {
    std::cerr << "usage: quilta-simctl [--socket PATH | --slot N] REQUEST...\n";
    return 2;
  }
  if (socket.empty()) {
    const char* env = std::getenv(("QUILTA_SIM_CONTROL" + slot).c_str());
    if (env == nullptr || *env == 0) {
      std::cerr << "quilta-simctl: no --socket and QUILTA_SIM_CONTROL" << slot << " is not set\n";
      return 2;
    }
    socket = env;
  }
  std::string request;
  for (; i < argc; ++i) {
    if (!request.empty()) request += ' ';
    request += argv[i];
  }
  std::string answer = quilta::sim::ControlClient(socket).Request(request);
  std::cout << answer << "\n";
  return answer.rfind("ok", 0) == 0 ? 0 : 1;
}
