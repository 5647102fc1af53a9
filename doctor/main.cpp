// quilta-doctor: tells a customer (and the help desk listening) what stands between the
// browser and the chip card, one finding per line with what to do. It changes nothing: it
// writes no file, and the card hears only the selection of its financial application.
//
//   quilta-doctor [--json] [--root DIR] [--home DIR]
//
//   --json      the findings as JSON, for scripts
//   --root DIR  read every file below DIR instead of / (the smart-card service and the
//               display are still this process's own, the font fontconfig's)
//   --home DIR  the user's folders (default $HOME, below DIR with --root)
//
// Exit status: 0 when no finding is a failure, 1 when one is, 2 on a usage error.
#include <pwd.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "doctor/checks.h"
#include "platform/pcsc.h"

namespace {

constexpr char kUsage[] = "usage: quilta-doctor [--json] [--root DIR] [--home DIR]\n";

std::string DefaultHome() {
  if (const char* home = std::getenv("HOME"); home && *home) return home;
  if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) return pw->pw_dir;
  return "/";
}

std::string WithoutTrailingSlash(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

}  // namespace

int main(int argc, char** argv) {
  bool json = false;
  std::string root, home;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--json") {
      json = true;
    } else if ((arg == "--root" || arg == "--home") && i + 1 < argc && argv[i + 1][0] != '\0') {
      (arg == "--root" ? root : home) = argv[++i];
    } else if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else {
      std::fputs(kUsage, stderr);
      return 2;
    }
  }

  quilta::doctor::Places places;
  places.root = root.empty() ? "" : WithoutTrailingSlash(root);
  if (places.root == "/") places.root.clear();
  places.home = WithoutTrailingSlash(home.empty() ? places.root + DefaultHome() : home);
  const quilta::doctor::Identity identity{QUILTA_NM_HOST_NAME, QUILTA_WEBEXT_CHROMIUM_ID,
                                          QUILTA_WEBEXT_GECKO_ID};

  quilta::doctor::Report report;
  quilta::doctor::CheckSmartCards(quilta::platform::SystemPcsc(), report);
  quilta::doctor::CheckPluginFolder(places, report);
  quilta::doctor::CheckBrowsers(places, identity, report);
  quilta::doctor::CheckDesktop(report);

  const std::string out = json ? quilta::diagnosis::AsJson(report) : quilta::diagnosis::AsText(report);
  std::fwrite(out.data(), 1, out.size(), stdout);
  return report.Clear() ? 0 : 1;
}
