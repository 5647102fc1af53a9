// Where the running code is: its module, the module's file and folder, the environment.
// Windows only.
#pragma once

#include <windows.h>

#include <string>

namespace quilta::platform::win32 {

// The module (DLL or program) this code is linked into: its resources and dialogs' owner.
HMODULE OwnModule();

// The full path of `module`'s file (nullptr: the program's), however long; empty when it
// cannot be told.
std::wstring ModulePath(HMODULE module);

// The folder of a file's path (without the last separator); "." when it names none.
std::wstring FolderOf(const std::wstring& path);

// The environment variable's value; empty when it is not set or longer than MAX_PATH.
std::wstring EnvironmentText(const wchar_t* name);

}  // namespace quilta::platform::win32
