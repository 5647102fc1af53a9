// What dialog logic asks of a renderer, and what a renderer reports back. The dialog logic
// (timers, countdown, card watch, keypad checks, card exchange) runs in the plug-in on the
// page's thread; a renderer only draws and reports the person's input. Implementations:
// the GTK3 helper process (through RemoteRenderer) and the scripted customer of tests and
// the demo.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "ui/dialog_template.h"

namespace quilta::ui {

struct UiEvent {
  enum class Kind : uint8_t {
    Command,   // a button was clicked (id), including keypad keys; Enter reports the default button
    Escape,    // the Esc key
    CloseBox,  // the window's close box
    Closed,    // the renderer went away (helper died, display lost)
    MessageBoxClosed,  // the person closed a message box opened with OpenMessageBox
  };
  Kind kind = Kind::Command;
  int32_t id = 0;
};

class Renderer {
 public:
  virtual ~Renderer() = default;

  // Opens the dialog window for the template, centred and on top, with this caption (the
  // template's own caption when the dialog keeps it). False when it cannot be shown.
  virtual bool Open(const DialogTemplate& tmpl, const std::u16string& caption) = 0;
  virtual void SetText(int32_t id, const std::u16string& text) = 0;
  virtual void Enable(int32_t id, bool enabled) = 0;
  virtual void Focus(int32_t id) = 0;
  // Shows a message box with one OK button and returns at once; WaitEvent reports
  // MessageBoxClosed when the person has closed it (one per box). The box is modal over the
  // open dialog, whose input stops meanwhile, and goes away with the dialog. Also called on
  // a renderer that was never opened (ui::ShowMessageBox, a message of the transactions
  // between two dialog runs), where the active window is the owner. False when no box can
  // be shown (no MessageBoxClosed follows).
  virtual bool OpenMessageBox(const std::u16string& text, const std::u16string& caption) = 0;
  virtual void Close() = 0;

  // Waits up to timeoutMs for the next input event; nullopt when none came in time.
  // Real renderers keep the browser's event loop running while they wait.
  virtual std::optional<UiEvent> WaitEvent(int64_t timeoutMs) = 0;

  // A message box on its own (ui::ShowMessageBox): shown, then waited for until the person
  // closes it or the renderer goes away. A running dialog waits for its boxes itself, with
  // its timers going on (ui/modal.cpp).
  void MessageBox(const std::u16string& text, const std::u16string& caption) {
    if (!OpenMessageBox(text, caption)) return;
    for (;;) {
      const std::optional<UiEvent> ev = WaitEvent(-1);
      if (ev && (ev->kind == UiEvent::Kind::MessageBoxClosed || ev->kind == UiEvent::Kind::Closed))
        return;
    }
  }
};

// The plug-in's own renderer for real dialogs: on Linux the GTK3 helper process, defined in
// ui/remote_renderer.cpp. ui/CMakeLists.txt builds that file and defines
// QUILTA_HAVE_DEFAULT_RENDERER when it exists; without it there is no default renderer and
// every dialog run ends with -1. May return nullptr (no display, helper cannot start); a
// renderer whose Open fails ends the run with -1 as well.
std::unique_ptr<Renderer> MakeDefaultRenderer();

}  // namespace quilta::ui
