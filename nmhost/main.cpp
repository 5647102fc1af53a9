// quilta-nmhost: the native-messaging host the browser extension talks to (nmhost/session.h).
// The browser starts one per native port the extension opens, one per bank origin and
// profile; it holds the core and card session all the origin's pages share.
#include <sys/prctl.h>
#include <sys/resource.h>

#include "core/script.h"
#include "nmhost/session.h"

int main(int argc, char** argv) {
  using namespace quilta;
  // The host holds PINs and session keys for a moment: it writes no core file, and other
  // programs of the same user may not attach to it or read its memory.
  prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
  const rlimit noCore{0, 0};
  setrlimit(RLIMIT_CORE, &noCore);
  nmhost::LogCaller(argc, argv);

  StartScriptLayer();
  nmhost::Session session;
  session.Run();
}
