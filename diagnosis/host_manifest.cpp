#include "diagnosis/host_manifest.h"

#include <algorithm>
#include <optional>

#include "diagnosis/json_reader.h"

namespace quilta::diagnosis {
namespace {

std::string Joined(const std::vector<std::string>& items) {
  std::string out;
  for (const std::string& s : items) out += (out.empty() ? "" : ", ") + s;
  return out;
}

}  // namespace

const char* AllowedListKey(bool gecko) { return gecko ? "allowed_extensions" : "allowed_origins"; }

std::string OurAllowedEntry(const Identity& id, bool gecko) {
  return gecko ? id.geckoId : "chrome-extension://" + id.chromiumId + "/";
}

HostManifest ReadHostManifest(std::string_view text, const Identity& id, bool gecko) {
  HostManifest m;
  const std::optional<JsonValue> json = ReadJson(text);
  if (!json || json->kind != JsonValue::Kind::kObject) {
    m.invalid = "it is not a host manifest";
    return m;
  }
  const JsonValue* name = json->Find("name");
  if (!name || name->kind != JsonValue::Kind::kString || name->text != id.hostName) {
    m.invalid = "it does not name the host " + id.hostName;
    return m;
  }
  const JsonValue* type = json->Find("type");
  if (!type || type->kind != JsonValue::Kind::kString || type->text != "stdio") {
    m.invalid = "its type is not stdio";
    return m;
  }
  if (const JsonValue* path = json->Find("path"); path && path->kind == JsonValue::Kind::kString)
    m.program = path->text;
  if (const JsonValue* list = json->Find(AllowedListKey(gecko))) {
    if (std::optional<std::vector<std::string>> strings = list->Strings()) {
      m.hasAllowed = true;
      m.allowed = std::move(*strings);
    }
  }
  return m;
}

bool CheckAllowed(const HostManifest& m, const Identity& id, bool gecko, const std::string& browser,
                  const std::string& shown, const std::string& fix, Report& report) {
  const std::string ours = OurAllowedEntry(id, gecko);
  if (m.allowed == std::vector<std::string>{ours}) return true;
  const bool oursAmong = std::find(m.allowed.begin(), m.allowed.end(), ours) != m.allowed.end();
  report
      .Add("bridge-extension-id", Level::kFail,
           browser + "'s bridge file " + shown +
               (oursAmong ? " lets other extensions use the card program besides the bank's "
                            "web-ATM extension"
                          : " lets another extension use the card program instead of the "
                            "bank's web-ATM extension") +
               " (it allows " + (m.allowed.empty() ? std::string("none") : Joined(m.allowed)) +
               "): " + fix + ".")
      .With("browser", browser)
      .With("file", shown)
      .With("expected", ours)
      .WithList("allowed", m.allowed);
  return false;
}

}  // namespace quilta::diagnosis
