#include "ui/remote_renderer.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <glib-unix.h>
#include <glib.h>
#include <link.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/text.h"

extern char** environ;

namespace quilta::ui {
namespace {

constexpr int kChildFd = 3;              // the helper's end of the socket, in the helper
constexpr int64_t kStartLimitMs = 15000;  // a helper that has not greeted by then is stuck
constexpr int64_t kOpenLimitMs = 15000;   // nor one that has not shown the dialog

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
  static const char* const kNames[] = {
      "DISPLAY", "XAUTHORITY", "WAYLAND_DISPLAY", "XDG_RUNTIME_DIR", "HOME", "PATH", "LANG",
      "LC_ALL", "LC_CTYPE", "LANGUAGE", "DBUS_SESSION_BUS_ADDRESS", "FONTCONFIG_FILE",
      "FONTCONFIG_PATH", "XDG_DATA_DIRS", "XDG_CONFIG_HOME", "GDK_SCALE", "GDK_DPI_SCALE"};
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

// The helper's event kinds are the renderer's: the same values, Lost standing for Closed.
constexpr bool SameKind(wire::EventKind w, UiEvent::Kind k) {
  return static_cast<uint8_t>(w) == static_cast<uint8_t>(k);
}
static_assert(SameKind(wire::EventKind::Command, UiEvent::Kind::Command) &&
              SameKind(wire::EventKind::Escape, UiEvent::Kind::Escape) &&
              SameKind(wire::EventKind::CloseBox, UiEvent::Kind::CloseBox) &&
              SameKind(wire::EventKind::Lost, UiEvent::Kind::Closed));
constexpr uint8_t kMaxEventKind = static_cast<uint8_t>(wire::EventKind::Lost);

std::atomic<uint64_t> g_ownerWindow{0};

}  // namespace

std::unique_ptr<Renderer> MakeDefaultRenderer() {
  if (!RemoteRenderer::HasDisplay()) return nullptr;
  return std::make_unique<RemoteRenderer>();
}

RemoteRenderer::RemoteRenderer() : ownerWindow_(g_ownerWindow.load()) {}

RemoteRenderer::RemoteRenderer(std::string helperPath)
    : helperPath_(std::move(helperPath)), pathGiven_(true), ownerWindow_(g_ownerWindow.load()) {}

void RemoteRenderer::SetProcessOwnerWindow(uint64_t window) { g_ownerWindow = window; }

RemoteRenderer::~RemoteRenderer() { StopHelper(); }

std::string RemoteRenderer::DefaultHelperPath() {
  Dl_info info{};
  link_map* map = nullptr;
  if (dladdr1(reinterpret_cast<void*>(&Anchor), &info, reinterpret_cast<void**>(&map),
              RTLD_DL_LINKMAP) != 0 && info.dli_fname && *info.dli_fname) {
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

bool RemoteRenderer::HasDisplay() {
  const char* x = std::getenv("DISPLAY");
  const char* wl = std::getenv("WAYLAND_DISPLAY");
  return (x && *x) || (wl && *wl);
}

bool RemoteRenderer::EnsureHelper() {
  if (fd_ >= 0 && !dead_) return true;
  StopHelper();
  if (!HasDisplay()) return false;
  const std::string path = pathGiven_ ? helperPath_ : DefaultHelperPath();
  if (path.empty() || access(path.c_str(), X_OK) != 0) return false;

  int sv[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv) != 0) return false;
  int child = sv[1];
  if (child == kChildFd) {  // dup2 onto itself would keep close-on-exec
    child = fcntl(sv[1], F_DUPFD_CLOEXEC, kChildFd + 1);
    close(sv[1]);
    if (child < 0) {
      close(sv[0]);
      return false;
    }
  }

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
  char* argv[] = {const_cast<char*>(path.c_str()), const_cast<char*>("--fd"), fdArg.data(), nullptr};
  pid_t pid = -1;
  std::vector<std::string> envStorage;
  std::vector<char*> envPointers;
  char** env = ProcessEnvironment(&envStorage, &envPointers);
  const int rc = posix_spawn(&pid, path.c_str(), &actions, &attr, argv, env);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  close(child);
  if (rc != 0) {
    close(sv[0]);
    return false;
  }
  pid_ = pid;
  fd_ = sv[0];
  fcntl(fd_, F_SETFL, fcntl(fd_, F_GETFL) | O_NONBLOCK);
  dead_ = false;
  greeted_ = false;
  opensSent_ = 0;
  boxesSent_ = boxesDone_ = staleBoxes_ = 0;
  in_ = wire::FrameSplitter();

  // The helper greets once it has the display; one that cannot open it exits instead.
  if (!PumpUntil([this] { return greeted_; }, kStartLimitMs)) {
    StopHelper();
    return false;
  }
  SendFrame(wire::Writer(wire::Msg::Hello).U16(wire::kVersion).Frame());
  return !dead_;
}

void RemoteRenderer::StopHelper() {
  if (fd_ >= 0) {
    close(fd_);  // the helper ends when its socket closes
    fd_ = -1;
  }
  if (pid_ > 0) {
    int status = 0;
    bool reaped = false;
    for (int i = 0; i < 2000 && !reaped; ++i) {
      const pid_t r = waitpid(pid_, &status, WNOHANG);
      if (r == pid_ || (r < 0 && errno != EINTR)) {
        reaped = true;  // ours, or already reaped by someone else
      } else {
        usleep(1000);
      }
    }
    if (!reaped) {
      kill(pid_, SIGKILL);
      while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
      }
    }
    pid_ = -1;
  }
  greeted_ = false;
  dialogOpen_ = false;
}

void RemoteRenderer::MarkDead() {
  if (dead_) return;
  dead_ = true;
  dialogOpen_ = false;
}

void RemoteRenderer::SendFrame(const std::vector<uint8_t>& frame) {
  if (fd_ < 0 || dead_) return;
  size_t done = 0;
  while (done < frame.size()) {
    const ssize_t n = send(fd_, frame.data() + done, frame.size() - done, MSG_NOSIGNAL);
    if (n > 0) {
      done += static_cast<size_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      pollfd p{fd_, POLLOUT, 0};
      if (poll(&p, 1, 5000) <= 0) {  // a helper that reads nothing for so long is stuck
        MarkDead();
        return;
      }
    } else {
      MarkDead();
      return;
    }
  }
}

void RemoteRenderer::ReadAvailable() {
  if (fd_ < 0 || dead_) return;
  for (;;) {
    uint8_t buf[8192];
    const ssize_t n = recv(fd_, buf, sizeof buf, MSG_DONTWAIT);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
    if (n <= 0) {
      MarkDead();
      break;
    }
    in_.Feed(buf, static_cast<size_t>(n));
    wire::Msg type;
    std::span<const uint8_t> body;
    for (;;) {
      const auto r = in_.Next(type, body);
      if (r == wire::FrameSplitter::Result::NeedMore) break;
      if (r == wire::FrameSplitter::Result::Broken) {
        MarkDead();
        return;
      }
      HandleFrame(static_cast<uint8_t>(type), body);
    }
  }
}

void RemoteRenderer::HandleFrame(uint8_t type, std::span<const uint8_t> body) {
  wire::Reader r(body);
  switch (static_cast<wire::Msg>(type)) {
    case wire::Msg::Hello: {
      const uint16_t version = r.U16();
      if (!r.Done() || version != wire::kVersion) {
        MarkDead();  // a helper of another version: nothing it says can be trusted
        return;
      }
      greeted_ = true;
      return;
    }
    case wire::Msg::Opened: {
      const auto m = wire::DecodeOpened(body);
      openAnswered_ = true;
      openOk_ = m && m->ok;
      if (openOk_) geometry_ = Geometry{m->baseX, m->baseY, m->clientWidth, m->clientHeight};
      return;
    }
    case wire::Msg::Event: {
      const uint8_t kind = r.U8();
      const int32_t id = r.I32();
      const uint32_t dialog = r.U32();
      if (!r.Done() || !dialogOpen_ || dialog != opensSent_) return;  // input for an earlier dialog
      if (kind > kMaxEventKind) return;  // a kind of a newer helper
      UiEvent ev;
      ev.kind = static_cast<UiEvent::Kind>(kind);
      if (ev.kind == UiEvent::Kind::Command) ev.id = id;
      events_.push_back(ev);
      return;
    }
    case wire::Msg::MessageBoxDone:
      if (!r.Done() || boxesDone_ == boxesSent_) return;
      ++boxesDone_;
      if (staleBoxes_ > 0) {
        --staleBoxes_;  // a box that went away with an earlier dialog
        return;
      }
      events_.push_back(UiEvent{UiEvent::Kind::MessageBoxClosed, 0});
      return;
    case wire::Msg::Pong: {
      const uint32_t token = r.U32();
      if (r.Done()) pongToken_ = token;
      return;
    }
    default:
      return;  // unknown messages from a newer helper are ignored
  }
}

bool RemoteRenderer::PumpUntil(const std::function<bool()>& done, int64_t timeoutMs) {
  if (done()) return true;
  if (fd_ < 0 || dead_) return false;
  const int64_t deadline = timeoutMs < 0 ? -1 : NowMs() + timeoutMs;

  GMainContext* ctx = g_main_context_default();
  if (g_main_context_acquire(ctx)) {
    // The browser's loop keeps running: its events are dispatched while we wait.
    struct Hook {
      static gboolean OnFd(gint, GIOCondition, gpointer p) {
        auto* rr = static_cast<RemoteRenderer*>(p);
        rr->ReadAvailable();
        return rr->dead_ ? G_SOURCE_REMOVE : G_SOURCE_CONTINUE;
      }
      static gboolean OnTimeout(gpointer p) {
        *static_cast<bool*>(p) = true;
        return G_SOURCE_REMOVE;
      }
    };
    bool timedOut = false;
    GSource* fdSource = g_unix_fd_source_new(fd_, static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR));
    g_source_set_callback(fdSource, reinterpret_cast<GSourceFunc>(reinterpret_cast<void (*)()>(&Hook::OnFd)), this,
                          nullptr);
    g_source_attach(fdSource, ctx);
    GSource* timer = nullptr;
    if (deadline >= 0) {
      timer = g_timeout_source_new(static_cast<guint>(timeoutMs));
      g_source_set_callback(timer, &Hook::OnTimeout, &timedOut, nullptr);
      g_source_attach(timer, ctx);
    }
    while (!done() && !dead_ && !timedOut) g_main_context_iteration(ctx, TRUE);
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
  while (!done() && !dead_) {
    int wait = -1;
    if (deadline >= 0) {
      const int64_t left = deadline - NowMs();
      if (left <= 0) break;
      wait = static_cast<int>(left > 1000000 ? 1000000 : left);
    }
    pollfd p{fd_, POLLIN, 0};
    const int n = poll(&p, 1, wait);
    if (n < 0 && errno != EINTR) {
      MarkDead();
      break;
    }
    if (n > 0) ReadAvailable();
  }
  return done();
}

bool RemoteRenderer::Open(const DialogTemplate& tmpl, const std::u16string& caption) {
  if (!EnsureHelper()) return false;
  wire::OpenMsg m;
  m.number = tmpl.number;
  m.width = tmpl.width;
  m.height = tmpl.height;
  m.caption = ToUtf8(caption);
  m.fontFace = ToUtf8(tmpl.fontFace);
  m.fontPoints = tmpl.fontPoints;
  m.closeBox = tmpl.closeBox;
  m.centreOverOwner = tmpl.centreOverOwner;
  m.ownerWindow = ownerWindow_;
  for (const Control& c : tmpl.controls) {
    wire::ControlMsg w;
    w.id = c.id;
    w.kind = wire::WireValue(c.kind);
    w.x = c.x;
    w.y = c.y;
    w.w = c.w;
    w.h = c.h;
    w.text = ToUtf8(c.text);
    w.colour = wire::WireValue(c.colour);
    w.disabled = c.disabled;
    w.bitmap = c.bitmap;
    w.hoverBitmap = c.hoverBitmap;
    m.controls.push_back(std::move(w));
  }
  events_.clear();
  geometry_.reset();
  openAnswered_ = false;
  openOk_ = false;
  dialogOpen_ = true;
  ++opensSent_;
  SendFrame(wire::EncodeOpen(m));
  if (!PumpUntil([this] { return openAnswered_; }, kOpenLimitMs) || !openOk_) {
    if (!dead_ && !openAnswered_) StopHelper();  // stuck: start afresh next time
    dialogOpen_ = false;
    return false;
  }
  needShow_ = true;
  return true;
}

void RemoteRenderer::ShowIfNeeded() {
  if (!needShow_ || !dialogOpen_) return;
  needShow_ = false;
  SendFrame(wire::Writer(wire::Msg::Show).Frame());
}

void RemoteRenderer::SetText(int32_t id, const std::u16string& text) {
  if (!dialogOpen_) return;
  SendFrame(wire::Writer(wire::Msg::SetText).I32(id).Str(ToUtf8(text)).Frame());
}

void RemoteRenderer::Enable(int32_t id, bool enabled) {
  if (!dialogOpen_) return;
  SendFrame(wire::Writer(wire::Msg::Enable).I32(id).U8(enabled ? 1 : 0).Frame());
}

void RemoteRenderer::Focus(int32_t id) {
  if (!dialogOpen_) return;
  SendFrame(wire::Writer(wire::Msg::Focus).I32(id).Frame());
}

bool RemoteRenderer::OpenMessageBox(const std::u16string& text, const std::u16string& caption) {
  if (!EnsureHelper()) return false;
  ShowIfNeeded();
  ++boxesSent_;
  SendFrame(wire::Writer(wire::Msg::MessageBox).Str(ToUtf8(text)).Str(ToUtf8(caption)).Frame());
  return !dead_;
}

void RemoteRenderer::Close() {
  if (!dialogOpen_) return;
  dialogOpen_ = false;
  needShow_ = false;
  events_.clear();
  staleBoxes_ = boxesSent_ - boxesDone_;  // they go away with the window
  SendFrame(wire::Writer(wire::Msg::Close).Frame());
}

std::optional<UiEvent> RemoteRenderer::WaitEvent(int64_t timeoutMs) {
  ShowIfNeeded();
  if (events_.empty() && fd_ >= 0 && !dead_) PumpUntil([this] { return !events_.empty(); }, timeoutMs);
  if (!events_.empty()) {
    const UiEvent ev = events_.front();
    events_.pop_front();
    return ev;
  }
  if (fd_ < 0 || dead_) return UiEvent{UiEvent::Kind::Closed, 0};
  return std::nullopt;
}

bool RemoteRenderer::Sync() {
  if (fd_ < 0 || dead_) return false;
  ShowIfNeeded();
  const uint32_t token = ++pingToken_;
  SendFrame(wire::Writer(wire::Msg::Ping).U32(token).Frame());
  return PumpUntil([this, token] { return pongToken_ == token; }, kOpenLimitMs);
}

}  // namespace quilta::ui
