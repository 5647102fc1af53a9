// Whether the bank's web-ATM extension is added in a browser's profiles, for the help-desk
// checks: a Chromium-kind browser (Chromium, Google Chrome, Edge) keeps an added extension
// under <profile>/Extensions/<id> or names its id in Preferences or Secure Preferences;
// Firefox keeps it as <profile>/extensions/<gecko id>.xpi or lists it in extensions.json.
// Only reads files, through the platform's own file access.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "diagnosis/host_manifest.h"
#include "diagnosis/report.h"

namespace quilta::diagnosis {

// The file system as the check reads it; paths in UTF-8 with the platform's separator.
class ProfileFiles {
 public:
  virtual ~ProfileFiles() = default;
  virtual char Separator() const = 0;
  virtual bool Exists(const std::string& path) const = 0;
  virtual bool IsFile(const std::string& path) const = 0;
  virtual bool IsDir(const std::string& path) const = 0;
  // The names of the folders in `dir`, sorted.
  virtual std::vector<std::string> SubFolders(const std::string& dir) const = 0;
  // The file's first `limit` bytes; nullopt when it cannot be read.
  virtual std::optional<std::string> Read(const std::string& path, size_t limit) const = 0;
};

// One finding for the browser named `browser` whose profiles are the folders of `base`
// (shown to the customer as `shownBase`): extension (ok), extension-missing or
// extension-unreadable (warnings: the page says so itself when the extension is missing).
void CheckExtension(const std::string& browser, const std::string& base,
                    const std::string& shownBase, bool gecko, const Identity& id,
                    const ProfileFiles& files, Report& report);

}  // namespace quilta::diagnosis
