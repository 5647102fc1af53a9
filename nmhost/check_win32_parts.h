// What the parts of quilta-nmhost.exe --check share (check_win32*.cpp): the build's names,
// the folders, files and registry places the checks read (check_win32_places.cpp), and each
// part's check. Not for callers, who use check_win32.h.
#pragma once

#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

#include <optional>
#include <string>
#include <vector>

#include "diagnosis/host_manifest.h"
#include "diagnosis/report.h"
#include "platform/win32/text.h"

namespace quilta::nmhost::check {

using diagnosis::Level;
using diagnosis::Report;
namespace win32 = platform::win32;
using win32::Utf8;
using win32::Wide;

// The build's: the Windows package's file name (nmhost/CMakeLists.txt).
constexpr char kPackage[] = QUILTA_WINDOWS_PACKAGE;

// ---- folders, paths and files (check_win32_places.cpp) ----
// A folder as the customer knows it (a drive's root with its backslash: "C:\").
std::string ShownFolder(const std::wstring& folder);
std::wstring KnownFolder(REFKNOWNFOLDERID id);
// A drive's absolute path ("C:\...") or a UNC path ("\\server\share\...").
bool IsAbsolute(const std::wstring& p);
bool SamePath(const std::wstring& a, const std::wstring& b);
bool Exists(const std::wstring& path);
bool IsDir(const std::wstring& path);
bool IsFile(const std::wstring& path);
std::vector<std::string> SubFolders(const std::wstring& dir);

// ---- the registry (check_win32_places.cpp) ----
// A path as the registry holds it: environment strings expanded, surrounding quotes taken off.
std::wstring FileOfValue(std::wstring value);

struct RegPlace {
  HKEY root;
  REGSAM view;  // KEY_WOW64_32KEY or KEY_WOW64_64KEY
  std::wstring path;
};

std::string RootName(HKEY root);
// HKEY_CURRENT_USER\Software is one for both views: only the others name theirs.
std::string ViewName(const RegPlace& p);
std::string Shown(const RegPlace& p);
// The command that removes the key (reg.exe), for the help desk to read out.
std::string DeleteCommand(const RegPlace& p);
bool SamePlace(const RegPlace& a, const RegPlace& b);
// The key's default value (or the value `name`), when the key holds it as a text.
std::optional<std::wstring> ReadValue(const RegPlace& p, const wchar_t* name = nullptr);

// ---- the checks ----
// npquilta.dll for each architecture's programs, and the control's registration in its view
// (check_win32_modules.cpp).
void CheckModules(const std::wstring& program, Report& report);
// Each installed browser's road to this program and the bank's extension in its profiles
// (check_win32_browsers.cpp).
void CheckBrowsers(const diagnosis::Identity& id, const std::wstring& program, Report& report);
// The dialogs' font (check_win32_font.cpp).
void CheckFont(Report& report);

}  // namespace quilta::nmhost::check
