#include "nmhost/check_win32.h"

#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "diagnosis/host_manifest.h"
#include "diagnosis/profiles.h"
#include "diagnosis/report.h"
#include "diagnosis/smart_cards.h"
#include "nmhost/manifest_templates.h"
#include "platform/pcsc.h"
#include "platform/win32/files.h"
#include "platform/win32/module.h"
#include "platform/win32/registry.h"
#include "platform/win32/text.h"
#include "ui/dialog_template.h"

namespace quilta::nmhost {
namespace {

using diagnosis::Level;
using diagnosis::Report;
namespace win32 = platform::win32;
using win32::EnvironmentText;
using win32::FolderOf;
using win32::ReadFileText;
using win32::Utf8;
using win32::Wide;

// The build's: the Windows package's file name, the control's class id (activex/registry.def)
// and the extension's ids (nmhost/CMakeLists.txt).
constexpr char kPackage[] = QUILTA_WINDOWS_PACKAGE;
constexpr char kClsid[] = QUILTA_COM_CLSID;
constexpr wchar_t kModule[] = L"npquilta.dll";
constexpr size_t kMaxManifest = 1 << 20;

// The Windows Smart Card service in the shared check's sentences. Since Windows 8 the service
// runs only while a reader is plugged in: without one, it is "not running".
const diagnosis::SmartCardService kService{
    "The Smart Card service",
    "plug the card reader in (Windows starts the service for it) or, if it is plugged in, start "
    "the service \"Smart Card\" in Services (services.msc), and run this check again",
    "restart the service \"Smart Card\" in Services (services.msc) and run this check again as "
    "the user who runs the browser",
    "restart the service \"Smart Card\" in Services (services.msc) and run this check again",
    " (Windows installs its driver: wait until it says the device is ready)"};

// ---- text, paths and files --------------------------------------------------------------

// A folder as the customer knows it (a drive's root with its backslash: "C:\").
std::string ShownFolder(const std::wstring& folder) {
  return Utf8(folder.size() == 2 && folder[1] == L':' ? folder + L"\\" : folder);
}

std::wstring KnownFolder(REFKNOWNFOLDERID id) {
  PWSTR path = nullptr;
  std::wstring out;
  if (SUCCEEDED(SHGetKnownFolderPath(id, 0, nullptr, &path)) && path) out = path;
  CoTaskMemFree(path);
  return out;
}

// A drive's absolute path ("C:\...") or a UNC path ("\\server\share\...").
bool IsAbsolute(const std::wstring& p) {
  const auto slash = [](wchar_t c) { return c == L'\\' || c == L'/'; };
  if (p.size() >= 3 && p[1] == L':' && slash(p[2])) return true;
  return p.size() >= 2 && slash(p[0]) && slash(p[1]);
}

std::wstring FullPath(const std::wstring& p) {
  const DWORD n = GetFullPathNameW(p.c_str(), 0, nullptr, nullptr);
  if (n == 0) return p;
  std::wstring out(n, L'\0');
  const DWORD m = GetFullPathNameW(p.c_str(), n, out.data(), nullptr);
  out.resize(m < n ? m : 0);
  return out.empty() ? p : out;
}

bool SamePath(const std::wstring& a, const std::wstring& b) {
  const std::wstring x = FullPath(a), y = FullPath(b);
  return CompareStringOrdinal(x.c_str(), -1, y.c_str(), -1, TRUE) == CSTR_EQUAL;
}

std::optional<DWORD> Attributes(const std::wstring& path) {
  const DWORD a = GetFileAttributesW(path.c_str());
  if (a == INVALID_FILE_ATTRIBUTES) return std::nullopt;
  return a;
}

bool Exists(const std::wstring& path) { return Attributes(path).has_value(); }

bool IsDir(const std::wstring& path) {
  const std::optional<DWORD> a = Attributes(path);
  return a && (*a & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsFile(const std::wstring& path) {
  const std::optional<DWORD> a = Attributes(path);
  return a && !(*a & FILE_ATTRIBUTE_DIRECTORY);
}

std::vector<std::string> SubFolders(const std::wstring& dir) {
  std::vector<std::string> names;
  WIN32_FIND_DATAW found;
  HANDLE h = FindFirstFileW((dir + L"\\*").c_str(), &found);
  if (h == INVALID_HANDLE_VALUE) return names;
  do {
    const std::wstring name = found.cFileName;
    if (name != L"." && name != L".." && (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
      names.push_back(Utf8(name));
  } while (FindNextFileW(h, &found));
  FindClose(h);
  std::sort(names.begin(), names.end());
  return names;
}

class WindowsFiles final : public diagnosis::ProfileFiles {
 public:
  char Separator() const override { return '\\'; }
  bool Exists(const std::string& path) const override { return nmhost::Exists(Wide(path)); }
  bool IsFile(const std::string& path) const override { return nmhost::IsFile(Wide(path)); }
  bool IsDir(const std::string& path) const override { return nmhost::IsDir(Wide(path)); }
  std::vector<std::string> SubFolders(const std::string& dir) const override {
    return nmhost::SubFolders(Wide(dir));
  }
  std::optional<std::string> Read(const std::string& path, size_t limit) const override {
    return ReadFileText(Wide(path), limit);
  }
};

// A path as the registry holds it: environment strings expanded, surrounding quotes taken off.
std::wstring FileOfValue(std::wstring value) {
  if (value.find(L'%') != std::wstring::npos) {
    const DWORD n = ExpandEnvironmentStringsW(value.c_str(), nullptr, 0);
    std::wstring out(n, L'\0');
    if (n > 0 && ExpandEnvironmentStringsW(value.c_str(), out.data(), n) == n) {
      out.resize(n - 1);
      value = out;
    }
  }
  if (value.size() >= 2 && value.front() == L'"' && value.back() == L'"')
    value = value.substr(1, value.size() - 2);
  return value;
}

// ---- the registry -------------------------------------------------------------------------

struct RegPlace {
  HKEY root;
  REGSAM view;  // KEY_WOW64_32KEY or KEY_WOW64_64KEY
  std::wstring path;
};

std::string RootName(HKEY root) {
  if (root == HKEY_LOCAL_MACHINE) return "HKEY_LOCAL_MACHINE";
  if (root == HKEY_CLASSES_ROOT) return "HKEY_CLASSES_ROOT";
  return "HKEY_CURRENT_USER";
}

// HKEY_CURRENT_USER\Software is one for both views: only the others name theirs.
std::string ViewName(const RegPlace& p) {
  if (p.root == HKEY_CURRENT_USER) return "";
  return p.view == KEY_WOW64_32KEY ? "32-bit" : "64-bit";
}

std::string Shown(const RegPlace& p) {
  const std::string view = ViewName(p);
  return RootName(p.root) + "\\" + Utf8(p.path) + (view.empty() ? "" : " (" + view + " view)");
}

// The command that removes the key (reg.exe), for the help desk to read out.
std::string DeleteCommand(const RegPlace& p) {
  const std::string view = ViewName(p);
  return "reg delete \"" + RootName(p.root) + "\\" + Utf8(p.path) + "\" " +
         (view.empty() ? "" : view == "32-bit" ? "/reg:32 " : "/reg:64 ") + "/f";
}

bool SamePlace(const RegPlace& a, const RegPlace& b) {
  return a.root == b.root && (a.root == HKEY_CURRENT_USER || a.view == b.view) &&
         CompareStringOrdinal(a.path.c_str(), -1, b.path.c_str(), -1, TRUE) == CSTR_EQUAL;
}

// The key's default value (or the value `name`), when the key holds it as a text.
std::optional<std::wstring> ReadValue(const RegPlace& p, const wchar_t* name = nullptr) {
  bool expandable = false;
  std::optional<std::wstring> value =
      win32::ReadRegistryText(p.root, p.path, p.view, name, &expandable);
  if (value && expandable) value = FileOfValue(*value);
  return value;
}

// ---- the modules and the control ----------------------------------------------------------

struct Architecture {
  const char* programs;  // "64-bit programs"
  std::wstring folder;   // where the package puts that architecture's module
  REGSAM view;           // the registry view its programs read
};

std::vector<Architecture> Architectures(const std::wstring& programFolder) {
  std::vector<Architecture> out;
#if defined(_WIN64)
  out.push_back({"64-bit programs", programFolder, KEY_WOW64_64KEY});
  const std::wstring x86 = KnownFolder(FOLDERID_ProgramFilesX86);
  if (!x86.empty() && !SamePath(x86 + L"\\Quilta", programFolder))
    out.push_back({"32-bit programs", x86 + L"\\Quilta", KEY_WOW64_32KEY});
#else
  out.push_back({"32-bit programs", programFolder, KEY_WOW64_32KEY});
  BOOL wow64 = FALSE;
  const std::wstring x64 = EnvironmentText(L"ProgramW6432");
  if (IsWow64Process(GetCurrentProcess(), &wow64) && wow64 && !x64.empty())
    out.push_back({"64-bit programs", x64 + L"\\Quilta", KEY_WOW64_64KEY});
#endif
  return out;
}

void CheckModules(const std::wstring& program, Report& report) {
  const std::string reinstall = std::string("reinstall ") + kPackage;
  const RegPlace base{HKEY_CLASSES_ROOT, 0,
                      L"CLSID\\" + Wide(kClsid) + L"\\InprocServer32"};
  for (const Architecture& a : Architectures(FolderOf(program))) {
    const std::wstring module = a.folder + L"\\" + kModule;
    const bool present = IsFile(module);
    if (present) {
      report
          .Add("module", Level::kOk,
               std::string("The browser module for ") + a.programs + " is in " +
                   ShownFolder(a.folder) + " (npquilta.dll).")
          .With("file", Utf8(module));
    } else {
      report
          .Add("module-missing", Level::kFail,
               std::string("The browser module for ") + a.programs +
                   " (npquilta.dll) is missing from " + ShownFolder(a.folder) + ": " + reinstall +
                   ".")
          .With("file", Utf8(module));
    }

    RegPlace key = base;
    key.view = a.view;
    const std::optional<std::wstring> registered = ReadValue(key);
    const std::string where = RootName(key.root) + "\\" + Utf8(key.path) + ", " +
                              ViewName(key) + " view";
    if (!registered || registered->empty()) {
      report
          .Add("activex-unregistered", Level::kFail,
               std::string("The ActiveX control is not registered for ") + a.programs + " (no " +
                   where + "), so Internet Explorer cannot load it: " + reinstall + ".")
          .With("key", where);
      continue;
    }
    const std::wstring file = FileOfValue(*registered);
    if (IsFile(file)) {
      report
          .Add("activex", Level::kOk,
               std::string("The ActiveX control is registered for ") + a.programs + " as " +
                   Utf8(file) + ".")
          .With("key", where)
          .With("file", Utf8(file));
    } else if (present || !SamePath(file, module)) {
      // (The module this registration names, missing, is the line above.)
      report
          .Add("activex-module-missing", Level::kFail,
               std::string("The ActiveX control is registered for ") + a.programs + " as " +
                   Utf8(file) + ", which is not there: " + reinstall + ".")
          .With("key", where)
          .With("file", Utf8(file));
    }
  }
}

// ---- the browsers -------------------------------------------------------------------------

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
  const auto invalid = [&](const std::string& why) {
    report
        .Add("bridge-manifest-invalid", Level::kFail,
             std::string(b.name) + " cannot use its bridge file " + shown + " (" + why +
                 "): " + fix + ".")
        .With("browser", b.name)
        .With("key", key)
        .With("file", shown);
    return false;
  };
  if (!IsAbsolute(manifestPath)) return invalid("the registry key " + key + " names no full path");
  if (!Exists(manifestPath)) {
    report
        .Add("bridge-manifest-missing", Level::kFail,
             std::string(b.name) + "'s registry key " + key + " names the bridge file " + shown +
                 ", which is not there: " + fix + ".")
        .With("browser", b.name)
        .With("key", key)
        .With("file", shown);
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
    report
        .Add("bridge-host-missing", Level::kFail,
             std::string(b.name) + "'s bridge file " + shown + " names the card program " +
                 shownProgram + ", which is not there: " + fix + ".")
        .With("browser", b.name)
        .With("key", key)
        .With("file", shown)
        .With("program", shownProgram);
    return false;
  }
  if (!SamePath(named, program)) {
    report
        .Add("bridge-host-other", Level::kFail,
             std::string(b.name) + "'s bridge file " + shown + " names another card program, " +
                 shownProgram + ", not this one (" + Utf8(program) + "): " + fix + ".")
        .With("browser", b.name)
        .With("key", key)
        .With("file", shown)
        .With("program", shownProgram);
    return false;
  }
  if (!manifest.hasAllowed)
    return invalid(std::string("it has no list ") + diagnosis::AllowedListKey(b.gecko));
  if (!diagnosis::CheckAllowed(manifest, id, b.gecko, b.name, shown, fix, report)) return false;
  report
      .Add("bridge", Level::kOk,
           std::string(b.name) + " reaches this card program through " + shown +
               ", named by the registry key " + key + ".")
      .With("browser", b.name)
      .With("key", key)
      .With("file", shown)
      .With("program", shownProgram);
  return true;
}

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

// ---- the dialogs' font --------------------------------------------------------------------

// The faces the templates name besides the system's own, with the font's English name and
// what brings it.
struct KnownFace {
  std::u16string_view face;
  const char* english;
  const char* install;
};
constexpr KnownFace kKnownFaces[] = {
    {u"標楷體", "DFKai-SB",
     "in Settings, Apps, Optional features, add \"Chinese (Traditional) Supplemental Fonts\""},
};

int CALLBACK FoundFamily(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
  *reinterpret_cast<bool*>(found) = true;
  return 0;
}

bool FamilyInstalled(HDC dc, const std::wstring& family) {
  if (family.empty() || family.size() >= LF_FACESIZE) return false;
  LOGFONTW lf{};
  lf.lfCharSet = DEFAULT_CHARSET;
  family.copy(lf.lfFaceName, family.size());
  bool found = false;
  EnumFontFamiliesExW(dc, &lf, FoundFamily, reinterpret_cast<LPARAM>(&found), 0);
  return found;
}

// The family FontSubstitutes maps `face` to ("Family" or "Family,charset").
std::optional<std::wstring> Substitute(const std::wstring& face) {
  const RegPlace subs{HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY,
                      L"Software\\Microsoft\\Windows NT\\CurrentVersion\\FontSubstitutes"};
  std::optional<std::wstring> to = ReadValue(subs, face.c_str());
  if (to) to = to->substr(0, to->find(L','));
  return to && !to->empty() ? to : std::nullopt;
}

void CheckFont(Report& report) {
  std::vector<std::u16string_view> faces;
  for (const ui::DialogTemplate& t : ui::AllTemplates()) {
    if (t.fontFace == u"System") continue;
    if (std::find(faces.begin(), faces.end(), t.fontFace) == faces.end())
      faces.push_back(t.fontFace);
  }
  HDC dc = CreateCompatibleDC(nullptr);
  for (const std::u16string_view face16 : faces) {
    const std::wstring face(face16.begin(), face16.end());
    const std::string name = Utf8(face);
    if (FamilyInstalled(dc, face)) {
      report
          .Add("font", Level::kOk, "The card dialogs' font (" + name + ") is installed.")
          .With("font", name);
      continue;
    }
    if (const std::optional<std::wstring> to = Substitute(face); to && FamilyInstalled(dc, *to)) {
      report
          .Add("font", Level::kOk,
               "The card dialogs' font (" + name + ") is installed as " + Utf8(*to) +
                   " (FontSubstitutes).")
          .With("font", name)
          .With("substitute", Utf8(*to));
      continue;
    }
    std::string shown = name, install = "install the font " + name;
    for (const KnownFace& k : kKnownFaces) {
      if (k.face == face16) {
        shown += std::string(", ") + k.english;
        install = k.install;
      }
    }
    report
        .Add("font-missing", Level::kFail,
             "The Chinese font the card dialogs are written in (" + shown +
                 ") is not installed: " + install + " and run this check again.")
        .With("font", name);
  }
  DeleteDC(dc);
}

// The console takes the lines as UTF-16; a pipe or a file gets the UTF-8 bytes.
void Write(const std::string& text) {
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  if (out != nullptr && out != INVALID_HANDLE_VALUE && GetConsoleMode(out, &mode)) {
    const std::wstring w = Wide(text);
    DWORD written = 0;
    WriteConsoleW(out, w.data(), static_cast<DWORD>(w.size()), &written, nullptr);
    return;
  }
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

}  // namespace

int RunCheck(bool json) {
  const diagnosis::Identity identity{manifests::kHostName, QUILTA_WEBEXT_CHROMIUM_ID,
                                     QUILTA_WEBEXT_GECKO_ID};
  const std::wstring program = win32::ModulePath(nullptr);
  Report report;
  diagnosis::CheckSmartCards(platform::SystemPcsc(), kService, report);
  CheckModules(program, report);
  CheckBrowsers(identity, program, report);
  CheckFont(report);
  Write(json ? diagnosis::AsJson(report) : diagnosis::AsText(report));
  return report.Clear() ? 0 : 1;
}

}  // namespace quilta::nmhost
