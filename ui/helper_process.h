// One running dialog helper (quilta-dialogs) and the stream socket to it, on the plug-in's
// side: started with the environment of the display it draws on, greeted (its Hello answered
// with ours), spoken to in the frames of ui/dialog_wire.h, stopped. Only GLib is used here,
// never GTK (ui/remote_renderer.h says why).
//
// The helper ends when its socket closes: Stop, the end of this object, the end of this
// process (its descriptors close with it); and, should a copy of the socket live on in a
// process forked from this one, when this process ends (the helper watches it).
//
// A helper serves one dialog after another (ui/warm_helper.h). What has been said to it over
// its life is kept here, so that whatever it still reports about an earlier dialog is told
// apart from the present one's input: the Opens it has been sent (it names each dialog's
// events by that count), the message boxes sent and reported closed, and the tokens of Ping.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "ui/dialog_wire.h"

namespace quilta::ui {

class HelperProcess {
 public:
  // Receives each frame of the helper while the caller waits in PumpUntil or checks Alive.
  using FrameHandler = std::function<void(wire::Msg type, std::span<const uint8_t> body)>;

  // Starts the helper at `path` and waits for its greeting. nullptr without a display, when
  // the program cannot be started, or when it has not greeted in time (a helper that cannot
  // open the display exits instead).
  static std::unique_ptr<HelperProcess> Start(const std::string& path);
  ~HelperProcess();  // Stop()
  HelperProcess(const HelperProcess&) = delete;
  HelperProcess& operator=(const HelperProcess&) = delete;

  // Closes the socket and waits for the helper to end (it is killed when it has not ended
  // within two seconds). In a process forked from the one that started it, only this
  // process's copy of the socket is closed.
  void Stop();

  // nullptr: frames are read and dropped (boxes are still counted, below).
  void SetHandler(FrameHandler handler) { handler_ = std::move(handler); }
  // A helper that does not take a frame within five seconds is taken for gone.
  void Send(const std::vector<uint8_t>& frame);
  // Runs the thread's GLib main context (the browser's loop goes on) until done() holds, the
  // helper goes away or timeoutMs passes (negative: no limit). Returns done(). When another
  // thread owns the context, waits on the socket alone.
  bool PumpUntil(const std::function<bool()>& done, int64_t timeoutMs);
  // Takes what has arrived without waiting. False once the helper is gone.
  bool Alive();
  bool Gone() const { return gone_; }
  pid_t Pid() const { return pid_; }
  // True until something has been sent after the greeting.
  bool Fresh() const { return fresh_; }
  // The display this helper draws on (DisplayKey() when it was started).
  const std::string& Display() const { return display_; }
  const std::string& Path() const { return path_; }
  // False in a process forked from the one that started the helper.
  bool OfThisProcess() const;

  // The number the helper gives the dialog of the Open about to be sent, and of the last one.
  uint32_t CountOpen() { return ++opens_; }
  uint32_t Opens() const { return opens_; }
  // A message box is about to be sent. Its closing reaches the handler as MessageBoxDone,
  // unless ForgetOpenBoxes came first.
  void CountBox() { ++boxesSent_; }
  // The boxes still open go away (with their dialog, or the helper is handed on): their
  // closings, when the helper reports them, are dropped here.
  void ForgetOpenBoxes() { staleBoxes_ = boxesSent_ - boxesDone_; }
  // A Ping token never used with this helper before.
  uint32_t NextPingToken() { return ++pingToken_; }

 private:
  HelperProcess() = default;
  void ReadAvailable();
  void Dispatch(wire::Msg type, std::span<const uint8_t> body);
  void MarkGone() { gone_ = true; }

  std::string path_;
  std::string display_;
  int fd_ = -1;
  pid_t pid_ = -1;
  pid_t startedBy_ = -1;  // the process that started the helper (its parent)
  bool gone_ = false;
  bool fresh_ = true;
  bool greeted_ = false;
  FrameHandler handler_;
  wire::FrameSplitter in_;
  uint32_t opens_ = 0;
  uint32_t boxesSent_ = 0;
  uint32_t boxesDone_ = 0;
  uint32_t staleBoxes_ = 0;
  uint32_t pingToken_ = 0;
};

// Whether a display is configured for this process (DISPLAY or WAYLAND_DISPLAY).
bool HasDisplay();
// The display settings of this process, as one text that differs when either differs.
std::string DisplayKey();
// The helper next to the module that holds this code (the plug-in, or the program that
// links it: the native-messaging host); empty when that cannot be told.
std::string DefaultHelperPath();

}  // namespace quilta::ui
