// The card session on Windows, quilta-nmhost.exe as the browser starts it (the contract:
// nmhost/session_base.h).
//
//  - stdin and stdout are switched to binary mode first: in the C runtime's text mode a CR LF
//    in a frame would be read as LF, a 0x1A as the end of input, and every LF written as
//    CR LF, breaking the lengths. Descriptor 1 (and the process's standard output handle)
//    points at stderr, or at NUL when there is no stderr; the private copy is not inherited.
//  - A thread of its own reads stdin and hands what it read to the page thread through a
//    message to a message-only window. The message only wakes the page thread: the bytes and
//    the end of input are what the reading thread queued, the console event what the
//    console handler recorded, so another program posting to the window (the session's
//    messages, WM_CLOSE, WM_QUIT) neither ends the session nor feeds it.
//  - The loop is the page thread's message loop; the Win32 dialogs pump the same thread's
//    messages while they wait on the person.
//  - The system's requests to stop are a console's Ctrl+C, Ctrl+Break and close.
#pragma once

#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>

#include "nmhost/session_base.h"

namespace quilta::nmhost {

class Session final : public SessionBase {
 public:
  // Takes over descriptors 0 and 1 as described above; serves the process's core.
  Session();

  // Runs until the session ends; never returns.
  [[noreturn]] void Run();

 private:
  // Reads stdin until its end, queueing the bytes for the page thread.
  void ReadLoop();
  // On the page thread: takes the queued bytes and answers every whole frame.
  void TakeInput();
  void QueueHeldFrames() override;

  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  static BOOL WINAPI OnConsoleEvent(DWORD event);

  HWND window_ = nullptr;  // the message-only window the reading thread posts to
  std::atomic<int> consoleEvent_{-1};  // set by the console handler only

  std::mutex lock_;       // guards the two below, shared with the reading thread
  std::string pending_;   // read, not yet taken by the page thread
  bool inputEnded_ = false;
};

}  // namespace quilta::nmhost
