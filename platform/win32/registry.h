// Registry texts, read and written in the registry view asked for (KEY_WOW64_32KEY,
// KEY_WOW64_64KEY, or 0 for the program's own). Windows only.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace quilta::platform::win32 {

// The key's value `name` (nullptr: its default value) when the key exists and holds it as a
// text (REG_SZ, or REG_EXPAND_SZ as written: *expandable tells which).
std::optional<std::wstring> ReadRegistryText(HKEY root, const std::wstring& path, REGSAM view,
                                             const wchar_t* name = nullptr,
                                             bool* expandable = nullptr);

// Creates the key (with the keys above it) where it is missing and sets its value `name`
// (nullptr: the default value) to `text` as REG_SZ. ERROR_SUCCESS or the error.
LONG WriteRegistryText(HKEY root, const std::wstring& path, REGSAM view, const wchar_t* name,
                       const std::wstring& text);

// Creates the key (with the keys above it) where it is missing, without a value.
LONG WriteRegistryKey(HKEY root, const std::wstring& path, REGSAM view);

}  // namespace quilta::platform::win32
