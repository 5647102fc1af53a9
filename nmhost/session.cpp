#include "nmhost/session.h"

#include <fcntl.h>
#include <glib-unix.h>
#include <glib.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>

#include "base/secret.h"
#include <cstdlib>
#include <cstring>

namespace quilta::nmhost {
namespace {

int LogFd() {
  static const int fd = [] {
    const char* path = std::getenv("QUILTA_NMHOST_LOG");
    if (path && *path) {
      const int f = open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
      if (f >= 0) return f;
    }
    return 2;
  }();
  return fd;
}

// A private, close-on-exec copy of `fd`.
int Keep(int fd) { return fcntl(fd, F_DUPFD_CLOEXEC, 3); }

struct SignalHook {
  int signo;
  Session* session;
};

}  // namespace

bool WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t n = write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

void Log(const std::string& line) {
  const std::string text = "quilta-nmhost[" + std::to_string(getpid()) + "]: " + line + "\n";
  WriteAll(LogFd(), text.data(), text.size());
}

Session::Session() {
  in_ = Keep(0);
  out_ = Keep(1);
  // Stray writes to stdout land on stderr; stdin of anything started later reads nothing.
  dup2(2, 1);
  const int devNull = open("/dev/null", O_RDONLY | O_CLOEXEC);
  if (devNull >= 0) {
    dup2(devNull, 0);
    close(devNull);
  }
  signal(SIGPIPE, SIG_IGN);  // a closed stdout shows as a failed write
  LogFd();
}

void Session::Run() {
  if (in_ < 0 || out_ < 0) End("no stdin or stdout", 1);
  g_unix_set_fd_nonblocking(in_, TRUE, nullptr);
  // The dialogs iterate the default context while they wait: this source must run there
  // even while it is dispatching (a request during a dialog comes in through it).
  GSource* input = g_unix_fd_source_new(in_, static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR));
  g_source_set_callback(input, reinterpret_cast<GSourceFunc>(reinterpret_cast<void (*)()>(&OnInput)),
                        this, nullptr);
  g_source_set_can_recurse(input, TRUE);
  g_source_attach(input, nullptr);

  static SignalHook hooks[] = {{SIGTERM, nullptr}, {SIGINT, nullptr}, {SIGHUP, nullptr}};
  for (SignalHook& h : hooks) {
    h.session = this;
    g_unix_signal_add(h.signo, &OnSignal, &h);
  }
  Log("session started");
  GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
  g_main_loop_run(loop);
  End("main loop ended", 1);
}

int Session::OnInput(int, unsigned, void* self) {
  static_cast<Session*>(self)->ReadInput();
  return G_SOURCE_CONTINUE;
}

int Session::OnSignal(void* p) {
  auto* hook = static_cast<SignalHook*>(p);
  const std::string reason = std::string("signal ") + strsignal(hook->signo);
  hook->session->End(reason.c_str(), 0);
}

void Session::ReadInput() {
  char buf[65536];
  for (;;) {
    const ssize_t n = read(in_, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
    if (n <= 0) {
      End(reader_.HasPartial() ? "end of input inside a frame" : "end of input", 0);
    }
    reader_.Feed(buf, static_cast<size_t>(n));
    WipeBytes(buf, static_cast<size_t>(n));
    if (static_cast<size_t>(n) < sizeof buf) break;
  }
  TakeFrames();
}

void Session::QueueHeldFrames() { g_idle_add(&OnHeldFrames, this); }

int Session::OnHeldFrames(void* self) {
  auto* session = static_cast<Session*>(self);
  session->heldFramesQueued_ = false;
  session->TakeFrames();
  return G_SOURCE_REMOVE;
}

void ExitNow(int exitCode) { _exit(exitCode); }

}  // namespace quilta::nmhost
