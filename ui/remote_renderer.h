// The Linux renderer on the plug-in's side: draws dialogs through the helper process
// quilta-dialogs (GTK3), which it starts on demand and talks to over a socket pair. While it
// waits for the person, it keeps iterating the thread's GLib main context so that the
// browser goes on painting and handling its own events. Only GLib is linked here, never GTK:
// the browser may hold a GTK of another major version in this process.
//
// The helper is looked up next to the module that holds this code (the plug-in, or the
// program that links it: the native-messaging host), and nowhere else: nothing in the
// environment can put another program in its place (it draws the consent and keypad
// dialogs).
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "ui/dialog_wire.h"
#include "ui/renderer.h"

namespace quilta::ui {

class RemoteRenderer final : public Renderer {
 public:
  // The helper found as described above.
  RemoteRenderer();
  // A helper at this path (tests).
  explicit RemoteRenderer(std::string helperPath);
  ~RemoteRenderer() override;
  RemoteRenderer(const RemoteRenderer&) = delete;
  RemoteRenderer& operator=(const RemoteRenderer&) = delete;

  // False at once without a display or when the helper cannot be started. The window is
  // built here and appears at the first WaitEvent, OpenMessageBox or Sync, once the dialog has set
  // it up (a dialog that ends during its set-up is never seen).
  bool Open(const DialogTemplate& tmpl, const std::u16string& caption) override;
  void SetText(int32_t id, const std::u16string& text) override;
  void Enable(int32_t id, bool enabled) override;
  void Focus(int32_t id) override;
  // The box's closing is reported by WaitEvent (MessageBoxClosed), also when it went away
  // with the dialog's window; boxes of a dialog already closed are not reported.
  bool OpenMessageBox(const std::u16string& text, const std::u16string& caption) override;
  void Close() override;
  // Negative timeoutMs waits without limit. A helper that went away reports Closed (on every
  // call until the next Open).
  std::optional<UiEvent> WaitEvent(int64_t timeoutMs) override;

  // The X11 window that keypad dialogs centre over (the browser window); 0 for none.
  void SetOwnerWindow(uint64_t window) { ownerWindow_ = window; }
  // The same for every renderer made afterwards in this process (the NPAPI binding can pass
  // the browser window it gets from the browser).
  static void SetProcessOwnerWindow(uint64_t window);

  // What the helper made of the open dialog: the font's base units and the client size.
  struct Geometry {
    int baseX = 0, baseY = 0;
    int clientWidth = 0, clientHeight = 0;
  };
  std::optional<Geometry> OpenedGeometry() const { return geometry_; }

  // Waits until the helper has handled and painted everything sent so far. False when the
  // helper is gone.
  bool Sync();

  // The helper's process id, or -1 when none runs.
  pid_t HelperPid() const { return pid_; }

  // Where the helper is looked for by default.
  static std::string DefaultHelperPath();
  // Whether a display is configured for this process.
  static bool HasDisplay();

 private:
  bool EnsureHelper();
  // Shows the opened dialog once it has been set up: at the first wait, message box or sync.
  void ShowIfNeeded();
  void StopHelper();
  void SendFrame(const std::vector<uint8_t>& frame);
  // Runs the event loop until done() holds, the helper dies or timeoutMs passes (negative:
  // no limit). Returns done().
  bool PumpUntil(const std::function<bool()>& done, int64_t timeoutMs);
  void ReadAvailable();
  void HandleFrame(uint8_t type, std::span<const uint8_t> body);
  void MarkDead();

  std::string helperPath_;
  bool pathGiven_ = false;
  int fd_ = -1;
  pid_t pid_ = -1;
  bool greeted_ = false;
  bool dead_ = false;
  bool dialogOpen_ = false;
  bool needShow_ = false;
  uint32_t opensSent_ = 0;  // Open messages sent to the current helper
  bool openAnswered_ = false;
  bool openOk_ = false;
  // Message boxes sent to the current helper, those it reported closed, and how many of the
  // reports still to come belong to a dialog already closed (they are dropped).
  uint32_t boxesSent_ = 0;
  uint32_t boxesDone_ = 0;
  uint32_t staleBoxes_ = 0;
  uint32_t pingToken_ = 0;
  uint32_t pongToken_ = 0;
  uint64_t ownerWindow_ = 0;
  std::optional<Geometry> geometry_;
  std::deque<UiEvent> events_;
  wire::FrameSplitter in_;
};

}  // namespace quilta::ui
