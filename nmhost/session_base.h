// What the Linux and Windows sessions of the native-messaging host share: whole frames taken
// off the reader and answered in order, the answer written as one frame, and the release of
// the card and the PC/SC context at the end. The platform's session reads stdin, runs the
// loop the dialogs pump, and fills in the hooks below.
#pragma once

#include <string>

#include "core/atm_core.h"
#include "nmhost/bridge.h"
#include "nmhost/frame.h"

namespace quilta::nmhost {

class SessionBase {
 public:
  SessionBase(const SessionBase&) = delete;
  SessionBase& operator=(const SessionBase&) = delete;

 protected:
  explicit SessionBase(CAtmCore& core) : core_(core), bridge_(core) {}
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
  // Writes all of `frame` to the private copy of stdout.
  virtual bool WriteOut(const std::string& frame) = 0;

  CAtmCore& core_;
  Bridge bridge_;
  FrameReader reader_;
  bool heldFramesQueued_ = false;
};

// Ends the process with nothing else running: not the dialog that may be open below the
// caller, not static destructors.
[[noreturn]] void ExitNow(int exitCode);

// A log line (with the program name and process id) on stderr or QUILTA_NMHOST_LOG.
void Log(const std::string& line);

// Logs who started the host: Chromium and Edge pass the calling extension's origin (and on
// Windows --parent-window), Firefox the manifest path and the extension's id.
void LogCaller(int argc, char** argv);

}  // namespace quilta::nmhost
