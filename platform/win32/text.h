// Texts at the Win32 boundary: the W functions take UTF-16 (wchar_t is 16 bits on Windows);
// the system keeps UTF-8 (std::string) and UTF-16 (std::u16string) texts. Windows only.
#pragma once

#include <string>
#include <string_view>

namespace quilta::platform::win32 {

// UTF-16 <-> UTF-8. Lone surrogates and invalid bytes become U+FFFD.
std::string Utf8(std::wstring_view text);
std::wstring Wide(std::string_view utf8);

// A UTF-16 text as the W functions take it, valid while `text` lives.
inline const wchar_t* WideChars(const std::u16string& text) {
  static_assert(sizeof(wchar_t) == sizeof(char16_t));
  return reinterpret_cast<const wchar_t*>(text.c_str());
}

}  // namespace quilta::platform::win32
