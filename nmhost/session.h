// The card session on Linux (the contract: nmhost/session_base.h).
//
//  - stdout's private copy is close-on-exec; descriptor 1 points at stderr, and stdin of
//    anything started later (the dialog helper) reads /dev/null.
//  - The loop is the thread's default GLib main context, the one the dialogs pump while they
//    wait on the person; stdin is a source there that may run while the context dispatches.
//  - The system's requests to stop are SIGTERM, SIGINT and SIGHUP.
#pragma once

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
  static int OnInput(int fd, unsigned condition, void* self);
  static int OnSignal(void* self);
  static int OnHeldFrames(void* self);

  // Reads what stdin holds and answers every whole frame.
  void ReadInput();
  void QueueHeldFrames() override;

};

}  // namespace quilta::nmhost
