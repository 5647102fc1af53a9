// quilta-nmhost: the native-messaging host the browser extension talks to (nmhost/session.h).
// The browser starts one per page connection; it holds that page's core and card session.
#include <string>

#include "core/atm_core.h"
#include "nmhost/session.h"
#include "ui/dialogs.h"

int main(int argc, char** argv) {
  using namespace quilta;
  // Chromium passes the calling extension's origin, Firefox the manifest path and the
  // extension's id: only for the log.
  std::string caller;
  for (int i = 1; i < argc; ++i) caller += std::string(i > 1 ? " " : "") + argv[i];
  nmhost::Log("started by " + (caller.empty() ? std::string("(no arguments)") : caller));

  CAtmCore& core = CAtmCore::Instance();
  ui::InstallDialogs(core);
  nmhost::Session session(core);
  session.Run();
}
