// The bridge's vpcd side: the TCP connection to pcscd's vpcd slot, held while the card is
// inserted, on which the reader model answers vpcd's requests.
#include "sim/vpcd_bridge.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <iostream>
#include <thread>

#include "base/hex.h"
#include "sim/profile.h"
#include "sim/vpcd_protocol.h"

namespace quilta::sim::vpcd_bridge {

Profile LoadNamedProfile(const std::string& name) {
  return name == "default" ? DefaultProfile() : LoadProfile(name);
}

int Bridge::Run() {
  try {
    auto profile = LoadNamedProfile(opt_.profile);
    profileName_ = profile.name;
    card_ = std::make_shared<FiscCard>(std::move(profile));
  } catch (const std::exception& e) {
    std::cerr << "quilta-vpcd-bridge: " << e.what() << "\n";
    return 2;
  }
  reader_ = std::make_unique<PinPadReader>(card_, opt_.pinpad);
  inserted_ = !opt_.removed;
  int controlFd = -1;
  if (!opt_.control.empty()) {
    controlFd = OpenControl();
    if (controlFd < 0) return 2;
  }
  std::thread control;
  if (controlFd >= 0) control = std::thread([this, controlFd] { ControlLoop(controlFd); });
  VpcdLoop();
  if (control.joinable()) {
    shutdown(controlFd, SHUT_RDWR);
    control.join();
  }
  if (controlFd >= 0) {
    close(controlFd);
    unlink(opt_.control.c_str());
  }
  return 0;
}

void Bridge::Log(const std::string& line) {
  if (opt_.verbose) std::cerr << "bridge[" << opt_.port << "] " << line << std::endl;
}

int Bridge::ConnectVpcd() {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(opt_.port);
  if (inet_pton(AF_INET, opt_.host.c_str(), &addr.sin_addr) != 1 ||
      connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0) {
    close(fd);
    return -1;
  }
  int one = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
  return fd;
}

// Reads exactly n bytes; false on close, error or stop.
bool Bridge::ReadFull(int fd, uint8_t* buf, size_t n) {
  size_t got = 0;
  while (got < n) {
    pollfd p{fd, POLLIN, 0};
    int r = poll(&p, 1, 200);
    if (g_stop) return false;
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) continue;
    ssize_t k = recv(fd, buf + got, n - got, 0);
    if (k < 0 && errno == EINTR) continue;
    if (k <= 0) return false;
    // Without quick ACKs every exchange waits for the delayed-ACK timer (~40 ms).
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_QUICKACK, &one, sizeof(one));
    got += static_cast<size_t>(k);
  }
  return true;
}

bool Bridge::WriteFull(int fd, const std::vector<uint8_t>& data) {
  size_t sent = 0;
  while (sent < data.size()) {
    ssize_t k = send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
    if (k < 0 && errno == EINTR) continue;
    if (k <= 0) return false;
    sent += static_cast<size_t>(k);
  }
  return true;
}

void Bridge::VpcdLoop() {
  while (!g_stop) {
    {
      std::unique_lock lock(mutex_);
      changed_.wait_for(lock, std::chrono::milliseconds(100),
                        [this] { return inserted_ || g_stop; });
      if (!inserted_ || g_stop) continue;
    }
    int fd = ConnectVpcd();
    if (fd < 0) continue;  // pcscd not up yet: try again shortly
    {
      std::lock_guard lock(mutex_);
      if (!inserted_) {
        close(fd);
        continue;
      }
      vpcdFd_ = fd;
      connected_ = true;
    }
    Log("connected: card inserted");
    Serve(fd);
    {
      std::lock_guard lock(mutex_);
      vpcdFd_ = -1;
      connected_ = false;
      close(fd);
    }
    reader_->PowerOff();  // the card left the reader
    Log("disconnected: card removed");
    changed_.notify_all();
    if (!g_stop) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
}

void Bridge::Serve(int fd) {
  std::vector<uint8_t> payload;
  while (!g_stop) {
    uint8_t len[2];
    if (!ReadFull(fd, len, 2)) return;
    size_t n = static_cast<size_t>(len[0]) << 8 | len[1];
    payload.resize(n);
    if (n > 0 && !ReadFull(fd, payload.data(), n)) return;
    auto answer = AnswerVpcd(*reader_, payload.data(), n);
    if (opt_.verbose && n > 1) {
      Log("> " + quilta::BytesToHex(payload.data(), n) + "  < " +
          (answer ? quilta::BytesToHex(answer->data(), answer->size()) : std::string("-")));
    }
    if (answer && !WriteFull(fd, FrameVpcd(*answer))) return;
  }
}

}  // namespace quilta::sim::vpcd_bridge
