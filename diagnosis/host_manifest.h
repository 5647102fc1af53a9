// A native-messaging host manifest as the browsers read it, for the help-desk checks: whether
// it names our host with type stdio, the program it names, and whether it lets exactly the
// bank's web-ATM extension in. Where the manifest is found and whether its program is there
// are the platform's (doctor/browsers.cpp, nmhost/check_win32.cpp).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "diagnosis/report.h"

namespace quilta::diagnosis {

// What the build says the bridge is called and whom it serves.
struct Identity {
  std::string hostName;    // the native-messaging host's name
  std::string chromiumId;  // the extension's id in Chromium, Google Chrome and Edge
  std::string geckoId;     // the extension's id in Firefox
};

struct HostManifest {
  // Why no browser would take it as our host's ("it is not a host manifest", "it does not
  // name the host ...", "its type is not stdio"); empty when its name and type are right.
  std::string invalid;
  std::string program;  // its "path" as written; empty when it names none
  bool hasAllowed = false;  // whether it has the browser's list (see AllowedListKey)
  std::vector<std::string> allowed;
};

// The manifest's list of extensions it lets in: allowed_extensions for Firefox (gecko),
// allowed_origins for the others; and the one entry it must hold.
const char* AllowedListKey(bool gecko);
std::string OurAllowedEntry(const Identity& id, bool gecko);

HostManifest ReadHostManifest(std::string_view text, const Identity& id, bool gecko);

// When the manifest's list is not exactly our extension: adds the failure bridge-extension-id
// ("<browser>'s bridge file <shown> lets another extension use the card program ...: <fix>.")
// and returns false. Returns true (and adds nothing) when the list is right. The caller has
// made sure the manifest has the list (hasAllowed).
bool CheckAllowed(const HostManifest& m, const Identity& id, bool gecko, const std::string& browser,
                  const std::string& shown, const std::string& fix, Report& report);

}  // namespace quilta::diagnosis
