#include "nmhost/session_win32.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cstdlib>
#include <thread>

namespace quilta::nmhost {
namespace {

// The session window's own messages. Any program on the desktop can post to a window, so
// each is only a wake-up: what it stands for is read from what only this process's threads
// set (the reading thread's bytes and end of input, the console handler's event). Posted
// from outside, they find nothing new and end nothing.
constexpr UINT kInput = WM_APP + 1;         // the reading thread queued bytes or saw the end
constexpr UINT kConsoleEvent = WM_APP + 2;  // the console handler recorded an event
constexpr UINT kHeldFrames = WM_APP + 3;    // frames already read wait in the reader
constexpr wchar_t kWindowClass[] = L"QuiltaNmHostSession";

Session* g_session = nullptr;  // the one session of the process, for the console handler

int LogFd() {
  static const int fd = [] {
    const char* path = std::getenv("QUILTA_NMHOST_LOG");
    if (path && *path) {
      const int f = _open(path, _O_WRONLY | _O_CREAT | _O_APPEND | _O_BINARY | _O_NOINHERIT,
                          _S_IREAD | _S_IWRITE);
      if (f >= 0) return f;
    }
    return 2;
  }();
  return fd;
}

// A private, binary, not inherited copy of descriptor `fd`; -1 when there is none.
int Keep(int fd) {
  const int copy = _dup(fd);
  if (copy < 0) return -1;
  _setmode(copy, _O_BINARY);
  SetHandleInformation(reinterpret_cast<HANDLE>(_get_osfhandle(copy)), HANDLE_FLAG_INHERIT, 0);
  return copy;
}

// Points descriptor `fd` (and the standard handle `which`) at `to`, or at NUL.
void Redirect(int fd, DWORD which, int to, int nulFlags) {
  if (to < 0 || _dup2(to, fd) != 0) {
    const int nul = _open("NUL", nulFlags | _O_BINARY);
    if (nul < 0) return;
    _dup2(nul, fd);
    _close(nul);
  }
  SetStdHandle(which, reinterpret_cast<HANDLE>(_get_osfhandle(fd)));
}

const char* ConsoleEventName(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT: return "Ctrl+C";
    case CTRL_BREAK_EVENT: return "Ctrl+Break";
    case CTRL_CLOSE_EVENT: return "console closed";
    case CTRL_LOGOFF_EVENT: return "log-off";
    case CTRL_SHUTDOWN_EVENT: return "shutdown";
    default: return "console event";
  }
}

}  // namespace

bool WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    const unsigned chunk = size > (1u << 30) ? (1u << 30) : static_cast<unsigned>(size);
    const int n = _write(fd, data, chunk);
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

void Log(const std::string& line) {
  const std::string text =
      "quilta-nmhost[" + std::to_string(GetCurrentProcessId()) + "]: " + line + "\n";
  WriteAll(LogFd(), text.data(), text.size());
}

Session::Session() {
  // Binary before anything is read or written: the frames are bytes, not lines.
  _setmode(0, _O_BINARY);
  _setmode(1, _O_BINARY);
  in_ = Keep(0);
  out_ = Keep(1);
  // Stray writes to stdout land on stderr; a read of stdin by anything else gets nothing.
  Redirect(1, STD_OUTPUT_HANDLE, 2, _O_WRONLY);
  Redirect(0, STD_INPUT_HANDLE, -1, _O_RDONLY);
  LogFd();
}

void Session::Run() {
  if (in_ < 0 || out_ < 0) End("no stdin or stdout", 1);
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = &Session::WindowProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = kWindowClass;
  RegisterClassExW(&wc);
  window_ = CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                            wc.hInstance, nullptr);
  if (window_ == nullptr) End("no message window", 1);
  SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  g_session = this;
  SetConsoleCtrlHandler(&Session::OnConsoleEvent, TRUE);

  std::thread([this] { ReadLoop(); }).detach();
  Log("session started");
  MSG msg;
  for (;;) {
    const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got == -1) End("message loop failed", 1);
    if (got == 0) continue;  // a WM_QUIT: the session posts none, another program's ends nothing
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

void Session::ReadLoop() {
  static char buf[65536];
  for (;;) {
    const int n = _read(in_, buf, sizeof buf);
    bool post;
    {
      std::lock_guard<std::mutex> hold(lock_);
      // One message stands for everything queued until the page thread takes it.
      post = pending_.empty() || n <= 0;
      if (n > 0) pending_.append(buf, static_cast<size_t>(n));
      else inputEnded_ = true;
    }
    if (post) PostMessageW(window_, kInput, 0, 0);
    if (n <= 0) return;
  }
}

void Session::TakeInput() {
  std::string data;
  bool ended;
  {
    std::lock_guard<std::mutex> hold(lock_);
    data.swap(pending_);
    ended = inputEnded_;
  }
  reader_.Feed(data.data(), data.size());
  TakeFrames();
  if (ended) End(reader_.HasPartial() ? "end of input inside a frame" : "end of input", 0);
}

void Session::QueueHeldFrames() {
  // The reading thread posts nothing for frames already read: a message of our own, which
  // a dialog's loop dispatches too.
  PostMessageW(window_, kHeldFrames, 0, 0);
}

LRESULT CALLBACK Session::WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto* self = reinterpret_cast<Session*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (self && (msg == kInput || msg == kHeldFrames)) {
    if (msg == kHeldFrames) self->heldFramesQueued_ = false;
    self->TakeInput();
    return 0;
  }
  if (self && msg == kConsoleEvent) {
    const int event = self->consoleEvent_.load();
    if (event >= 0) self->End(ConsoleEventName(static_cast<DWORD>(event)), 0);
    return 0;
  }
  // Closed only with the process: a WM_CLOSE from another program would destroy the window
  // and leave the reading thread without its way to the page thread.
  if (msg == WM_CLOSE) return 0;
  return DefWindowProcW(hwnd, msg, wp, lp);
}

BOOL WINAPI Session::OnConsoleEvent(DWORD event) {
  // On the system's handler thread: the page thread releases and ends the process (it may
  // be inside a card command; Windows ends us anyway some seconds after a close).
  if (g_session == nullptr || g_session->window_ == nullptr) return FALSE;
  g_session->consoleEvent_.store(static_cast<int>(event));
  PostMessageW(g_session->window_, kConsoleEvent, 0, 0);
  Sleep(INFINITE);
  return TRUE;
}

void ExitNow(int exitCode) {
  // Not the C runtime's detach either: the reading thread may hold its lock of stdin.
  TerminateProcess(GetCurrentProcess(), static_cast<UINT>(exitCode));
  _exit(exitCode);
}

}  // namespace quilta::nmhost
