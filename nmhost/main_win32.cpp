// quilta-nmhost.exe: the native-messaging host on Windows (nmhost/session_win32.h), its
// registration for the browsers (nmhost/registration_win32.h) and the help-desk check of the
// road from the browser to the card (nmhost/check_win32.h).
//   quilta-nmhost.exe --register [--machine] | --unregister [--machine]
//   quilta-nmhost.exe --check [--json]
// Any other arguments are the browser's: the host then serves one page connection.
#include <cstdio>
#include <string>

#include "core/script.h"
#include "nmhost/check_win32.h"
#include "nmhost/registration_win32.h"
#include "nmhost/session_win32.h"

int main(int argc, char** argv) {
  using namespace quilta;
  const std::string first = argc > 1 ? argv[1] : "";
  if (first == "--register" || first == "--unregister") {
    bool machine = false;
    for (int i = 2; i < argc; ++i) {
      if (std::string(argv[i]) != "--machine") {
        std::fprintf(stderr, "usage: quilta-nmhost.exe --register [--machine]\n"
                             "       quilta-nmhost.exe --unregister [--machine]\n");
        return 2;
      }
      machine = true;
    }
    return nmhost::RunRegistration(first == "--register", machine);
  }
  if (first == "--check") {
    const std::string second = argc > 2 ? argv[2] : "";
    if (argc > 3 || (argc == 3 && second != "--json")) {
      std::fprintf(stderr, "usage: quilta-nmhost.exe --check [--json]\n");
      return 2;
    }
    return nmhost::RunCheck(argc == 3);
  }

  nmhost::LogCaller(argc, argv);

  StartScriptLayer();
  nmhost::Session session;
  session.Run();
}
