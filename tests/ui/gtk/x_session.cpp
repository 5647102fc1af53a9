#include "x_session.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <cairo.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace quilta::testing {
namespace {

struct Xvfb {
  pid_t pid = -1;
  std::string display;

  Xvfb() {
    int fds[2];
    if (pipe(fds) != 0) throw std::runtime_error("pipe");
    std::string fdArg = std::to_string(fds[1]);
    const char* argv[] = {"Xvfb", "-displayfd", fdArg.c_str(), "-screen", "0", "1280x1024x24",
                          "-nolisten", "tcp", "-noreset", nullptr};
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addclose(&fa, fds[0]);
    posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
    const int rc = posix_spawnp(&pid, "Xvfb", &fa, nullptr, const_cast<char**>(argv), environ);
    posix_spawn_file_actions_destroy(&fa);
    close(fds[1]);
    if (rc != 0) {
      close(fds[0]);
      throw std::runtime_error("cannot start Xvfb");
    }
    // The server writes its display number once it accepts connections.
    std::string number;
    char c;
    while (read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    close(fds[0]);
    if (number.empty()) throw std::runtime_error("Xvfb did not report a display");
    display = ":" + number;
    setenv("DISPLAY", display.c_str(), 1);
    unsetenv("WAYLAND_DISPLAY");
  }
  ~Xvfb() {
    if (pid > 0) {
      kill(pid, SIGTERM);
      int st;
      waitpid(pid, &st, 0);
    }
  }
};

}  // namespace

const std::string& PrivateDisplay() {
  static Xvfb server;
  return server.display;
}

std::string ShellQuote(const std::string& s) {
  std::string q = "'";
  for (char c : s) {
    if (c == '\'')
      q += "'\\''";
    else
      q += c;
  }
  return q + "'";
}

std::string Run(const std::string& command, int* exitCode) {
  std::string out;
  // No X tool may hang a test for good (xdotool --sync waits for what may never come).
  FILE* p = popen(("timeout 60 " + command).c_str(), "r");
  if (!p) {
    if (exitCode) *exitCode = -1;
    return out;
  }
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  const int st = pclose(p);
  if (exitCode) *exitCode = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return out;
}

std::vector<uint64_t> FindWindows(const std::string& caption) {
  // xdotool matches a regular expression: escape everything but plain letters and digits.
  std::string re = "^";
  for (unsigned char c : caption) {
    if (c < 0x80 && !std::isalnum(c)) re += '\\';
    re += static_cast<char>(c);
  }
  re += "$";
  std::istringstream in(Run("xdotool search --onlyvisible --name " + ShellQuote(re) + " 2>/dev/null"));
  std::vector<uint64_t> ids;
  uint64_t id;
  while (in >> id) ids.push_back(id);
  return ids;
}

WindowGeometry GetGeometry(uint64_t window) {
  WindowGeometry g;
  std::istringstream in(Run("xwininfo -id " + std::to_string(window) + " 2>/dev/null"));
  std::string line;
  while (std::getline(in, line)) {
    auto take = [&](const char* key, int& v) {
      const auto pos = line.find(key);
      if (pos != std::string::npos) v = std::atoi(line.c_str() + pos + std::string(key).size());
    };
    take("Absolute upper-left X:", g.x);
    take("Absolute upper-left Y:", g.y);
    take("Width:", g.width);
    take("Height:", g.height);
  }
  return g;
}

std::string ShotDir() {
  const char* env = std::getenv("QUILTA_SHOT_DIR");
  std::string dir = env && *env ? env : "/tmp/quilta-dialog-shots";
  mkdir(dir.c_str(), 0755);
  return dir;
}

Image Screenshot(uint64_t window, const std::string& savePng) {
  Image img;
  const std::string ppm = Run("import -window " + std::to_string(window) + " -depth 8 ppm:- 2>/dev/null");
  // P6 <w> <h> <max>\n<data>
  std::istringstream in(ppm);
  std::string magic;
  int w = 0, h = 0, max = 0;
  in >> magic >> w >> h >> max;
  if (magic != "P6" || w <= 0 || h <= 0 || max != 255) return img;
  const size_t start = static_cast<size_t>(in.tellg()) + 1;
  if (ppm.size() < start + static_cast<size_t>(w) * h * 3) return img;
  img.width = w;
  img.height = h;
  img.pixels.resize(static_cast<size_t>(w) * h);
  for (size_t i = 0; i < img.pixels.size(); ++i) {
    img.pixels[i] = Rgb{static_cast<uint8_t>(ppm[start + 3 * i]), static_cast<uint8_t>(ppm[start + 3 * i + 1]),
                        static_cast<uint8_t>(ppm[start + 3 * i + 2])};
  }
  if (!savePng.empty()) {
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, h);
    cairo_surface_flush(s);
    unsigned char* data = cairo_image_surface_get_data(s);
    const int stride = cairo_image_surface_get_stride(s);
    for (int y = 0; y < h; ++y) {
      auto* row = reinterpret_cast<uint32_t*>(data + y * stride);
      for (int x = 0; x < w; ++x) {
        const Rgb& p = img.At(x, y);
        row[x] = 0xFF000000u | static_cast<uint32_t>(p.r) << 16 | static_cast<uint32_t>(p.g) << 8 | p.b;
      }
    }
    cairo_surface_mark_dirty(s);
    cairo_surface_write_to_png(s, savePng.c_str());
    cairo_surface_destroy(s);
  }
  return img;
}

void MovePointer(uint64_t window, int x, int y) {
  Run("xdotool mousemove --window " + std::to_string(window) + " " + std::to_string(x) + " " + std::to_string(y));
}

void Click(uint64_t window, int x, int y) {
  Run("xdotool mousemove --window " + std::to_string(window) + " " + std::to_string(x) + " " + std::to_string(y) +
      " click 1");
}

void FocusAndKey(uint64_t window, const std::string& key) {
  Run("xdotool windowfocus --sync " + std::to_string(window) + " key " + ShellQuote(key));
}

namespace {
Display* PlainDisplay() {
  static Display* d = XOpenDisplay(nullptr);
  return d;
}
}  // namespace

uint64_t CreatePlainWindow(int x, int y, int width, int height) {
  Display* d = PlainDisplay();
  if (!d) return 0;
  XSetWindowAttributes attrs{};
  attrs.override_redirect = False;
  const Window w = XCreateWindow(d, DefaultRootWindow(d), x, y, static_cast<unsigned>(width),
                                 static_cast<unsigned>(height), 0, CopyFromParent, InputOutput, CopyFromParent, 0, &attrs);
  XMapWindow(d, w);
  XSync(d, False);
  return w;
}

void DestroyPlainWindow(uint64_t window) {
  if (Display* d = PlainDisplay()) {
    XDestroyWindow(d, static_cast<Window>(window));
    XSync(d, False);
  }
}

void PressCloseBox(uint64_t window) {
  Display* d = XOpenDisplay(nullptr);
  if (!d) return;
  XEvent ev{};
  ev.xclient.type = ClientMessage;
  ev.xclient.window = static_cast<Window>(window);
  ev.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
  ev.xclient.format = 32;
  ev.xclient.data.l[0] = static_cast<long>(XInternAtom(d, "WM_DELETE_WINDOW", False));
  ev.xclient.data.l[1] = CurrentTime;
  XSendEvent(d, static_cast<Window>(window), False, NoEventMask, &ev);
  XSync(d, False);
  XCloseDisplay(d);
}

}  // namespace quilta::testing
