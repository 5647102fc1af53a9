// The bridge's control side: the requests on its control socket (sim/control_client.h) that
// report, remove, insert and swap the card and set the PIN pad, and the wait for pcscd to see
// the change.
#include "sim/vpcd_bridge.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <winscard.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <iostream>
#include <sstream>

#include "sim/profile.h"

namespace quilta::sim::vpcd_bridge {

int Bridge::OpenControl() {
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  if (opt_.control.size() >= sizeof(addr.sun_path)) {
    std::cerr << "quilta-vpcd-bridge: control socket path too long\n";
    return -1;
  }
  std::memcpy(addr.sun_path, opt_.control.c_str(), opt_.control.size() + 1);
  unlink(opt_.control.c_str());
  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0 ||
      listen(fd, 8) != 0) {
    std::cerr << "quilta-vpcd-bridge: cannot listen on " << opt_.control << ": "
              << std::strerror(errno) << "\n";
    if (fd >= 0) close(fd);
    return -1;
  }
  return fd;
}

void Bridge::ControlLoop(int listenFd) {
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

std::string Bridge::Handle(const std::string& line) {
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

std::string Bridge::Status() {
  std::lock_guard lock(mutex_);
  auto s = reader_->Settings();
  std::ostringstream out;
  out << "ok inserted=" << (inserted_ ? 1 : 0) << " connected=" << (connected_ ? 1 : 0)
      << " profile=" << profileName_ << " pinpad=" << PinPadActionName(s.action)
      << " prompts=" << reader_->Prompts() << " sequence=" << card_->NextSequence()
      << " tries=" << card_->PinTriesLeft();
  return out.str();
}

std::string Bridge::Remove(bool wait) {
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

std::string Bridge::Insert(bool wait) {
  {
    std::lock_guard lock(mutex_);
    inserted_ = true;
  }
  changed_.notify_all();
  if (wait) return WaitReader(true);
  return "ok";
}

std::string Bridge::Swap(const std::string& name, bool wait) {
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

std::string Bridge::PinPad(const std::vector<std::string>& w) {
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
std::string Bridge::WaitReader(bool present) {
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

}  // namespace quilta::sim::vpcd_bridge
