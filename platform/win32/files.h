// Whole files by their UTF-16 paths, as the registration and the help-desk check read and
// write the host manifests. Windows only.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace quilta::platform::win32 {

// The file's first `limit` bytes; nullopt when it cannot be opened or a read fails. Others
// may go on reading and writing it meanwhile.
std::optional<std::string> ReadFileText(const std::wstring& path, size_t limit);

// Replaces the file (or makes it) with `text`; false when not all of it was written.
bool WriteFileText(const std::wstring& path, const std::string& text);

}  // namespace quilta::platform::win32
