// The findings of the help-desk checks (quilta-doctor on Linux, quilta-nmhost.exe --check on
// Windows): one plain sentence each, for a customer reading it out to the help desk, with
// what to do; the same findings as JSON for scripts.
#pragma once

#include <string>
#include <vector>

namespace quilta::diagnosis {

enum class Level { kOk, kWarn, kFail };

// One named value of a finding's detail: a text, or a list of texts (reader names, files).
struct Detail {
  std::string key;
  std::vector<std::string> values;
  bool list = false;
};

struct Finding {
  std::string id;  // stable, for scripts and the help desk's notes (docs/install.md)
  Level level = Level::kOk;
  std::string text;
  std::vector<Detail> detail;

  Finding& With(std::string key, std::string value);
  Finding& WithList(std::string key, std::vector<std::string> values);
};

class Report {
 public:
  Finding& Add(std::string id, Level level, std::string text);
  const std::vector<Finding>& findings() const { return findings_; }
  // Whether nothing stands between the browser and the card: no finding is a failure.
  bool Clear() const;

 private:
  std::vector<Finding> findings_;
};

// One line per finding: "OK       ...", "WARNING  ...", "PROBLEM  ...".
std::string AsText(const Report& report);
// {"clear": bool, "findings": [{"id", "status": "ok"|"warn"|"fail", "text", "detail": {...}}]}
std::string AsJson(const Report& report);

// `text` in double quotes, as the sentences name readers, files and programs.
std::string Quoted(const std::string& text);

}  // namespace quilta::diagnosis
