// --check: the browser module for each architecture's programs and the ActiveX control's
// registration in that architecture's registry view.
#include "nmhost/check_win32_parts.h"

#include "platform/win32/module.h"

namespace quilta::nmhost::check {
namespace {

using win32::EnvironmentText;
using win32::FolderOf;

// The control's class id (activex/registry.def) and the module's file name.
constexpr char kClsid[] = QUILTA_COM_CLSID;
constexpr wchar_t kModule[] = L"npquilta.dll";

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

}  // namespace

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

}  // namespace quilta::nmhost::check
