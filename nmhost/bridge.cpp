#include "nmhost/bridge.h"

#include <vector>

#include "base/secret.h"

namespace quilta::nmhost {
namespace {

struct Refusal {
  std::string_view code;
  std::string message;
};

ScriptValue FromJson(const Json& v) {
  switch (v.kind) {
    case Json::Kind::String:
      return ScriptValue::OfText(FromUtf8(v.string));
    case Json::Kind::Number:
      return ScriptValue::OfDouble(v.number);
    default:
      return ScriptValue::OfOther();
  }
}

Json ToJson(const ScriptValue& v) {
  if (v.kind == ScriptValue::Kind::Int) return Json::Number(v.i);
  if (v.kind == ScriptValue::Kind::Void) return Json::Null();
  return Json::String(ToUtf8(v.text));
}

Json ResultAnswer(const Json& id, Json result) {
  return Json::Object({{"id", id}, {"result", std::move(result)}});
}

Json ErrorJson(const Json& id, std::string_view code, std::string_view message) {
  return Json::Object(
      {{"id", id},
       {"error", Json::Object({{"code", Json::String(std::string(code))},
                               {"message", Json::String(std::string(message))}})}});
}

}  // namespace

std::string ErrorAnswer(const Json& id, std::string_view code, std::string_view message) {
  return WriteJson(ErrorJson(id, code, message));
}

std::string Bridge::Answer(std::string_view request) {
  try {
    std::string why;
    std::optional<Json> req = ParseJson(request, &why);
    if (!req) return ErrorAnswer(Json::Null(), "bad-request", "not JSON: " + why);
    if (req->kind != Json::Kind::Object)
      return ErrorAnswer(Json::Null(), "bad-request", "a request is an object");
    // The parsed request may hold a PIN: wiped once answered, whatever the answer.
    struct WipeRequest {
      Json& json;
      ~WipeRequest() { json.Wipe(); }
    } wipe{*req};
    const Json* id = req->Find("id");
    if (id == nullptr || (id->kind != Json::Kind::Number && id->kind != Json::Kind::String))
      return ErrorAnswer(Json::Null(), "bad-request", "\"id\" must be a number or a text");
    return WriteJson(Handle(*req, *id));
  } catch (...) {
    // Nothing thrown ends the session; the page gets an answer it can read.
    return ErrorAnswer(Json::Null(), "bad-request", "the request could not be handled");
  }
}

Json Bridge::Handle(const Json& req, const Json& id) {
  const Json* op = req.Find("op");
  const Json* name = req.Find("name");
  const Json* args = req.Find("args");
  const Json* origin = req.Find("origin");
  if (op == nullptr || op->kind != Json::Kind::String)
    return ErrorJson(id, "bad-request", "\"op\" must be \"get\", \"set\" or \"call\"");
  if (name == nullptr || name->kind != Json::Kind::String)
    return ErrorJson(id, "bad-request", "\"name\" must be a text");
  if (args != nullptr && args->kind != Json::Kind::Array)
    return ErrorJson(id, "bad-request", "\"args\" must be an array");
  if (origin != nullptr && origin->kind != Json::Kind::String)
    return ErrorJson(id, "bad-request", "\"origin\" must be a text");
  const std::string& o = op->string;
  if (o != "get" && o != "set" && o != "call")
    return ErrorJson(id, "bad-request", "\"op\" must be \"get\", \"set\" or \"call\"");

  std::optional<Member> m = FindMember(name->string, Surface::NativeMessaging);
  if (!m) return ErrorJson(id, "unknown-member", "no member named " + name->string);

  static const std::vector<Json> kNoArgs;
  const std::vector<Json>& given = args ? args->items : kNoArgs;
  std::optional<std::string> pageUrl;
  if (origin) pageUrl = origin->string;
  ScriptLayer layer = core_ != nullptr ? ScriptLayer(*core_, Surface::NativeMessaging, pageUrl)
                                        : ScriptLayer(Surface::NativeMessaging, pageUrl);

  if (o == "call") {
    if (!m->isMethod) return ErrorJson(id, "not-a-method", name->string + " is a property");
    // Only the arguments the method takes.
    const size_t n = std::min(given.size(), static_cast<size_t>(Info(m->method).argc));
    std::vector<ScriptValue> values;
    values.reserve(n);
    for (size_t i = 0; i < n; ++i) values.push_back(FromJson(given[i]));
    Json answer = ResultAnswer(id, ToJson(layer.Invoke(m->method, values)));
    for (ScriptValue& v : values) WipeString(v.text);
    return answer;
  }
  if (m->isMethod) return ErrorJson(id, "not-a-property", name->string + " is a method");
  if (o == "get") {
    std::optional<ScriptValue> v = layer.Get(m->prop);
    return ResultAnswer(id, v ? ToJson(*v) : Json::Null());  // null: write-only
  }
  ScriptValue value = given.empty() ? ScriptValue() : FromJson(given[0]);
  const bool written = layer.Set(m->prop, value);
  WipeString(value.text);  // aPIN and Key are written this way
  return ResultAnswer(id, Json::Bool(written));
}

}  // namespace quilta::nmhost
