// The JSON value (json.h): its makers, its wiping and its members; reading and writing are
// json_reader.cpp and json_writer.cpp.
#include "nmhost/json.h"

#include "base/secret.h"

namespace quilta::nmhost {

Json::Json() = default;
Json::Json(const Json&) = default;
Json::Json(Json&&) noexcept = default;
Json& Json::operator=(const Json&) = default;
Json& Json::operator=(Json&&) noexcept = default;
Json::~Json() = default;

Json Json::Bool(bool b) {
  Json v;
  v.kind = Kind::Bool;
  v.boolean = b;
  return v;
}

Json Json::Number(double x) {
  Json v;
  v.kind = Kind::Number;
  v.number = x;
  return v;
}

Json Json::String(std::string utf8) {
  Json v;
  v.kind = Kind::String;
  v.string = std::move(utf8);
  return v;
}

Json Json::Object(std::vector<std::pair<std::string, Json>> members) {
  Json v;
  v.kind = Kind::Object;
  v.members = std::move(members);
  return v;
}

void Json::Wipe() {
  WipeString(string);
  for (Json& item : items) item.Wipe();
  for (auto& [key, value] : members) {
    WipeString(key);
    value.Wipe();
  }
  items.clear();
  members.clear();
  WipeBytes(&number, sizeof number);
  boolean = false;
  kind = Kind::Null;
}

const Json* Json::Find(std::string_view key) const {
  if (kind != Kind::Object) return nullptr;
  for (const auto& [k, v] : members)
    if (k == key) return &v;
  return nullptr;
}

}  // namespace quilta::nmhost
