// --check: for each installed browser, the registry key it reads first, the host manifest
// it names and the program that names; then the bank's extension in the browser's profiles.
#include "nmhost/check_win32_parts.h"

#include "diagnosis/profiles.h"
#include "platform/win32/files.h"
#include "platform/win32/module.h"

namespace quilta::nmhost::check {
namespace {

using win32::EnvironmentText;
using win32::FolderOf;
using win32::ReadFileText;

constexpr size_t kMaxManifest = 1 << 20;

class WindowsFiles final : public diagnosis::ProfileFiles {
 public:
  char Separator() const override { return '\\'; }
  bool Exists(const std::string& path) const override { return check::Exists(Wide(path)); }
  bool IsFile(const std::string& path) const override { return check::IsFile(Wide(path)); }
  bool IsDir(const std::string& path) const override { return check::IsDir(Wide(path)); }
  std::vector<std::string> SubFolders(const std::string& dir) const override {
    return check::SubFolders(Wide(dir));
  }
  std::optional<std::string> Read(const std::string& path, size_t limit) const override {
    return ReadFileText(Wide(path), limit);
  }
};

struct Browser {
  const char* name;
  const wchar_t* exe;        // its App Paths entry
  const wchar_t* installed;  // below a Program Files folder or %LOCALAPPDATA%
  // The keys (below the registry root) whose <host> subkey it reads, in its order within a
  // view; the first is the one the package and --register write.
  std::vector<const wchar_t*> hostKeys;
  bool gecko;                 // Firefox: HKEY_CURRENT_USER, then the machine's 32-bit view, then 64
  bool roamingProfiles;       // profiles below %APPDATA%, else %LOCALAPPDATA%
  const wchar_t* profiles;    // below that
  const char* shownProfiles;  // as the customer finds it
};

const std::vector<Browser>& Browsers() {
  static const std::vector<Browser> browsers = {
      {"Google Chrome", L"chrome.exe", L"Google\\Chrome\\Application\\chrome.exe",
       {L"Software\\Google\\Chrome\\NativeMessagingHosts"}, false, false,
       L"Google\\Chrome\\User Data", "%LOCALAPPDATA%\\Google\\Chrome\\User Data"},
      {"Microsoft Edge", L"msedge.exe", L"Microsoft\\Edge\\Application\\msedge.exe",
       {L"Software\\Microsoft\\Edge\\NativeMessagingHosts",
        L"Software\\Chromium\\NativeMessagingHosts",
        L"Software\\Google\\Chrome\\NativeMessagingHosts"},
       false, false, L"Microsoft\\Edge\\User Data", "%LOCALAPPDATA%\\Microsoft\\Edge\\User Data"},
      {"Firefox", L"firefox.exe", L"Mozilla Firefox\\firefox.exe",
       {L"Software\\Mozilla\\NativeMessagingHosts"}, true, true, L"Mozilla\\Firefox\\Profiles",
       "%APPDATA%\\Mozilla\\Firefox\\Profiles"},
  };
  return browsers;
}

bool Installed(const Browser& b) {
  for (const std::wstring& base :
       {KnownFolder(FOLDERID_ProgramFiles), KnownFolder(FOLDERID_ProgramFilesX86),
        EnvironmentText(L"ProgramW6432"), KnownFolder(FOLDERID_LocalAppData)}) {
    if (!base.empty() && IsFile(base + L"\\" + b.installed)) return true;
  }
  const std::wstring appPath =
      std::wstring(L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\") + b.exe;
  for (const RegPlace& p : {RegPlace{HKEY_CURRENT_USER, KEY_WOW64_64KEY, appPath},
                            RegPlace{HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY, appPath},
                            RegPlace{HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY, appPath}}) {
    if (const std::optional<std::wstring> v = ReadValue(p); v && IsFile(FileOfValue(*v)))
      return true;
  }
  return false;
}

// The keys naming the host's manifest, in the order the browser reads them: Chrome and Edge
// read HKEY_CURRENT_USER, then HKEY_LOCAL_MACHINE, each in the 32-bit view before the 64-bit
// one; Firefox HKEY_CURRENT_USER, then the machine's 32-bit view, then its 64-bit view.
std::vector<RegPlace> LookupOrder(const Browser& b, const std::wstring& host) {
  std::vector<RegPlace> order;
  const auto add = [&](HKEY root, REGSAM view) {
    for (const wchar_t* key : b.hostKeys) order.push_back({root, view, key + (L"\\" + host)});
  };
  if (b.gecko) {
    add(HKEY_CURRENT_USER, KEY_WOW64_64KEY);
  } else {
    add(HKEY_CURRENT_USER, KEY_WOW64_32KEY);
    add(HKEY_CURRENT_USER, KEY_WOW64_64KEY);
  }
  add(HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY);
  add(HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY);
  return order;
}

// The manifest the browser reads, and the program it names. Returns whether the road is
// there (the finding "bridge").
bool CheckBridge(const Browser& b, const diagnosis::Identity& id, const std::wstring& program,
                 Report& report) {
  const std::wstring host = Wide(id.hostName);
  const RegPlace own{HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY, b.hostKeys.front() + (L"\\" + host)};
  const std::string machineFix = std::string("reinstall ") + kPackage + ", or run \"" +
                                 Utf8(program) + "\" --register --machine as an administrator";
  std::optional<RegPlace> found;
  std::wstring value;
  for (const RegPlace& p : LookupOrder(b, host)) {
    if (std::optional<std::wstring> v = ReadValue(p)) {
      found = p;
      value = *v;
      break;
    }
  }
  if (!found) {
    report
        .Add("bridge-manifest-missing", Level::kFail,
             std::string(b.name) + " cannot reach the card program (no registry key names its " +
                 "bridge file, as " + Shown(own) + " does after the installation): " +
                 machineFix + ".")
        .With("browser", b.name);
    return false;
  }
  // A key other than the package's own, read first, hides it: that key is what to remove.
  std::string fix = machineFix;
  if (!SamePlace(*found, own)) {
    fix = "remove the registry key " + Shown(*found) + " (" + DeleteCommand(*found) +
          "), which " + b.name + " reads before the one the installation writes";
    if (!ReadValue(own)) fix += ", and " + machineFix;
  }
  const std::string key = Shown(*found);
  const std::wstring manifestPath = FileOfValue(value);
  const std::string shown = Utf8(manifestPath);
  // A finding on this browser's bridge file: it names the browser, the key and the file.
  const auto onFile = [&](const char* finding, Level level, const std::string& text) -> auto& {
    return report.Add(finding, level, text)
        .With("browser", b.name)
        .With("key", key)
        .With("file", shown);
  };
  const auto invalid = [&](const std::string& why) {
    onFile("bridge-manifest-invalid", Level::kFail,
           std::string(b.name) + " cannot use its bridge file " + shown + " (" + why + "): " +
               fix + ".");
    return false;
  };
  if (!IsAbsolute(manifestPath)) return invalid("the registry key " + key + " names no full path");
  if (!Exists(manifestPath)) {
    onFile("bridge-manifest-missing", Level::kFail,
           std::string(b.name) + "'s registry key " + key + " names the bridge file " + shown +
               ", which is not there: " + fix + ".");
    return false;
  }
  const std::optional<std::string> text = ReadFileText(manifestPath, kMaxManifest);
  if (!text) return invalid("it cannot be read");
  const diagnosis::HostManifest manifest = diagnosis::ReadHostManifest(*text, id, b.gecko);
  if (!manifest.invalid.empty()) return invalid(manifest.invalid);
  if (manifest.program.empty()) return invalid("it names no program");

  // Both browsers take a relative "path" as relative to the manifest's folder.
  std::wstring named = Wide(manifest.program);
  if (!IsAbsolute(named)) named = FolderOf(manifestPath) + L"\\" + named;
  const std::string shownProgram = Utf8(named);
  if (!IsFile(named)) {
    onFile("bridge-host-missing", Level::kFail,
           std::string(b.name) + "'s bridge file " + shown + " names the card program " +
               shownProgram + ", which is not there: " + fix + ".")
        .With("program", shownProgram);
    return false;
  }
  if (!SamePath(named, program)) {
    onFile("bridge-host-other", Level::kFail,
           std::string(b.name) + "'s bridge file " + shown + " names another card program, " +
               shownProgram + ", not this one (" + Utf8(program) + "): " + fix + ".")
        .With("program", shownProgram);
    return false;
  }
  if (!manifest.hasAllowed)
    return invalid(std::string("it has no list ") + diagnosis::AllowedListKey(b.gecko));
  if (!diagnosis::CheckAllowed(manifest, id, b.gecko, b.name, shown, fix, report)) return false;
  onFile("bridge", Level::kOk,
         std::string(b.name) + " reaches this card program through " + shown +
             ", named by the registry key " + key + ".")
      .With("program", shownProgram);
  return true;
}

}  // namespace

void CheckBrowsers(const diagnosis::Identity& id, const std::wstring& program, Report& report) {
  bool any = false;
  for (const Browser& b : Browsers()) {
    if (!Installed(b)) continue;
    any = true;
    CheckBridge(b, id, program, report);
    const std::wstring base = KnownFolder(b.roamingProfiles ? FOLDERID_RoamingAppData
                                                            : FOLDERID_LocalAppData);
    diagnosis::CheckExtension(b.name, Utf8(base + L"\\" + b.profiles), b.shownProfiles, b.gecko,
                              id, WindowsFiles(), report);
  }
  if (!any) {
    report.Add("browsers-none", Level::kWarn,
               "None of the browsers the bank's web-ATM extension works in was found (Google "
               "Chrome, Microsoft Edge, Firefox): install one of them.");
  }
}

}  // namespace quilta::nmhost::check
