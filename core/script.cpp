#include "core/script.h"

#include <cmath>
#include <vector>

#include "base/js_number.h"
#include "base/secret.h"
#include "core/atm_core.h"

namespace quilta {

bool Visible(Method m, Surface surface, Entry entry) {
  switch (Info(m).scope) {
    case Scope::Both:
      return true;
    case Scope::AxOnly:
      return surface == Surface::ActiveX;
    case Scope::VtableOnly:
      return surface == Surface::ActiveX && entry == Entry::Vtable;
  }
  return false;
}

bool Visible(Prop, Surface) { return true; }

std::optional<Member> FindMember(std::string_view name, Surface surface) {
  Member m;
  if (FindMethod(name, &m.method)) {
    if (!Visible(m.method, surface)) return std::nullopt;
    m.isMethod = true;
    return m;
  }
  if (FindProp(name, &m.prop) && Visible(m.prop, surface)) return m;
  return std::nullopt;
}

std::optional<Text> ArgumentText(const ScriptValue& v) {
  switch (v.kind) {
    case ScriptValue::Kind::Text:
      return v.text;
    case ScriptValue::Kind::Int:
      return AsciiText(std::to_string(v.i));
    case ScriptValue::Kind::Double: {
      std::optional<std::string> t = JsNumberToString(v.d);
      if (!t) return std::nullopt;
      return AsciiText(*t);
    }
    case ScriptValue::Kind::Void:
    case ScriptValue::Kind::Other:
      break;
  }
  return std::nullopt;
}

std::optional<int32_t> IntegerValue(const ScriptValue& v) {
  if (v.kind == ScriptValue::Kind::Int) return v.i;
  if (v.kind == ScriptValue::Kind::Double) {
    const double d = v.d;
    if (std::isfinite(d) && d == std::trunc(d) && d >= -2147483648.0 && d <= 2147483647.0)
      return static_cast<int32_t>(d);
  }
  return std::nullopt;
}

ScriptLayer::ScriptLayer(Surface surface, const std::optional<std::string>& pageUrl)
    : ScriptLayer(ProcessCore(), surface, pageUrl) {}

std::optional<ScriptValue> ScriptLayer::Get(Prop p) const {
  if (!bankPage_) return ScriptValue{};  // nothing, not even whether it is write-only
  PropValue value;
  if (!core_->GetProperty(p, &value)) return std::nullopt;  // write-only
  if (value.type == ValueType::Int) return ScriptValue::OfInt(value.number);
  return ScriptValue::OfText(std::move(value.text));
}

bool ScriptLayer::Set(Prop p, const ScriptValue& value) {
  if (!bankPage_ || core_->Busy()) return false;
  const PropInfo& info = Info(p);
  if (!info.writable()) return false;
  try {
    if (info.type == ValueType::Int) {
      std::optional<int32_t> n = IntegerValue(value);
      return n && core_->PutInt(p, *n);
    }
    std::optional<Text> text = ArgumentText(value);
    const bool written = text && core_->PutText(p, *text);
    if (text) WipeString(*text);  // aPIN and Key are written this way
    return written;
  } catch (...) {
    return false;
  }
}

ScriptValue ScriptLayer::Invoke(Method m, std::span<const ScriptValue> args, Entry entry) {
  // A member this surface does not have (the bindings look names up with FindMember first;
  // this keeps an ActiveX-only method off the other surfaces, and the vtable-only one off
  // every name, whatever a binding passes).
  if (!Visible(m, surface_, entry)) return ScriptValue{};
  // A page that is not the bank's learns the version and nothing else: not even whether a
  // dialog is open. Its refusal writes nothing the bank's page could read (ErrorInfo stays).
  if (!bankPage_ && m != Method::GetComVersion) return ScriptValue::OfInt(status::kUrlNotSupported);
  // Refused while a dialog waits on the person; ErrorInfo untouched.
  if (core_->Busy()) return ScriptValue::OfInt(status::kBusy);
  try {
    // Only the arguments the method takes.
    const size_t n = std::min(args.size(), static_cast<size_t>(Info(m).argc));
    std::vector<std::optional<Text>> texts;
    texts.reserve(n);
    for (size_t i = 0; i < n; ++i) texts.push_back(ArgumentText(args[i]));

    CallResult r = core_->Call(m, texts);
    for (std::optional<Text>& t : texts)  // PINs among them
      if (t) WipeString(*t);
    if (r.isText) return ScriptValue::OfText(std::move(r.text));
    return ScriptValue::OfInt(r.status);
  } catch (...) {
    // Nothing crosses to the browser; the page gets a status it can read.
    return ScriptValue::OfInt(core_->Report(status::kIllegalAccess));
  }
}

}  // namespace quilta
