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
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <winscard.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "base/hex.h"
#include "sim/fisc_card.h"
#include "sim/pinpad_reader.h"
#include "sim/profile.h"
#include "sim/vpcd_protocol.h"

namespace {

using namespace quilta::sim;

std::atomic<bool> g_stop{false};
void OnSignal(int) { g_stop = true; }

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

Profile LoadNamedProfile(const std::string& name) {
  return name == "default" ? DefaultProfile() : LoadProfile(name);
}

class Bridge {
 public:
  explicit Bridge(Options o) : opt_(std::move(o)) {}

  int Run() {
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

 private:
  void Log(const std::string& line) {
    if (opt_.verbose) std::cerr << "bridge[" << opt_.port << "] " << line << std::endl;
  }

  // ---- vpcd side -------------------------------------------------------------------
  int ConnectVpcd() {
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
  bool ReadFull(int fd, uint8_t* buf, size_t n) {
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

  bool WriteFull(int fd, const std::vector<uint8_t>& data) {
    size_t sent = 0;
    while (sent < data.size()) {
      ssize_t k = send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
      if (k < 0 && errno == EINTR) continue;
      if (k <= 0) return false;
      sent += static_cast<size_t>(k);
    }
    return true;
  }

  void VpcdLoop() {
    while (!g_stop) {
      {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, std::chrono::milliseconds(100), [this] { return inserted_ || g_stop; });
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

  void Serve(int fd) {
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

  // ---- control side ----------------------------------------------------------------
  int OpenControl() {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (opt_.control.size() >= sizeof(addr.sun_path)) {
      std::cerr << "quilta-vpcd-bridge: control socket path too long\n";
      return -1;
    }
    std::memcpy(addr.sun_path, opt_.control.c_str(), opt_.control.size() + 1);
    unlink(opt_.control.c_str());
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0 || listen(fd, 8) != 0) {
      std::cerr << "quilta-vpcd-bridge: cannot listen on " << opt_.control << ": " << std::strerror(errno) << "\n";
      if (fd >= 0) close(fd);
      return -1;
    }
    return fd;
  }

  void ControlLoop(int listenFd) {
    while (!g_stop) {
      pollfd p{listenFd, POLLIN, 0};
      int r = poll(&p, 1, 200);
      if (r <= 0) continue;
      if (p.revents & (POLLERR | POLLHUP | POLLNVAL)) return;
      int fd = accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd < 0) continue;
      std::string line;
      char c;
      bool complete = false;
      while (line.size() < 4096) {
        pollfd q{fd, POLLIN, 0};
        if (poll(&q, 1, 5000) <= 0) break;
        if (recv(fd, &c, 1, 0) != 1) break;
        if (c == '\n') {
          complete = true;
          break;
        }
        line += c;
      }
      std::string answer = complete ? Handle(line) : "error incomplete request";
      answer += "\n";
      send(fd, answer.data(), answer.size(), MSG_NOSIGNAL);
      close(fd);
    }
  }

  std::string Handle(const std::string& line) {
    std::vector<std::string> w;
    std::istringstream in(line);
    for (std::string s; in >> s;) w.push_back(s);
    if (w.empty()) return "error empty request";
    const bool wait = w.back() == "wait";
    if (wait) w.pop_back();
    const std::string& cmd = w[0];
    Log("control: " + line);
    if (cmd == "status" && w.size() == 1) return Status();
    if (cmd == "remove" && w.size() == 1) return Remove(wait);
    if (cmd == "insert" && w.size() == 1) return Insert(wait);
    if (cmd == "swap" && w.size() == 2) return Swap(w[1], wait);
    if (cmd == "pinpad" && w.size() >= 2 && !wait) return PinPad(w);
    if (cmd == "quit" && w.size() == 1) {
      g_stop = true;
      changed_.notify_all();
      return "ok";
    }
    return "error unknown request: " + line;
  }

  std::string Status() {
    std::lock_guard lock(mutex_);
    auto s = reader_->Settings();
    std::ostringstream out;
    out << "ok inserted=" << (inserted_ ? 1 : 0) << " connected=" << (connected_ ? 1 : 0)
        << " profile=" << profileName_ << " pinpad=" << PinPadActionName(s.action)
        << " prompts=" << reader_->Prompts() << " sequence=" << card_->NextSequence()
        << " tries=" << card_->PinTriesLeft();
    return out.str();
  }

  std::string Remove(bool wait) {
    {
      std::lock_guard lock(mutex_);
      inserted_ = false;
      if (vpcdFd_ >= 0) shutdown(vpcdFd_, SHUT_RDWR);
    }
    changed_.notify_all();
    {
      std::unique_lock lock(mutex_);
      if (!changed_.wait_for(lock, std::chrono::seconds(5), [this] { return !connected_; })) {
        return "error the vpcd connection did not close";
      }
    }
    if (wait) return WaitReader(false);
    return "ok";
  }

  std::string Insert(bool wait) {
    {
      std::lock_guard lock(mutex_);
      inserted_ = true;
    }
    changed_.notify_all();
    if (wait) return WaitReader(true);
    return "ok";
  }

  std::string Swap(const std::string& name, bool wait) {
    std::shared_ptr<FiscCard> card;
    try {
      card = std::make_shared<FiscCard>(LoadNamedProfile(name));
    } catch (const std::exception& e) {
      return std::string("error ") + e.what();
    }
    std::string removed = Remove(!opt_.reader.empty());
    if (removed != "ok") return removed;
    {
      std::lock_guard lock(mutex_);
      profileName_ = card->InitialProfile().name;
      card_ = card;
      reader_->SetCard(card);
    }
    return Insert(wait);
  }

  std::string PinPad(const std::vector<std::string>& w) {
    PinPadSettings s = reader_->Settings();
    if (!ParsePinPadAction(w[1], &s.action)) return "error unknown pin-pad action " + w[1];
    if (s.action == PinPadAction::kEnterPin) {
      if (w.size() < 3 || w.size() > 4) return "error pinpad enter needs a PIN";
      s.pin = w[2] == "-" ? "" : w[2];
      if (w.size() == 4) s.newPin = w[3];
      if (s.pin.size() > 16 || s.newPin.size() > 16) return "error PIN longer than 16 characters";
    } else if (w.size() != 2) {
      return "error too many words";
    }
    reader_->SetSettings(s);
    return "ok";
  }

  // Waits until pcscd reports the slot's reader empty (present = false) or holding a card.
  std::string WaitReader(bool present) {
    if (opt_.reader.empty()) return "error no --reader given: cannot wait";
    SCARDCONTEXT ctx;
    if (SCardEstablishContext(SCARD_SCOPE_SYSTEM, nullptr, nullptr, &ctx) != SCARD_S_SUCCESS) {
      return "error pcscd not reachable";
    }
    SCARD_READERSTATE st{};
    st.szReader = opt_.reader.c_str();
    st.dwCurrentState = SCARD_STATE_UNAWARE;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    std::string result = "error the reader did not report the change in time";
    while (std::chrono::steady_clock::now() < deadline && !g_stop) {
      LONG rv = SCardGetStatusChange(ctx, 500, &st, 1);
      if (rv != SCARD_S_SUCCESS && rv != SCARD_E_TIMEOUT) {
        result = "error SCardGetStatusChange failed";
        break;
      }
      DWORD state = st.dwEventState;
      if (rv == SCARD_S_SUCCESS) st.dwCurrentState = state & ~SCARD_STATE_CHANGED;
      if (state & SCARD_STATE_UNKNOWN) {
        result = "error unknown reader " + opt_.reader;
        break;
      }
      if (present ? (state & SCARD_STATE_PRESENT) : (state & SCARD_STATE_EMPTY)) {
        result = "ok";
        break;
      }
    }
    SCardReleaseContext(ctx);
    return result;
  }

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

void Usage() {
  std::cerr << "usage: quilta-vpcd-bridge [--host ADDR] [--port N] [--control PATH] [--profile FILE|default]\n"
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
