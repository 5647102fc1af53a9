// The doctor's checks, from the smart-card service to the dialogs' font. Each adds its
// findings to the report and changes nothing on the machine: no file is written, and the
// card hears only the selection of its financial application.
#pragma once

#include <string>

#include "diagnosis/host_manifest.h"
#include "diagnosis/report.h"
#include "platform/pcsc.h"

namespace quilta::doctor {

using diagnosis::Finding;
using diagnosis::Identity;
using diagnosis::Level;
using diagnosis::Quoted;
using diagnosis::Report;

// Where files are looked for: every absolute path below `root` ("" for the machine itself),
// the user's folders below `home`.
struct Places {
  std::string root;
  std::string home;

  std::string System(const std::string& absolute) const { return root + absolute; }
  std::string User(const std::string& relative) const { return home + "/" + relative; }
};

// The smart-card library (libpcsclite.so.1, which the platform layer loads), then the road
// the shared check follows (diagnosis/smart_cards.h) in pcscd's words.
void CheckSmartCards(platform::Pcsc& pcsc, Report& report);

// The NPAPI plug-in folder: the module and its dialog helper next to it.
void CheckPluginFolder(const Places& places, Report& report);

// For each browser installed: its host manifest (the one it reads first), the host program it
// names, the extension it lets in; then the extension in the user's profiles.
void CheckBrowsers(const Places& places, const Identity& identity, Report& report);

// A display for the dialogs, and the font they are drawn in.
void CheckDesktop(Report& report);

}  // namespace quilta::doctor
