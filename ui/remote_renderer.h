// The Linux renderer on the plug-in's side: draws dialogs through the helper process
// quilta-dialogs (GTK3), talking to it over a socket pair (ui/helper_process.h). The helper is
// started with the process's first dialog and kept for the next ones (ui/warm_helper.h): a
// renderer takes it at its first Open or message box and gives it back, with its windows
// closed, when it is destroyed. While it waits for the person, it keeps iterating the
// thread's GLib main context so that the browser goes on painting and handling its own
// events. Only GLib is linked here, never GTK: the browser may hold a GTK of another major
// version in this process.
//
// The helper is looked up next to the module that holds this code (the plug-in, or the
// program that links it: the native-messaging host), and nowhere else: nothing in the
// environment can put another program in its place (it draws the consent and keypad
// dialogs).
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "ui/dialog_wire.h"
#include "ui/helper_process.h"
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

  // False at once without a display or when no helper can be started (a helper kept from an
  // earlier dialog that has gone away since is started again). The window is built here and
  // appears at the first WaitEvent, OpenMessageBox or Sync, once the dialog has set it up (a
  // dialog that ends during its set-up is never seen).
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

  // The process id of the helper this renderer holds, or -1 when it holds none.
  pid_t HelperPid() const { return helper_ ? helper_->Pid() : -1; }

  // Where the helper is looked for by default.
  static std::string DefaultHelperPath();
  // Whether a display is configured for this process.
  static bool HasDisplay();

 private:
  // Holds a live helper: the one held, else one taken (ui/warm_helper.h).
  bool EnsureHelper();
  // Sends the Open of `m` and waits for the helper's answer; false when it refused, went
  // away or did not answer in time.
  bool SendOpen(const wire::OpenMsg& m);
  // Shows the opened dialog once it has been set up: at the first wait, message box or sync.
  void ShowIfNeeded();
  void SendFrame(const std::vector<uint8_t>& frame);
  bool Gone() const { return !helper_ || helper_->Gone(); }
  void HandleFrame(wire::Msg type, std::span<const uint8_t> body);
  // Closes what is open on the helper and gives it back for the next dialog.
  void ReleaseHelper();

  std::string helperPath_;
  bool pathGiven_ = false;
  std::unique_ptr<HelperProcess> helper_;
  bool dialogOpen_ = false;
  bool needShow_ = false;
  bool openAnswered_ = false;
  bool openOk_ = false;
  uint32_t pongToken_ = 0;
  uint64_t ownerWindow_ = 0;
  std::optional<Geometry> geometry_;
  std::deque<UiEvent> events_;
};

}  // namespace quilta::ui
