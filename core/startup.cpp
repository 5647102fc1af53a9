// The script layer's start-up: the process's one core, its dialogs, their owner window and
// font faces, and the release at a host's end (core/script.h).
#include "core/script.h"

#include <algorithm>

#include "core/atm_core.h"
#include "ui/dialog_template.h"
#if !defined(_WIN32)
#include "ui/remote_renderer.h"
#endif

namespace quilta {

CAtmCore& ProcessCore() {
  static CAtmCore* core = new CAtmCore();  // never destroyed: lives until the process ends
  return *core;
}

void StartScriptLayer() {
  // The dialogs' windows are the platform's own (ui's default renderer: the GTK helper
  // process here, Win32 dialogs on Windows) unless a development host put a scripted
  // customer in their place; what is installed on the core is the reader-PIN dialog.
  ProcessCore().InstallDialogs();
}

void SetOwnerWindow(uint64_t window) {
#if !defined(_WIN32)
  ui::RemoteRenderer::SetProcessOwnerWindow(window);
#else
  (void)window;
#endif
}

std::vector<std::u16string_view> DialogFontFaces() {
  std::vector<std::u16string_view> faces;
  for (const ui::DialogTemplate& t : ui::AllTemplates()) {
    if (t.fontFace == u"System") continue;
    if (std::find(faces.begin(), faces.end(), t.fontFace) == faces.end())
      faces.push_back(t.fontFace);
  }
  return faces;
}

Released ReleaseCardSession() {
  CAtmCore& core = ProcessCore();
  Released r;
  if (core.channel().handle != 0) r.card = core.DisconnectCard();
  if (core.channel().context != 0) r.driver = core.DisconnectDriver();
  return r;
}

}  // namespace quilta
