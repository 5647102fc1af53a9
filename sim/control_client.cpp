#include "sim/control_client.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace quilta::sim {
namespace {

constexpr int kAnswerTimeoutMs = 30000;  // the bridge bounds its own waits well below this

}  // namespace

ControlClient::ControlClient(std::string socketPath) : path_(std::move(socketPath)) {}

std::string ControlClient::Request(const std::string& line) const {
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  if (path_.size() >= sizeof(addr.sun_path)) return "error control socket path too long";
  std::memcpy(addr.sun_path, path_.c_str(), path_.size() + 1);
  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return std::string("error socket: ") + std::strerror(errno);
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0) {
    std::string e = std::string("error cannot reach ") + path_ + ": " + std::strerror(errno);
    close(fd);
    return e;
  }
  std::string out = line + "\n";
  size_t sent = 0;
  while (sent < out.size()) {
    ssize_t n = send(fd, out.data() + sent, out.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) {
      if (n < 0 && errno == EINTR) continue;
      close(fd);
      return "error send failed";
    }
    sent += static_cast<size_t>(n);
  }
  std::string answer;
  char buf[256];
  for (;;) {
    pollfd p{fd, POLLIN, 0};
    int r = poll(&p, 1, kAnswerTimeoutMs);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) {
      close(fd);
      return "error no answer from the bridge";
    }
    ssize_t n = recv(fd, buf, sizeof(buf), 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    answer.append(buf, static_cast<size_t>(n));
    if (answer.find('\n') != std::string::npos) break;
  }
  close(fd);
  auto nl = answer.find('\n');
  if (nl != std::string::npos) answer.resize(nl);
  if (answer.empty()) return "error empty answer";
  return answer;
}

namespace {
bool Ok(const std::string& answer) { return answer == "ok" || answer.rfind("ok ", 0) == 0; }
}  // namespace

bool ControlClient::Remove(bool waitEmpty) const { return Ok(Request(waitEmpty ? "remove wait" : "remove")); }

bool ControlClient::Insert(bool waitPresent) const {
  return Ok(Request(waitPresent ? "insert wait" : "insert"));
}

bool ControlClient::Swap(const std::string& profilePath, bool wait) const {
  return Ok(Request("swap " + profilePath + (wait ? " wait" : "")));
}

bool ControlClient::SetPinPad(PinPadAction action, const std::string& pin, const std::string& newPin) const {
  std::string line = std::string("pinpad ") + PinPadActionName(action);
  if (action == PinPadAction::kEnterPin) {
    line += " " + (pin.empty() ? std::string("-") : pin);
    if (!newPin.empty()) line += " " + newPin;
  }
  return Ok(Request(line));
}

SandboxSlot SandboxSlotFromEnvironment(int slot) {
  auto env = [&](const char* prefix) {
    const char* v = std::getenv((prefix + std::to_string(slot)).c_str());
    return std::string(v ? v : "");
  };
  return {env("QUILTA_SIM_READER"), env("QUILTA_SIM_CONTROL")};
}

}  // namespace quilta::sim
