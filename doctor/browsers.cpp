// The browsers' side: the plug-in folder, each installed browser's host manifest and the
// program it names, and the extension in the user's profiles. Only reads files.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "diagnosis/profiles.h"
#include "doctor/checks.h"

namespace quilta::doctor {
namespace {

constexpr char kPluginDir[] = "/usr/lib/mozilla/plugins";
constexpr char kPluginModule[] = "libnpquilta.so";
constexpr char kDialogHelper[] = "quilta-dialogs";  // must sit next to the module or the host
constexpr char kPluginPackage[] = "quilta-plugin";
constexpr char kBridgePackage[] = "quilta-webatm";
constexpr std::streamsize kMaxManifest = 1 << 20;

struct Browser {
  const char* name;
  std::vector<const char*> installedAt;  // any of these present: the browser is installed
  const char* systemHosts;               // the system's host-manifest folder
  const char* userHosts;                 // the user's, below the home folder (read first)
  const char* profiles;                  // the profiles' folder, below the home folder
  bool gecko;
};

const std::vector<Browser>& Browsers() {
  static const std::vector<Browser> browsers = {
      {"Chromium",
       {"/usr/bin/chromium", "/usr/lib/chromium"},
       "/etc/chromium/native-messaging-hosts",
       ".config/chromium/NativeMessagingHosts",
       ".config/chromium",
       false},
      {"Google Chrome",
       {"/opt/google/chrome"},
       "/etc/opt/chrome/native-messaging-hosts",
       ".config/google-chrome/NativeMessagingHosts",
       ".config/google-chrome",
       false},
      {"Firefox",
       {"/usr/bin/firefox-esr", "/usr/lib/firefox-esr", "/usr/bin/firefox", "/usr/lib/firefox"},
       "/usr/lib/mozilla/native-messaging-hosts",
       ".mozilla/native-messaging-hosts",
       ".mozilla/firefox",
       true},
  };
  return browsers;
}

bool Exists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

bool IsFile(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool IsDir(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// A program this user can start.
bool IsProgram(const std::string& path) { return IsFile(path) && access(path.c_str(), X_OK) == 0; }

std::string DirOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

// The file's bytes (at most `limit`); nullopt when it cannot be read.
std::optional<std::string> ReadFile(const std::string& path, std::streamsize limit) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string text(static_cast<size_t>(limit), '\0');
  in.read(text.data(), limit);
  if (in.bad()) return std::nullopt;
  text.resize(static_cast<size_t>(in.gcount()));
  return text;
}

std::vector<std::string> SubFolders(const std::string& dir) {
  std::vector<std::string> names;
  DIR* d = opendir(dir.c_str());
  if (!d) return names;
  while (dirent* e = readdir(d)) {
    const std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    if (IsDir(dir + "/" + name)) names.push_back(name);
  }
  closedir(d);
  std::sort(names.begin(), names.end());
  return names;
}

// ---- the host manifest ------------------------------------------------------------------

struct Manifest {
  std::string read;   // the path read (below --root / --home)
  std::string shown;  // the path as the customer knows it
  bool user = false;
};

// The manifest the browser reads: the user's own before the system's.
std::optional<Manifest> FindManifest(const Browser& b, const Places& places, const Identity& id,
                                     bool* systemOneExists) {
  const std::string file = id.hostName + ".json";
  const std::string system = places.System(std::string(b.systemHosts) + "/" + file);
  const std::string user = places.User(std::string(b.userHosts) + "/" + file);
  *systemOneExists = Exists(system);
  if (Exists(user)) return Manifest{user, "~/" + std::string(b.userHosts) + "/" + file, true};
  if (*systemOneExists) return Manifest{system, std::string(b.systemHosts) + "/" + file, false};
  return std::nullopt;
}

// What to do about a manifest that is wrong.
std::string FixFor(const Browser& b, const Manifest& m, bool systemOneExists) {
  if (!m.user) return std::string("reinstall the package ") + kBridgePackage;
  std::string fix =
      "remove the file " + m.shown + ", which " + b.name + " reads before the system's own";
  if (!systemOneExists) fix += std::string(", and reinstall the package ") + kBridgePackage;
  return fix;
}

// Checks the manifest the browser reads. Returns whether the bridge is usable.
bool CheckManifest(const Browser& b, const Places& places, const Identity& id, Report& report) {
  bool systemOneExists = false;
  const std::optional<Manifest> m = FindManifest(b, places, id, &systemOneExists);
  const std::string file = id.hostName + ".json";
  if (!m) {
    report
        .Add("bridge-manifest-missing", Level::kFail,
             std::string(b.name) + " cannot reach the card program (no " + file + " in " +
                 b.systemHosts + " or ~/" + b.userHosts + "): reinstall the package " +
                 kBridgePackage + ".")
        .With("browser", b.name);
    return false;
  }
  const std::string fix = FixFor(b, *m, systemOneExists);
  const auto invalid = [&](const std::string& why) {
    report
        .Add("bridge-manifest-invalid", Level::kFail,
             std::string(b.name) + " cannot use its bridge file " + m->shown + " (" + why +
                 "): " + fix + ".")
        .With("browser", b.name)
        .With("file", m->shown);
    return false;
  };
  const std::optional<std::string> text = ReadFile(m->read, kMaxManifest);
  if (!text) return invalid("it cannot be read");
  const diagnosis::HostManifest manifest = diagnosis::ReadHostManifest(*text, id, b.gecko);
  if (!manifest.invalid.empty()) return invalid(manifest.invalid);
  if (manifest.program.empty() || manifest.program[0] != '/')
    return invalid("it names no program by its full path");

  const std::string program = manifest.program;
  if (!IsProgram(places.System(program))) {
    report
        .Add("bridge-host-missing", Level::kFail,
             std::string(b.name) + "'s bridge file " + m->shown + " names the card program " +
                 program + ", which is not there or cannot run: " + fix + ".")
        .With("browser", b.name)
        .With("file", m->shown)
        .With("program", program);
    return false;
  }

  if (!manifest.hasAllowed)
    return invalid(std::string("it has no list ") + diagnosis::AllowedListKey(b.gecko));
  if (!diagnosis::CheckAllowed(manifest, id, b.gecko, b.name, m->shown, fix, report)) return false;

  const std::string helper = DirOf(program) + "/" + kDialogHelper;
  if (!IsProgram(places.System(helper))) {
    report
        .Add("bridge-helper-missing", Level::kFail,
             "The card program " + program + " has no dialog program " + kDialogHelper +
                 " next to it, so its dialogs cannot open: reinstall the package " +
                 kBridgePackage + ".")
        .With("browser", b.name)
        .With("program", program);
    return false;
  }
  report
      .Add("bridge", Level::kOk,
           std::string(b.name) + " reaches the card program " + program + " through " + m->shown +
               ".")
      .With("browser", b.name)
      .With("file", m->shown)
      .With("program", program);
  return true;
}

// ---- the extension in the profiles --------------------------------------------------------

class PosixFiles final : public diagnosis::ProfileFiles {
 public:
  char Separator() const override { return '/'; }
  bool Exists(const std::string& path) const override { return doctor::Exists(path); }
  bool IsFile(const std::string& path) const override { return doctor::IsFile(path); }
  bool IsDir(const std::string& path) const override { return doctor::IsDir(path); }
  std::vector<std::string> SubFolders(const std::string& dir) const override {
    return doctor::SubFolders(dir);
  }
  std::optional<std::string> Read(const std::string& path, size_t limit) const override {
    return doctor::ReadFile(path, static_cast<std::streamsize>(limit));
  }
};

void CheckExtension(const Browser& b, const Places& places, const Identity& id, Report& report) {
  diagnosis::CheckExtension(b.name, places.User(b.profiles), "~/" + std::string(b.profiles),
                            b.gecko, id, PosixFiles(), report);
}

}  // namespace

void CheckPluginFolder(const Places& places, Report& report) {
  const std::string dir = kPluginDir;
  const std::string module = dir + "/" + kPluginModule;
  if (!IsFile(places.System(module))) {
    report
        .Add("plugin-absent", Level::kWarn,
             std::string("The browser plug-in ") + kPluginModule + " is not in " + dir +
                 ": only a browser that still loads plug-ins needs it; Chromium, Google Chrome "
                 "and Firefox use the bank's web-ATM extension instead.")
        .With("folder", dir);
    return;
  }
  if (!IsProgram(places.System(dir + "/" + kDialogHelper))) {
    report
        .Add("plugin-helper-missing", Level::kFail,
             std::string("The plug-in's dialog program ") + kDialogHelper + " is missing from " +
                 dir + " (it must sit next to " + kPluginModule + "): reinstall the package " +
                 kPluginPackage + ".")
        .With("folder", dir);
    return;
  }
  report
      .Add("plugin", Level::kOk,
           std::string("The browser plug-in and its dialog program are installed in ") + dir + ".")
      .With("folder", dir);
}

void CheckBrowsers(const Places& places, const Identity& identity, Report& report) {
  bool any = false;
  for (const Browser& b : Browsers()) {
    const bool installed = std::any_of(b.installedAt.begin(), b.installedAt.end(),
                                       [&](const char* p) { return Exists(places.System(p)); });
    if (!installed) continue;
    any = true;
    CheckManifest(b, places, identity, report);
    CheckExtension(b, places, identity, report);
  }
  if (!any) {
    report.Add("browsers-none", Level::kWarn,
               "None of the browsers the bank's web-ATM extension works in was found (Chromium, "
               "Google Chrome, Firefox): install one of them.");
  }
}

}  // namespace quilta::doctor
