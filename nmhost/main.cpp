// quilta-nmhost: the native-messaging host the browser extension talks to (nmhost/session.h).
// The browser starts one per page connection; it holds that page's core and card session.
#include "core/atm_core.h"
#include "nmhost/session.h"
#include "ui/dialogs.h"

int main(int argc, char** argv) {
  using namespace quilta;
  nmhost::LogCaller(argc, argv);

  CAtmCore& core = CAtmCore::Instance();
  ui::InstallDialogs(core);
  nmhost::Session session(core);
  session.Run();
}
