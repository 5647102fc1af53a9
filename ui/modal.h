// The modal run: one dialog object driven against a Renderer on the page's thread. The
// dialog logic (set-up, 1,000 ms timers, commands, the end code) lives in the dialog classes;
// the renderer only draws and reports the person's input. A run holds the caller's modal
// marker (ui/modal_host.h) and reaches the card only through the card channel it is given.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "base/status.h"
#include "base/text.h"
#include "card/channel.h"
#include "ui/control_ids.h"
#include "ui/dialog_template.h"
#include "ui/modal_host.h"
#include "ui/renderer.h"

namespace quilta::ui {

// Dialog end codes with a meaning of their own (defined with the status path).
namespace result = quilta::dialog_end;

// Milliseconds on a monotonic clock. Real time for the plug-in; virtual time for tests and
// the scripted demo, where the scripted customer moves the clock while it "waits".
class Clock {
 public:
  virtual ~Clock() = default;
  virtual int64_t NowMs() = 0;
};
Clock& RealClock();

// Where dialogs are shown: a renderer per dialog and the clock its timers run on.
class DialogEnv {
 public:
  virtual ~DialogEnv() = default;
  // A renderer for one dialog or one message box; nullptr when nothing can be shown.
  virtual std::unique_ptr<Renderer> MakeRenderer() = 0;
  virtual Clock& GetClock() = 0;
};

// The plug-in's own environment: MakeDefaultRenderer() and real time.
DialogEnv& DefaultEnv();
// The environment dialogs run in when the caller names none: the default, or the one
// installed through the development hook below.
DialogEnv& CurrentEnv();

// Development hook: runs every later dialog of the process in `env` (a scripted customer
// standing in for the person) instead of real windows; nullptr restores the default. This
// is a C++ function on purpose: no page can reach it. Only test programs and the page-script
// host of the demo call it.
void SetDialogEnvForDevelopment(DialogEnv* env);

// Restores the previous environment when it goes out of scope (tests).
class ScopedDialogEnv {
 public:
  explicit ScopedDialogEnv(DialogEnv* env);
  ~ScopedDialogEnv();
  ScopedDialogEnv(const ScopedDialogEnv&) = delete;
  ScopedDialogEnv& operator=(const ScopedDialogEnv&) = delete;

 private:
  DialogEnv* previous_;
};

// What a dialog runs against: the modal marker it holds while it waits on the person, the
// card channel its card commands and presence queries go through, and the reader the page
// named (ReaderName in PC/SC's spelling; the confirmations watch it).
struct DialogSite {
  ModalHost& modal;
  card::Channel& channel;
  std::string reader;
};

// A message box of its own (no dialog open), as the transactions show between dialog runs
// ("卡已被拔出..請確認再試!"). Owner: the active window. It waits on the person like a dialog
// and holds the modal marker meanwhile, so page calls are refused (6009) until it is closed.
// Does nothing when no renderer can be made.
void ShowMessageBox(ModalHost& modal, const Text& text, const Text& caption,
                    DialogEnv* env = nullptr);

class ModalRun;

// Base of every dialog class. A dialog is constructed on its caller's frame, filled, run
// (once or several times) and destroyed with the frame.
class Dialog {
 public:
  virtual ~Dialog() = default;
  Dialog(const Dialog&) = delete;
  Dialog& operator=(const Dialog&) = delete;

  int32_t TemplateNumber() const { return templateNumber_; }

  // Runs the dialog modally against `site` and returns its end code (DialogResult). −1 when
  // the template is missing or nothing can be shown. Without an environment, CurrentEnv() is
  // used.
  int32_t Run(const DialogSite& site, DialogEnv* env = nullptr);

 protected:
  explicit Dialog(int32_t templateNumber) : templateNumber_(templateNumber) {}

  // The caption the window opens with: the template's own unless a class replaces it.
  virtual Text Caption(const DialogTemplate& tmpl) const { return Text(tmpl.caption); }
  virtual void OnInit() {}
  // A 1,000 ms window timer fired (the id given to SetTimer).
  virtual void OnTimer(int32_t /*id*/) {}
  // A command: OK (1, also Enter), Cancel (2, also Esc and the close box), or another button.
  virtual void OnCommand(int32_t id);

  // ---- What a handler may do with its window (only while the dialog runs) ----
  void SetText(int32_t id, const Text& text);
  void Enable(int32_t id, bool enabled);
  void Focus(int32_t id);
  // A message box owned by the dialog, one OK button; returns when it is closed, or when
  // the dialog ended meanwhile. The dialog's timers keep running under the box.
  void MessageBox(const Text& text, const Text& caption = Text());
  // Ends the dialog with `code` once the running handler has returned; the handler goes on.
  // The first end code of a run stands.
  void EndDialog(int32_t code);
  void SetTimer(int32_t id, int32_t periodMs);
  bool Ending() const;
  // The site of the running dialog.
  const DialogSite& Site() const;
  // Milliseconds on the clock the dialog's timers run on.
  int64_t ClockMs() const;

 private:
  friend class ModalRun;
  int32_t templateNumber_;
  ModalRun* run_ = nullptr;
};

}  // namespace quilta::ui
