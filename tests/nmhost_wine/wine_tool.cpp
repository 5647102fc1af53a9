// What the Wine tests of quilta-nmhost.exe (nmhost_wine_test.py) have done on the Windows
// side besides running the host:
//   nmhost_wine_tool.exe post-to-host
//     another program on the desktop: posts to every session window of quilta-nmhost.exe the
//     messages that could end or stall a session (the session's own three, the console
//     event's with CTRL_CLOSE_EVENT, WM_CLOSE, WM_QUIT); prints "posted to N windows"
// Exit status 0 when done, 1 otherwise, 2 for a wrong command line.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

// The class of the session's message-only window (nmhost/session_win32.cpp).
constexpr wchar_t kSessionWindowClass[] = L"QuiltaNmHostSession";

int PostToHost() {
  const struct {
    UINT msg;
    WPARAM wp;
  } messages[] = {
      {WM_APP + 1, 0}, {WM_APP + 2, CTRL_CLOSE_EVENT}, {WM_APP + 3, 0}, {WM_CLOSE, 0}, {WM_QUIT, 0},
  };
  int windows = 0;
  for (HWND w = nullptr; (w = FindWindowExW(HWND_MESSAGE, w, kSessionWindowClass, nullptr));) {
    for (const auto& m : messages) PostMessageW(w, m.msg, m.wp, 0);
    ++windows;
  }
  std::printf("posted to %d windows\n", windows);
  return windows > 0 ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::wstring command = argc > 1 ? argv[1] : L"";
  if (command == L"post-to-host" && argc == 2) return PostToHost();
  std::fprintf(stderr, "usage: nmhost_wine_tool.exe post-to-host\n");
  return 2;
}
