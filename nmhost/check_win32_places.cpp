// The folders, files and registry places quilta-nmhost.exe --check reads
// (check_win32_parts.h).
#include "nmhost/check_win32_parts.h"

#include <algorithm>

#include "platform/win32/registry.h"

namespace quilta::nmhost::check {
namespace {

std::wstring FullPath(const std::wstring& p) {
  const DWORD n = GetFullPathNameW(p.c_str(), 0, nullptr, nullptr);
  if (n == 0) return p;
  std::wstring out(n, L'\0');
  const DWORD m = GetFullPathNameW(p.c_str(), n, out.data(), nullptr);
  out.resize(m < n ? m : 0);
  return out.empty() ? p : out;
}

std::optional<DWORD> Attributes(const std::wstring& path) {
  const DWORD a = GetFileAttributesW(path.c_str());
  if (a == INVALID_FILE_ATTRIBUTES) return std::nullopt;
  return a;
}

}  // namespace

// ---- folders, paths and files -------------------------------------------------------------

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

bool SamePath(const std::wstring& a, const std::wstring& b) {
  const std::wstring x = FullPath(a), y = FullPath(b);
  return CompareStringOrdinal(x.c_str(), -1, y.c_str(), -1, TRUE) == CSTR_EQUAL;
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
std::optional<std::wstring> ReadValue(const RegPlace& p, const wchar_t* name) {
  bool expandable = false;
  std::optional<std::wstring> value =
      win32::ReadRegistryText(p.root, p.path, p.view, name, &expandable);
  if (value && expandable) value = FileOfValue(*value);
  return value;
}

}  // namespace quilta::nmhost::check
