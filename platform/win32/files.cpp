#include "platform/win32/files.h"

#include <windows.h>

namespace quilta::platform::win32 {

std::optional<std::string> ReadFileText(const std::wstring& path, size_t limit) {
  HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return std::nullopt;
  std::string text;
  char buf[16384];
  DWORD n = 0;
  bool ok = true;
  while (text.size() < limit) {
    if (!ReadFile(f, buf, sizeof buf, &n, nullptr)) {
      ok = false;
      break;
    }
    if (n == 0) break;
    text.append(buf, n < limit - text.size() ? n : limit - text.size());
  }
  CloseHandle(f);
  if (!ok) return std::nullopt;
  return text;
}

bool WriteFileText(const std::wstring& path, const std::string& text) {
  HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool ok = WriteFile(f, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
                  written == text.size();
  return CloseHandle(f) && ok;
}

}  // namespace quilta::platform::win32
