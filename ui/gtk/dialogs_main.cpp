// quilta-dialogs: draws the plug-in's dialogs with GTK3 in a process of its own (the browser
// may hold another GTK major version, and the two cannot share one process) and reports the
// person's input. The plug-in starts it with the connected end of a stream socket:
//
//   quilta-dialogs --fd N
//
// and talks to it in the frames of ui/dialog_wire.h. The helper keeps no copy of any
// template: every dialog arrives whole in an Open message. It serves the plug-in's dialogs
// one after another and ends when the socket closes or the process that started it ends.
// The helper itself: ui/gtk/helper.h.
#include <gtk/gtk.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ui/gtk/helper.h"
#include "ui/dialog_wire.h"

int main(int argc, char** argv) {
  int fd = -1;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--fd") == 0 && i + 1 < argc) {
      char* end = nullptr;
      const long v = std::strtol(argv[++i], &end, 10);
      if (end && *end == '\0' && v >= 0 && v < 65536) fd = static_cast<int>(v);
    } else if (std::strcmp(argv[i], "--version") == 0) {
      std::printf("quilta-dialogs protocol %u\n", quilta::ui::wire::kVersion);
      return 0;
    }
  }
  if (fd < 0) {
    std::fprintf(stderr, "usage: quilta-dialogs --fd N (started by the plug-in)\n");
    return 2;
  }
  signal(SIGPIPE, SIG_IGN);
  int gargc = 1;
  char** gargv = argv;
  if (!gtk_init_check(&gargc, &gargv)) {
    std::fprintf(stderr, "quilta-dialogs: cannot open the display\n");
    close(fd);
    return 3;
  }
  auto* helper = new quilta::ui::gtk::Helper(fd);
  helper->Start();
  gtk_main();
  close(fd);
  return 0;
}
