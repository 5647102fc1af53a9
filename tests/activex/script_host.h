// A small JScript host for the Windows tests: it runs one script through the system's JScript
// engine (IActiveScript, IActiveScriptParse) with the given objects as the script's global
// names, the way a page's container hands its objects to the page script.
//   RunJScript(text, items): text is the whole script; items name the objects (borrowed: the
//   engine holds its own references only while the script runs). Runs on the calling thread,
//   which must be in a single-threaded apartment; a modal dialog raised by an object runs its
//   message loop inside the call. Returns the number of script errors (a syntax error, an
//   uncaught exception), each printed as "FAIL script error at line N: description"; -1 when
//   the engine could not be started.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <string>
#include <utility>
#include <vector>

namespace quilta::test {

int RunJScript(const std::wstring& text, const std::vector<std::pair<std::wstring, IDispatch*>>& items);

}  // namespace quilta::test
