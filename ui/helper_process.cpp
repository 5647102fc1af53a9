#include "ui/helper_process.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <glib-unix.h>
#include <glib.h>
#include <link.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

extern char** environ;

namespace quilta::ui {
namespace {

constexpr int kChildFd = 3;               // the helper's end of the socket, in the helper
constexpr int64_t kStartLimitMs = 15000;  // a helper that has not greeted by then is stuck
constexpr int kSendLimitMs = 5000;        // nor one that reads nothing for so long
constexpr int kEndLimitMs = 2000;         // after its socket closed, it is killed

// The environment the helper inherits. A browser that loads plug-ins with RTLD_DEEPBIND
// (QtWebKit does) binds this module's `environ` to the C library's own copy, which the
// program never filled: the helper would start without DISPLAY. The global scope has the
// program's real one; failing that, the variables the helper needs are passed by name
// (getenv reads the right copy either way).
char** ProcessEnvironment(std::vector<std::string>* storage, std::vector<char*>* pointers) {
  if (void* sym = dlsym(RTLD_DEFAULT, "environ")) {
    char** env = *static_cast<char***>(sym);
    if (env != nullptr && env[0] != nullptr) return env;
  }
  if (environ != nullptr && environ[0] != nullptr) return environ;
  static const char* const kNames[] = {"DISPLAY",
                                       "XAUTHORITY",
                                       "WAYLAND_DISPLAY",
                                       "XDG_RUNTIME_DIR",
                                       "HOME",
                                       "PATH",
                                       "LANG",
                                       "LC_ALL",
                                       "LC_CTYPE",
                                       "LANGUAGE",
                                       "DBUS_SESSION_BUS_ADDRESS",
                                       "FONTCONFIG_FILE",
                                       "FONTCONFIG_PATH",
                                       "XDG_DATA_DIRS",
                                       "XDG_CONFIG_HOME",
                                       "GDK_SCALE",
                                       "GDK_DPI_SCALE"};
  for (const char* name : kNames) {
    if (const char* value = getenv(name)) storage->push_back(std::string(name) + "=" + value);
  }
  for (std::string& entry : *storage) pointers->push_back(entry.data());
  pointers->push_back(nullptr);
  return pointers->data();
}

int64_t NowMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

void Anchor() {}

// Spawns the helper with `child` as its descriptor kChildFd; -1 on failure.
pid_t Spawn(const std::string& path, int child) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, child, kChildFd);
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
  // Nothing else of the browser's leaks into the helper.
  posix_spawn_file_actions_addclosefrom_np(&actions, kChildFd + 1);
#endif
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  sigset_t none, all;
  sigemptyset(&none);
  sigfillset(&all);
  sigdelset(&all, SIGKILL);
  sigdelset(&all, SIGSTOP);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setsigdefault(&attr, &all);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

  std::string fdArg = std::to_string(kChildFd);
  char* argv[] = {const_cast<char*>(path.c_str()), const_cast<char*>("--fd"), fdArg.data(),
                  nullptr};
  std::vector<std::string> envStorage;
  std::vector<char*> envPointers;
  char** env = ProcessEnvironment(&envStorage, &envPointers);
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, path.c_str(), &actions, &attr, argv, env);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  return rc == 0 ? pid : -1;
}

// Waits up to limitMs for our child `pid` to end and reaps it; false when it is still
// running then. True as well when it is not (or no longer) ours to reap.
bool Reap(pid_t pid, int limitMs) {
  int status = 0;
  const int pidfd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
  const int64_t deadline = NowMs() + limitMs;
  for (;;) {
    const pid_t r = waitpid(pid, &status, WNOHANG);
    if (r == pid || (r < 0 && errno != EINTR)) break;  // ours and ended, or not ours
    if (r < 0) continue;
    const int64_t left = deadline - NowMs();
    if (left <= 0) {
      if (pidfd >= 0) close(pidfd);
      return false;
    }
    if (pidfd >= 0) {
      pollfd p{pidfd, POLLIN, 0};
      poll(&p, 1, static_cast<int>(left));  // readable once it has ended
    } else {
      usleep(1000);  // a kernel without pidfd: look again shortly
    }
  }
  if (pidfd >= 0) close(pidfd);
  return true;
}

}  // namespace

bool HasDisplay() {
  const char* x = std::getenv("DISPLAY");
  const char* wl = std::getenv("WAYLAND_DISPLAY");
  return (x && *x) || (wl && *wl);
}

std::string DisplayKey() {
  const char* x = std::getenv("DISPLAY");
  const char* wl = std::getenv("WAYLAND_DISPLAY");
  return std::string(x ? x : "") + '\n' + (wl ? wl : "");
}

std::string DefaultHelperPath() {
  Dl_info info{};
  link_map* map = nullptr;
  if (dladdr1(reinterpret_cast<void*>(&Anchor), &info, reinterpret_cast<void**>(&map),
              RTLD_DL_LINKMAP) != 0 &&
      info.dli_fname && *info.dli_fname) {
    std::string module = info.dli_fname;
    // Linked into a program (the native-messaging host) rather than a module: dladdr names
    // it by argv[0], which may be relative or a bare name; the kernel knows its real path.
    if (map != nullptr && map->l_name != nullptr && map->l_name[0] == '\0') {
      char exe[4096];
      const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe);
      if (n > 0 && static_cast<size_t>(n) < sizeof exe) module.assign(exe, static_cast<size_t>(n));
    }
    const size_t slash = module.rfind('/');
    if (slash != std::string::npos) return module.substr(0, slash + 1) + "quilta-dialogs";
  }
  return {};
}

std::unique_ptr<HelperProcess> HelperProcess::Start(const std::string& path) {
  if (!HasDisplay()) return nullptr;
  if (path.empty() || access(path.c_str(), X_OK) != 0) return nullptr;

  int sv[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv) != 0) return nullptr;
  int child = sv[1];
  if (child == kChildFd) {  // dup2 onto itself would keep close-on-exec
    child = fcntl(sv[1], F_DUPFD_CLOEXEC, kChildFd + 1);
    close(sv[1]);
    if (child < 0) {
      close(sv[0]);
      return nullptr;
    }
  }
  const pid_t pid = Spawn(path, child);
  close(child);
  if (pid < 0) {
    close(sv[0]);
    return nullptr;
  }
  std::unique_ptr<HelperProcess> h(new HelperProcess());
  h->path_ = path;
  h->display_ = DisplayKey();
  h->pid_ = pid;
  h->startedBy_ = getpid();
  h->fd_ = sv[0];
  fcntl(h->fd_, F_SETFL, fcntl(h->fd_, F_GETFL) | O_NONBLOCK);

  // The helper greets once it has the display; one that cannot open it exits instead.
  if (!h->PumpUntil([&h] { return h->greeted_; }, kStartLimitMs)) return nullptr;  // stopped
  h->Send(wire::Writer(wire::Msg::Hello).U16(wire::kVersion).Frame());
  if (h->gone_) return nullptr;
  h->fresh_ = true;  // our greeting does not count
  return h;
}

HelperProcess::~HelperProcess() { Stop(); }

bool HelperProcess::OfThisProcess() const { return startedBy_ == getpid(); }

void HelperProcess::Stop() {
  if (fd_ >= 0) {
    close(fd_);  // the helper ends when its socket closes
    fd_ = -1;
  }
  gone_ = true;
  if (pid_ > 0 && OfThisProcess() && !Reap(pid_, kEndLimitMs)) {
    kill(pid_, SIGKILL);
    while (waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
    }
  }
  pid_ = -1;
}

void HelperProcess::Send(const std::vector<uint8_t>& frame) {
  if (fd_ < 0 || gone_) return;
  fresh_ = false;
  size_t done = 0;
  while (done < frame.size()) {
    const ssize_t n = send(fd_, frame.data() + done, frame.size() - done, MSG_NOSIGNAL);
    if (n > 0) {
      done += static_cast<size_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      pollfd p{fd_, POLLOUT, 0};
      if (poll(&p, 1, kSendLimitMs) <= 0) {
        MarkGone();
        return;
      }
    } else {
      MarkGone();
      return;
    }
  }
}

bool HelperProcess::Alive() {
  ReadAvailable();
  return !gone_;
}

void HelperProcess::ReadAvailable() {
  if (fd_ < 0 || gone_) return;
  for (;;) {
    uint8_t buf[8192];
    const ssize_t n = recv(fd_, buf, sizeof buf, MSG_DONTWAIT);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
    if (n <= 0) {
      MarkGone();
      break;
    }
    in_.Feed(buf, static_cast<size_t>(n));
    wire::Msg type;
    std::span<const uint8_t> body;
    for (;;) {
      const auto r = in_.Next(type, body);
      if (r == wire::FrameSplitter::Result::NeedMore) break;
      if (r == wire::FrameSplitter::Result::Broken) {
        MarkGone();
        return;
      }
      Dispatch(type, body);
      if (gone_) return;
    }
  }
}

void HelperProcess::Dispatch(wire::Msg type, std::span<const uint8_t> body) {
  if (type == wire::Msg::Hello) {
    wire::Reader r(body);
    const uint16_t version = r.U16();
    if (!r.Done() || version != wire::kVersion) {
      MarkGone();  // a helper of another version: nothing it says can be trusted
      return;
    }
    greeted_ = true;
    return;
  }
  if (type == wire::Msg::MessageBoxDone) {
    if (!body.empty() || boxesDone_ == boxesSent_) return;
    ++boxesDone_;
    if (staleBoxes_ > 0) {
      --staleBoxes_;  // a box that went away with an earlier dialog
      return;
    }
  }
  if (handler_) handler_(type, body);
}

bool HelperProcess::PumpUntil(const std::function<bool()>& done, int64_t timeoutMs) {
  if (done()) return true;
  if (fd_ < 0 || gone_) return false;
  const int64_t deadline = timeoutMs < 0 ? -1 : NowMs() + timeoutMs;

  GMainContext* ctx = g_main_context_default();
  if (g_main_context_acquire(ctx)) {
    // The browser's loop keeps running: its events are dispatched while we wait.
    struct Hook {
      static gboolean OnFd(gint, GIOCondition, gpointer p) {
        auto* h = static_cast<HelperProcess*>(p);
        h->ReadAvailable();
        return h->gone_ ? G_SOURCE_REMOVE : G_SOURCE_CONTINUE;
      }
      static gboolean OnTimeout(gpointer p) {
        *static_cast<bool*>(p) = true;
        return G_SOURCE_REMOVE;
      }
    };
    bool timedOut = false;
    GSource* fdSource =
        g_unix_fd_source_new(fd_, static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR));
    g_source_set_callback(fdSource,
                          reinterpret_cast<GSourceFunc>(reinterpret_cast<void (*)()>(&Hook::OnFd)),
                          this, nullptr);
    g_source_attach(fdSource, ctx);
    GSource* timer = nullptr;
    if (deadline >= 0) {
      timer = g_timeout_source_new(static_cast<guint>(timeoutMs));
      g_source_set_callback(timer, &Hook::OnTimeout, &timedOut, nullptr);
      g_source_attach(timer, ctx);
    }
    while (!done() && !gone_ && !timedOut) g_main_context_iteration(ctx, TRUE);
    g_source_destroy(fdSource);
    g_source_unref(fdSource);
    if (timer) {
      g_source_destroy(timer);
      g_source_unref(timer);
    }
    g_main_context_release(ctx);
    return done();
  }

  // Another thread owns the default loop: wait on the socket alone.
  while (!done() && !gone_) {
    int wait = -1;
    if (deadline >= 0) {
      const int64_t left = deadline - NowMs();
      if (left <= 0) break;
      wait = static_cast<int>(left > 1000000 ? 1000000 : left);
    }
    pollfd p{fd_, POLLIN, 0};
    const int n = poll(&p, 1, wait);
    if (n < 0 && errno != EINTR) {
      MarkGone();
      break;
    }
    if (n > 0) ReadAvailable();
  }
  return done();
}

}  // namespace quilta::ui
