// How long the person waits for a dialog: from the call that opens it to its window mapped on
// the X server, and to its window painted, cold (the first dialog of a process: the helper is
// started and sets up GTK) and warm (the dialogs after it, on the helper kept from the first).
// Goal: warm median <= 100 ms.
//
// Each dialog takes the renderer calls of a dialog run of the keypad input dialog (template
// 201): a renderer made (the plug-in's default one), the template opened, its entry cleared,
// the window shown; then the person's answer, Close and the renderer's end. Painted is when
// the helper answers a Sync sent as the window is shown (it answers once the window has been
// drawn and the display has caught up). The person is an X client of the benchmark's own: it
// watches the server for the window's MapNotify, notes the time and presses the window's
// close box. Each cold figure is the first dialog of a fresh copy of this program.
//
//   dialog_open_bench [--warm N] [--cold N]
//
// Needs a display with nothing else mapping windows on it: tools/run-bench runs it under
// xvfb-run.
#include <X11/Xlib.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "ui/control_ids.h"
#include "ui/dialog_template.h"
#include "ui/remote_renderer.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kTemplate = 201;

// The person at the screen: answers every dialog window mapped with its close box, and keeps
// the times the windows were mapped.
class Person {
 public:
  // Connects to the server. The connection also keeps a server started without -noreset
  // from resetting (and refusing connections meanwhile) between the copies of this program.
  bool Connect() {
    display_ = XOpenDisplay(nullptr);
    return display_ != nullptr;
  }
  // Starts answering the windows mapped from now on.
  bool Start() {
    if (!display_ || pipe(stop_) != 0) return false;
    XSelectInput(display_, DefaultRootWindow(display_), SubstructureNotifyMask);
    XSync(display_, False);
    thread_ = std::thread([this] { Watch(); });
    return true;
  }
  ~Person() {
    if (thread_.joinable()) {
      (void)!write(stop_[1], "x", 1);
      thread_.join();
    }
    if (display_) XCloseDisplay(display_);
  }
  // The time the n-th window (from 0) was mapped; waits for it up to 30 s.
  std::optional<Clock::time_point> MappedAt(size_t n) {
    std::unique_lock lock(mutex_);
    if (!cv_.wait_for(lock, std::chrono::seconds(30), [&] { return mapped_.size() > n; }))
      return std::nullopt;
    return mapped_[n];
  }

 private:
  void Watch() {
    const Atom protocols = XInternAtom(display_, "WM_PROTOCOLS", False);
    const Atom deleteWindow = XInternAtom(display_, "WM_DELETE_WINDOW", False);
    for (;;) {
      while (XPending(display_) > 0) {
        XEvent ev;
        XNextEvent(display_, &ev);
        if (ev.type != MapNotify || ev.xmap.override_redirect) continue;
        const auto at = Clock::now();
        {
          std::lock_guard lock(mutex_);
          mapped_.push_back(at);
        }
        cv_.notify_all();
        XEvent close{};
        close.xclient.type = ClientMessage;
        close.xclient.window = ev.xmap.window;
        close.xclient.message_type = protocols;
        close.xclient.format = 32;
        close.xclient.data.l[0] = static_cast<long>(deleteWindow);
        close.xclient.data.l[1] = CurrentTime;
        XSendEvent(display_, ev.xmap.window, False, NoEventMask, &close);
        XFlush(display_);
      }
      pollfd p[2] = {{ConnectionNumber(display_), POLLIN, 0}, {stop_[0], POLLIN, 0}};
      if (poll(p, 2, -1) < 0 && errno != EINTR) return;
      if (p[1].revents) return;
    }
  }

  Display* display_ = nullptr;
  int stop_[2] = {-1, -1};
  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable cv_;
  std::vector<Clock::time_point> mapped_;
};

struct Times {
  double mapped = 0, painted = 0;  // ms after the call
};

// One dialog, answered by the person; nullopt when it could not be shown.
std::optional<Times> OneDialog(Person& person, size_t n) {
  using namespace quilta::ui;
  const DialogTemplate* tmpl = FindTemplate(kTemplate);
  if (!tmpl) return std::nullopt;
  const auto t0 = Clock::now();
  auto r = std::make_unique<RemoteRenderer>();  // what MakeDefaultRenderer makes
  if (!r->Open(*tmpl, u"輸入資料")) return std::nullopt;
  r->SetText(kIdInputEntry, u"");
  if (!r->Sync()) return std::nullopt;
  const auto painted = Clock::now();
  for (;;) {
    const auto ev = r->WaitEvent(30000);
    if (!ev) return std::nullopt;
    if (ev->kind == UiEvent::Kind::CloseBox) break;
    if (ev->kind == UiEvent::Kind::Closed) return std::nullopt;
  }
  r->Close();
  r.reset();
  const auto mapped = person.MappedAt(n);
  if (!mapped) return std::nullopt;
  using Ms = std::chrono::duration<double, std::milli>;
  return Times{Ms(*mapped - t0).count(), Ms(painted - t0).count()};
}

// The first dialog of a fresh copy of this program.
std::optional<Times> ColdDialog() {
  int out[2];
  if (pipe(out) != 0) return std::nullopt;
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_adddup2(&fa, out[1], 1);
  posix_spawn_file_actions_addclose(&fa, out[0]);
  const char* argv[] = {"/proc/self/exe", "--one", nullptr};
  pid_t pid = -1;
  const int rc =
      posix_spawn(&pid, "/proc/self/exe", &fa, nullptr, const_cast<char**>(argv), environ);
  posix_spawn_file_actions_destroy(&fa);
  close(out[1]);
  std::string text;
  char buf[256];
  ssize_t n;
  while (rc == 0 && (n = read(out[0], buf, sizeof buf)) > 0)
    text.append(buf, static_cast<size_t>(n));
  close(out[0]);
  int status = 0;
  if (rc != 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
    return std::nullopt;
  Times t;
  if (std::sscanf(text.c_str(), "%lf %lf", &t.mapped, &t.painted) != 2) return std::nullopt;
  return t;
}

struct Summary {
  double median = 0, min = 0, max = 0;
};

Summary Summarise(const std::vector<Times>& runs, double Times::*which) {
  std::vector<double> v;
  for (const Times& t : runs) v.push_back(t.*which);
  std::sort(v.begin(), v.end());
  return {v[v.size() / 2], v.front(), v.back()};
}

void Print(const char* what, const std::vector<Times>& runs) {
  const Summary m = Summarise(runs, &Times::mapped), p = Summarise(runs, &Times::painted);
  std::printf("  %s, %zu runs\n", what, runs.size());
  std::printf("    mapped:  median %6.1f ms (min %.1f, max %.1f)\n", m.median, m.min, m.max);
  std::printf("    painted: median %6.1f ms (min %.1f, max %.1f)\n", p.median, p.min, p.max);
}

int Usage() {
  std::fprintf(stderr, "usage: dialog_open_bench [--warm N] [--cold N]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  int warm = 30, cold = 10;
  bool one = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--warm" && i + 1 < argc)
      warm = std::max(1, std::atoi(argv[++i]));
    else if (a == "--cold" && i + 1 < argc)
      cold = std::max(1, std::atoi(argv[++i]));
    else if (a == "--one")
      one = true;
    else
      return Usage();
  }
  if (!quilta::ui::RemoteRenderer::HasDisplay()) {
    std::fprintf(stderr, "dialog_open_bench: no display (run it under xvfb-run)\n");
    return 1;
  }
  Person person;
  if (!person.Connect()) {
    std::fprintf(stderr, "dialog_open_bench: cannot reach the X server\n");
    return 1;
  }
  std::vector<Times> colds, warms;
  for (int i = 0; !one && i < cold; ++i) {
    const auto ms = ColdDialog();
    if (!ms) {
      std::fprintf(stderr, "dialog_open_bench: a first dialog could not be shown\n");
      return 1;
    }
    colds.push_back(*ms);
  }
  // Watching only once the copies above are done: their windows are theirs to answer.
  if (!person.Start()) return 1;
  if (one) {
    const auto ms = OneDialog(person, 0);
    if (!ms) return 1;
    std::printf("%.3f %.3f\n", ms->mapped, ms->painted);
    return 0;
  }
  // This process's own first dialog starts the helper the later ones use.
  const auto first = OneDialog(person, 0);
  for (int i = 0; first && i < warm; ++i) {
    const auto ms = OneDialog(person, static_cast<size_t>(i) + 1);
    if (!ms) break;
    warms.push_back(*ms);
  }
  if (!first || warms.size() != static_cast<size_t>(warm)) {
    std::fprintf(stderr, "dialog_open_bench: a dialog could not be shown\n");
    return 1;
  }
  std::printf("dialog_open_bench: the call that opens a dialog (template %d) to its window\n",
              kTemplate);
  Print("cold, the first dialog of a process (the helper started)", colds);
  Print("warm, the dialogs after it (the helper kept)", warms);
  std::printf("goal: warm median <= 100 ms (mapped)\n");
  return 0;
}
