// quilta-dialog-show: shows one of the module's dialog templates through the dialog helper,
// for people to look at, and prints the person's input until Esc, the close box or the end of
// the helper.
//
//   quilta-dialog-show NUMBER [--caption TEXT] [--text ID TEXT]... [--screenshot FILE]
//
// --text sets control ID to TEXT (UTF-8) as a dialog does at run time, e.g. the spaced
// instruction of reader type 3:
//   quilta-dialog-show 105 --text 210 "並  依  照  字  幕  顯  示  需  要  按  讀  卡  機  上"
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
#include <utility>
#include <vector>

#include "base/text.h"
#include "ui/dialog_template.h"
#include "ui/remote_renderer.h"

int main(int argc, char** argv) {
  using namespace quilta;
  using namespace quilta::ui;
  constexpr char kUsage[] =
      "usage: quilta-dialog-show NUMBER [--caption TEXT] [--text ID TEXT]... [--screenshot FILE]\n";
  if (argc < 2) {
    std::fprintf(stderr, "%s", kUsage);
    return 2;
  }
  const int number = std::atoi(argv[1]);
  std::string caption = "Quilta " + std::to_string(number);
  std::string shot;
  std::vector<std::pair<int32_t, std::string>> texts;
  for (int i = 2; i < argc; ++i) {
    if (std::strcmp(argv[i], "--caption") == 0 && i + 1 < argc) {
      caption = argv[++i];
    } else if (std::strcmp(argv[i], "--screenshot") == 0 && i + 1 < argc) {
      shot = argv[++i];
    } else if (std::strcmp(argv[i], "--text") == 0 && i + 2 < argc) {
      texts.emplace_back(std::atoi(argv[i + 1]), argv[i + 2]);
      i += 2;
    } else {
      std::fprintf(stderr, "%s", kUsage);
      return 2;
    }
  }
  const DialogTemplate* t = FindTemplate(number);
  if (!t) {
    std::fprintf(stderr, "no template %d\n", number);
    return 1;
  }
  RemoteRenderer r;
  const bool opened = r.Open(*t, FromUtf8(caption));
  for (const auto& [id, text] : texts) r.SetText(id, FromUtf8(text));
  if (!opened || !r.Sync()) {
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
