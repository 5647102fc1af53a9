// quilta-nmhost: the native-messaging host the browser extension talks to (nmhost/session.h).
// The browser starts one per native port the extension opens, one per bank origin and
// profile; it holds the core and card session all the origin's pages share.
#include <sys/prctl.h>
#include <sys/resource.h>

#include "core/atm_core.h"
#include "nmhost/session.h"
#include "ui/dialogs.h"

int main(int argc, char** argv) {
  using namespace quilta;
  // The host holds PINs and session keys for a moment: it writes no core file, and other
  // programs of the same user may not attach to it or read its memory.
  prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
  const rlimit noCore{0, 0};
  setrlimit(RLIMIT_CORE, &noCore);
  nmhost::LogCaller(argc, argv);

  CAtmCore& core = CAtmCore::Instance();
  core.InstallDialogs();
  nmhost::Session session(core);
  session.Run();
}
