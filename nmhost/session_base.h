// One card session of the bank's site, as the native-messaging host keeps it on every
// platform: the host process the browser starts when the extension opens a native port for a
// bank origin (scheme, host and port) in one browser profile. The extension sends it the
// requests of every page of that origin, each with its own page's URL, and closes its input a
// grace period after the origin's last page went.
//
//  - Requests arrive as frames on stdin and are answered on stdout, one answer per request,
//    in the order they are taken. stdout carries only frames: the session writes to a
//    private copy of it and points descriptor 1 away from it, so that nothing else in the
//    process (libraries, the dialogs) can break the frame stream.
//  - The session runs on the loop the dialogs pump while they wait on the person. A request
//    that arrives while a dialog is open is taken there and then, as the plug-in's browser
//    calls into it during its dialogs: the script layer refuses method calls (6009) and
//    property writes, and answers reads. So is one that had already been read together with
//    the request that opened the dialog.
//  - The end: at the end of input, when stdout is closed, on a frame longer than kMaxFrame
//    (answered once with "frame-too-long"), and when the system asks the process to stop
//    (also during a dialog), the session releases the card (DisconnectCard) and the PC/SC
//    context (DisconnectDriver) it opened and ends the process. A malformed request inside a
//    whole frame is answered ("bad-request") and the session goes on.
//  - Log lines go to stderr, or to the file named by QUILTA_NMHOST_LOG (appended). They name
//    the operation and member of a failed request, never argument values (PINs).
//
// SessionBase is that contract's shared part: whole frames taken off the reader and answered
// in order, the answer written as one frame, and the release at the end. Each platform's
// Session (nmhost/session.h on Linux, nmhost/session_win32.h on Windows) takes over stdin and
// stdout, runs the loop, says what stops it, and fills in the hooks below.
#pragma once

#include <string>

#include "nmhost/bridge.h"
#include "nmhost/frame.h"

namespace quilta::nmhost {

class SessionBase {
 public:
  SessionBase(const SessionBase&) = delete;
  SessionBase& operator=(const SessionBase&) = delete;

 protected:
  SessionBase() = default;
  ~SessionBase() = default;

  // Answers the whole frames held in reader_, in order. Each frame is taken off the reader
  // before it is answered: a dialog that runs while it is answered may take the next ones.
  // Those already read no longer make stdin readable, so QueueHeldFrames() is asked to have
  // the running loop (the dialog's too) call TakeFrames() again; without a dialog this loop
  // takes them itself and that call finds nothing.
  void TakeFrames();
  // Writes `payload` as one frame; a closed stdout ends the session.
  void Send(const std::string& payload);
  // Releases the card and the context, logs `reason` and ends the process.
  [[noreturn]] void End(const char* reason, int exitCode);

  // The platform's part: have TakeFrames() called soon from the loop that is running, with
  // heldFramesQueued_ cleared first.
  virtual void QueueHeldFrames() = 0;

  Bridge bridge_;  // over the process's core
  FrameReader reader_;
  bool heldFramesQueued_ = false;
  // The private copies of stdin and stdout the platform's session took (-1: none).
  int in_ = -1;
  int out_ = -1;
};

// Writes all of `data` to the descriptor; false when it cannot (the platform's).
bool WriteAll(int fd, const char* data, size_t size);

// Ends the process with nothing else running: not the dialog that may be open below the
// caller, not static destructors.
[[noreturn]] void ExitNow(int exitCode);

// A log line (with the program name and process id) on stderr or QUILTA_NMHOST_LOG.
void Log(const std::string& line);

// Logs who started the host: Chromium and Edge pass the calling extension's origin (and on
// Windows --parent-window), Firefox the manifest path and the extension's id.
void LogCaller(int argc, char** argv);

}  // namespace quilta::nmhost
