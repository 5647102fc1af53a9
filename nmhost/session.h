// One card session of the bank's site: the host process the browser starts when the
// extension opens a native port for a bank origin (scheme, host and port) in one browser
// profile. The extension sends it the requests of every page of that origin, each with its
// own page's URL, and closes its input a grace period after the origin's last page went.
//
//  - Requests arrive as frames on stdin and are answered on stdout, one answer per request,
//    in the order they are taken. stdout carries only frames: the session writes to a
//    private copy of it and points descriptor 1 at stderr, so that nothing else in the
//    process (libraries, the dialog helper) can break the frame stream.
//  - The session runs on the thread's default GLib main context, the one the dialogs pump
//    while they wait on the person. A request that arrives while a dialog is open is taken
//    there and then, as the plug-in's browser calls into it during its dialogs: the script
//    layer refuses method calls (6009) and property writes, and answers reads. So is one that
//    had already been read together with the request that opened the dialog.
//  - The end: at the end of input, when stdout is closed, on a frame longer than kMaxFrame
//    (answered once with "frame-too-long"), and on SIGTERM, SIGINT or SIGHUP (also during a
//    dialog), the session releases the card (DisconnectCard) and the PC/SC context
//    (DisconnectDriver) it opened and ends the process. A malformed request inside a whole
//    frame is answered ("bad-request") and the session goes on.
//  - Log lines go to stderr, or to the file named by QUILTA_NMHOST_LOG (appended). They name
//    the operation and member of a failed request, never argument values (PINs).
#pragma once

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
  static int OnInput(int fd, unsigned condition, void* self);
  static int OnSignal(void* self);
  static int OnHeldFrames(void* self);

  // Reads what stdin holds and answers every whole frame.
  void ReadInput();
  void QueueHeldFrames() override;
  bool WriteOut(const std::string& frame) override;

  int in_ = -1;
  int out_ = -1;
};

}  // namespace quilta::nmhost
