#include "diagnosis/profiles.h"

namespace quilta::diagnosis {
namespace {

// Browser profile files are read only up to this size (Chromium's Preferences grow large).
constexpr size_t kMaxProfileFile = 64 << 20;

enum class Seen { kYes, kNo, kUnreadable };

std::string Joined(const std::vector<std::string>& items) {
  std::string out;
  for (const std::string& s : items) out += (out.empty() ? "" : ", ") + s;
  return out;
}

class Profile {
 public:
  Profile(const ProfileFiles& files, std::string dir) : files_(files), dir_(std::move(dir)) {}

  std::string Path(const std::string& relative) const {
    std::string path = dir_ + files_.Separator() + relative;
    for (char& c : path)
      if (c == '/') c = files_.Separator();
    return path;
  }

  // Whether the file mentions `id` as a JSON string. Chromium keeps its extensions under their
  // ids in Preferences, Firefox lists each add-on's "id" in extensions.json.
  Seen Mentions(const std::string& relative, const std::string& id) const {
    const std::string path = Path(relative);
    if (!files_.Exists(path)) return Seen::kNo;
    const std::optional<std::string> text = files_.Read(path, kMaxProfileFile);
    if (!text) return Seen::kUnreadable;
    return text->find("\"" + id + "\"") != std::string::npos ? Seen::kYes : Seen::kNo;
  }

  bool IsProfile(bool gecko) const {
    if (gecko) return files_.Exists(Path("prefs.js")) || files_.Exists(Path("extensions.json"));
    return files_.Exists(Path("Preferences"));
  }

  Seen Holds(bool gecko, const Identity& id) const {
    if (gecko) {
      if (files_.IsFile(Path("extensions/" + id.geckoId + ".xpi"))) return Seen::kYes;
      return Mentions("extensions.json", id.geckoId);
    }
    if (files_.IsDir(Path("Extensions/" + id.chromiumId))) return Seen::kYes;
    const Seen prefs = Mentions("Preferences", id.chromiumId);
    if (prefs == Seen::kYes) return prefs;
    const Seen secure = Mentions("Secure Preferences", id.chromiumId);
    if (secure == Seen::kYes) return secure;
    return prefs == Seen::kUnreadable || secure == Seen::kUnreadable ? Seen::kUnreadable
                                                                     : Seen::kNo;
  }

 private:
  const ProfileFiles& files_;
  std::string dir_;
};

}  // namespace

void CheckExtension(const std::string& browser, const std::string& base,
                    const std::string& shownBase, bool gecko, const Identity& id,
                    const ProfileFiles& files, Report& report) {
  const auto unreadable = [&](const std::string& why) {
    report
        .Add("extension-unreadable", Level::kWarn,
             "Could not look into " + browser + "'s profiles (" + shownBase + ": " + why +
                 "): make sure the bank's web-ATM extension is added in " + browser + ".")
        .With("browser", browser);
  };
  if (!files.IsDir(base)) return unreadable("no such folder; start " + browser + " once");
  std::vector<std::string> profiles, found;
  bool someUnreadable = false;
  for (const std::string& name : files.SubFolders(base)) {
    if (name == "System Profile" || name == "Guest Profile") continue;
    const Profile profile(files, base + files.Separator() + name);
    if (!profile.IsProfile(gecko)) continue;
    profiles.push_back(name);
    const Seen seen = profile.Holds(gecko, id);
    if (seen == Seen::kYes) found.push_back(name);
    someUnreadable = someUnreadable || seen == Seen::kUnreadable;
  }
  if (profiles.empty()) return unreadable("no profile in it; start " + browser + " once");
  if (!found.empty()) {
    report
        .Add("extension", Level::kOk,
             "The bank's web-ATM extension is added in " + browser + " (profile " +
                 Joined(found) + ").")
        .With("browser", browser)
        .WithList("profiles", found);
    return;
  }
  if (someUnreadable) return unreadable("a profile's files cannot be read");
  report
      .Add("extension-missing", Level::kWarn,
           "The bank's web-ATM extension was not found in " + browser +
               " (profiles looked at: " + Joined(profiles) + "): add it in " + browser +
               " and run this check again.")
      .With("browser", browser)
      .WithList("profiles", profiles);
}

}  // namespace quilta::diagnosis
