// The script layer every surface (the NPAPI plug-in, the ActiveX control, the native-messaging
// host) stands on. A binding only converts its values (NPVariant, VARIANT, JSON) to and from
// ScriptValue; the rules live here:
//   - member visibility per surface (AxOnly members exist only on the ActiveX control);
//   - while one of our modal dialogs or message boxes waits on the person, a method call is
//     refused with 6009 and a property write with false, and nothing changes (not even
//     ErrorInfo); reads still work;
//   - ConnectCard runs only for a page of the bank's domain (5004 otherwise, no card call);
//   - arguments: a number is its decimal text as JavaScript writes it, "" stays an empty
//     text, anything else counts as missing; only the arguments a method takes are read;
//   - integer properties take an integer or a whole double in range; text properties take
//     texts and numbers;
//   - nothing thrown inside crosses to the browser: it is answered with a status.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "core/atm_core.h"

namespace quilta {

enum class Surface : uint8_t { Npapi, ActiveX, NativeMessaging };

// A value as a binding hands it over, before the argument rules.
struct ScriptValue {
  enum class Kind : uint8_t { Void, Text, Int, Double, Other };
  Kind kind = Kind::Void;
  Text text;
  int32_t i = 0;
  double d = 0;

  static ScriptValue OfText(Text t) {
    ScriptValue v;
    v.kind = Kind::Text;
    v.text = std::move(t);
    return v;
  }
  static ScriptValue OfInt(int32_t n) {
    ScriptValue v;
    v.kind = Kind::Int;
    v.i = n;
    return v;
  }
  static ScriptValue OfDouble(double x) {
    ScriptValue v;
    v.kind = Kind::Double;
    v.d = x;
    return v;
  }
  static ScriptValue OfOther() {
    ScriptValue v;
    v.kind = Kind::Other;
    return v;
  }
};

// A member as a surface sees it; nullopt when the surface has no such member.
struct Member {
  bool isMethod = false;
  Method method{};
  Prop prop{};
};
std::optional<Member> FindMember(std::string_view name, Surface surface);
bool Visible(Method m, Surface surface);
bool Visible(Prop p, Surface surface);

class ScriptLayer {
 public:
  ScriptLayer(CAtmCore& core, Surface surface) : core_(core), surface_(surface) {}

  // The property's value; nullopt for a write-only property.
  std::optional<ScriptValue> Get(Prop p) const;
  // False when the write is refused (read-only, the wrong kind of value, a dialog open).
  bool Set(Prop p, const ScriptValue& value);
  // The method's result: its status (Int) or GetComVersion's text. `pageUrl` is the URL of
  // the page that calls (nullopt when the surface knows none). Void, with nothing run, for a
  // method the surface does not have.
  ScriptValue Invoke(Method m, std::span<const ScriptValue> args,
                     const std::optional<std::string>& pageUrl);

 private:
  CAtmCore& core_;
  Surface surface_;
};

// The argument rules: a value as method-argument text (nullopt: missing).
std::optional<Text> ArgumentText(const ScriptValue& v);
// A value as a 32-bit integer: Int, or a whole Double in range.
std::optional<int32_t> IntegerValue(const ScriptValue& v);

}  // namespace quilta
