// quilta-dialog-show: shows one of the module's dialog templates through the dialog helper,
// for people to look at, and prints the person's input until Esc, the close box or the end of
// the helper.
//
//   quilta-dialog-show NUMBER [--caption TEXT] [--screenshot FILE]
//
// With --screenshot the dialog is found with xdotool and captured with ImageMagick's import
// once it is painted, and the program ends. Example on a private X server:
//   xvfb-run -a -s "-screen 0 1280x1024x24" quilta-dialog-show 104 --screenshot /tmp/d104.png
#include <sys/wait.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/text.h"
#include "ui/dialog_template.h"
#include "ui/remote_renderer.h"

int main(int argc, char** argv) {
  using namespace quilta;
  using namespace quilta::ui;
  if (argc < 2) {
    std::fprintf(stderr, "usage: quilta-dialog-show NUMBER [--caption TEXT] [--screenshot FILE]\n");
    return 2;
  }
  const int number = std::atoi(argv[1]);
  std::string caption = "Quilta " + std::to_string(number);
  std::string shot;
  for (int i = 2; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--caption") == 0) caption = argv[i + 1];
    if (std::strcmp(argv[i], "--screenshot") == 0) shot = argv[i + 1];
  }
  const DialogTemplate* t = FindTemplate(number);
  if (!t) {
    std::fprintf(stderr, "no template %d\n", number);
    return 1;
  }
  RemoteRenderer r;
  if (!r.Open(*t, FromUtf8(caption)) || !r.Sync()) {
    std::fprintf(stderr, "the dialog cannot be shown (no display, or no helper at %s)\n",
                 RemoteRenderer::DefaultHelperPath().c_str());
    return 1;
  }
  const auto g = r.OpenedGeometry();
  std::printf("template %d: base units %d x %d, client %d x %d pixels\n", number, g->baseX, g->baseY,
              g->clientWidth, g->clientHeight);
  if (!shot.empty()) {
    // The window is found by its caption (xdotool takes a regular expression: everything but
    // letters and digits is escaped), then captured by its id.
    std::string re = "^";
    for (unsigned char c : caption) {
      if (c < 0x80 && !std::isalnum(c)) re += '\\';
      re += static_cast<char>(c);
    }
    re += "$";
    std::string quoted = "'";
    for (char c : re) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    quoted += "'";
    const std::string cmd = "id=$(timeout 20 xdotool search --onlyvisible --name " + quoted +
                            " | head -n 1) && [ -n \"$id\" ] && timeout 20 import -window \"$id\" '" + shot + "'";
    const int st = std::system(cmd.c_str());
    return WIFEXITED(st) ? WEXITSTATUS(st) : 1;
  }
  std::fflush(stdout);
  for (;;) {
    const auto ev = r.WaitEvent(-1);
    if (!ev) continue;
    switch (ev->kind) {
      case UiEvent::Kind::Command:
        std::printf("command %d\n", ev->id);
        break;
      case UiEvent::Kind::Escape:
        std::printf("escape\n");
        return 0;
      case UiEvent::Kind::CloseBox:
        std::printf("close box\n");
        return 0;
      case UiEvent::Kind::Closed:
        std::printf("helper gone\n");
        return 0;
      case UiEvent::Kind::MessageBoxClosed:
        break;  // this program shows no message box
    }
    std::fflush(stdout);
  }
}
