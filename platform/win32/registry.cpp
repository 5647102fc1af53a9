#include "platform/win32/registry.h"

#include <cwchar>

namespace quilta::platform::win32 {
namespace {

LONG CreateKey(HKEY root, const std::wstring& path, REGSAM view, HKEY* key) {
  return RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE | view, nullptr, key,
                         nullptr);
}

}  // namespace

std::optional<std::wstring> ReadRegistryText(HKEY root, const std::wstring& path, REGSAM view,
                                             const wchar_t* name, bool* expandable) {
  HKEY key;
  if (RegOpenKeyExW(root, path.c_str(), 0, KEY_QUERY_VALUE | view, &key) != ERROR_SUCCESS)
    return std::nullopt;
  std::optional<std::wstring> value;
  DWORD type = 0, size = 0;
  if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
      (type == REG_SZ || type == REG_EXPAND_SZ)) {
    std::wstring buf(size / sizeof(wchar_t) + 1, L'\0');
    size = static_cast<DWORD>(buf.size() * sizeof(wchar_t));
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buf.data()), &size) ==
        ERROR_SUCCESS) {
      buf.resize(wcsnlen(buf.c_str(), buf.size()));
      if (expandable) *expandable = type == REG_EXPAND_SZ;
      value = std::move(buf);
    }
  }
  RegCloseKey(key);
  return value;
}

LONG WriteRegistryText(HKEY root, const std::wstring& path, REGSAM view, const wchar_t* name,
                       const std::wstring& text) {
  HKEY key;
  LONG rc = CreateKey(root, path, view, &key);
  if (rc != ERROR_SUCCESS) return rc;
  rc = RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                      static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
  return rc;
}

LONG WriteRegistryKey(HKEY root, const std::wstring& path, REGSAM view) {
  HKEY key;
  const LONG rc = CreateKey(root, path, view, &key);
  if (rc == ERROR_SUCCESS) RegCloseKey(key);
  return rc;
}

}  // namespace quilta::platform::win32
