// One page connection on Windows: quilta-nmhost.exe as the browser starts it when the
// extension opens a native port for a page. The same contract as the Linux session
// (nmhost/session.h), in Windows terms:
//
//  - Requests arrive as frames on stdin and are answered on stdout, one answer per request,
//    in the order they are taken. Both are switched to binary mode first: in the C runtime's
//    text mode a CR LF in a frame would be read as LF, a 0x1A as the end of input, and every
//    LF written as CR LF, breaking the lengths. stdout carries only frames: the session
//    writes to a private copy of it and points descriptor 1 (and the process's standard
//    output handle) at stderr, or at NUL when there is no stderr.
//  - A thread of its own reads stdin and hands what it read to the page thread through a
//    message to a message-only window. The message only wakes the page thread: the bytes and
//    the end of input are what the reading thread queued, the console event what the
//    console handler recorded, so another program posting to the window (the session's
//    messages, WM_CLOSE, WM_QUIT) neither ends the session nor feeds it. The page thread
//    runs a message loop; the Win32 dialogs pump the same thread's messages while they wait
//    on the person, so a request that arrives while a dialog is open is taken there and
//    then, as the plug-in's browser calls into it during its dialogs: the script layer
//    refuses method calls (6009) and property writes, and answers reads. So is one that had
//    already been read together with the request that opened the dialog.
//  - The end: at the end of input, when stdout is closed, on a frame longer than kMaxFrame
//    (answered once with "frame-too-long"), and on a console's Ctrl+C, Ctrl+Break or close
//    (also during a dialog), the session releases the card (DisconnectCard) and the PC/SC
//    context (DisconnectDriver) it opened and ends the process. A malformed request inside
//    a whole frame is answered ("bad-request") and the session goes on.
//  - Log lines go to stderr, or to the file named by QUILTA_NMHOST_LOG (appended). They name
//    the operation and member of a failed request, never argument values (PINs).
#pragma once

#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>

#include "core/atm_core.h"
#include "nmhost/session_base.h"

namespace quilta::nmhost {

class Session final : public SessionBase {
 public:
  // Takes over descriptors 0 and 1 as described above.
  explicit Session(CAtmCore& core);

  // Runs until the session ends; never returns.
  [[noreturn]] void Run();

 private:
  // Reads stdin until its end, queueing the bytes for the page thread.
  void ReadLoop();
  // On the page thread: takes the queued bytes and answers every whole frame.
  void TakeInput();
  void QueueHeldFrames() override;
  bool WriteOut(const std::string& frame) override;

  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  static BOOL WINAPI OnConsoleEvent(DWORD event);

  int in_ = -1;
  int out_ = -1;
  HWND window_ = nullptr;  // the message-only window the reading thread posts to
  std::atomic<int> consoleEvent_{-1};  // set by the console handler only

  std::mutex lock_;       // guards the two below, shared with the reading thread
  std::string pending_;   // read, not yet taken by the page thread
  bool inputEnded_ = false;
};

}  // namespace quilta::nmhost
