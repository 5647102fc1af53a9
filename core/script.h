// The script layer every surface (the NPAPI plug-in, the ActiveX control, the native-messaging
// host) stands on. A binding only converts its values (NPVariant, VARIANT, JSON) to and from
// ScriptValue; the rules live here:
//   - member visibility per surface (AxOnly members exist only on the ActiveX control; the
//     VtableOnly row only in the control's typed interface, with no name a script can use);
//   - while one of our modal dialogs or message boxes waits on the person, a method call is
//     refused with 6009 and a property write with false, and nothing changes (not even
//     ErrorInfo); reads still work;
//   - the page belongs to each script object, taken once when the object is made (an NPAPI
//     instance's window.location, an ActiveX control's client site, the page a native-
//     messaging request comes from). An object whose page is not an https page of the bank's
//     domain answers GetComVersion and nothing else: every other method gives 5004 and runs
//     nothing (no card call, no dialog, ErrorInfo untouched), every read gives nothing (Void)
//     and every write is refused. Objects on the bank's pages share the one core;
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
#include "base/page_origin.h"

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

// How a call reaches the layer: by a name or dispatch id a script looks up, or through the
// ActiveX control's typed interface (its vtable), which alone has the VtableOnly rows.
enum class Entry : uint8_t { Name, Vtable };

// A member as a surface sees it; nullopt when the surface has no such member.
struct Member {
  bool isMethod = false;
  Method method{};
  Prop prop{};
};
std::optional<Member> FindMember(std::string_view name, Surface surface);
bool Visible(Method m, Surface surface, Entry entry = Entry::Name);
bool Visible(Prop p, Surface surface);

class ScriptLayer {
 public:
  // `pageUrl`: the URL of the page the script object was made for (nullopt when the surface
  // knows none: a control without a site, a browser that gave no location).
  ScriptLayer(CAtmCore& core, Surface surface, const std::optional<std::string>& pageUrl)
      : core_(&core), surface_(surface), bankPage_(IsBankPage(pageUrl)) {}

  // Whether the object's page is one of the bank's (IsBankPage).
  bool OnBankPage() const { return bankPage_; }

  // The property's value; nullopt for a write-only property; Void on a page that is not the
  // bank's.
  std::optional<ScriptValue> Get(Prop p) const;
  // False when the write is refused (read-only, the wrong kind of value, a dialog open, a
  // page that is not the bank's).
  bool Set(Prop p, const ScriptValue& value);
  // The method's result: its status (Int) or GetComVersion's text. Void, with nothing run,
  // for a method the surface does not have by that entry; 5004, with nothing run, on a page
  // that is not the bank's.
  ScriptValue Invoke(Method m, std::span<const ScriptValue> args, Entry entry = Entry::Name);

 private:
  CAtmCore* core_;
  Surface surface_;
  bool bankPage_;
};

// The argument rules: a value as method-argument text (nullopt: missing).
std::optional<Text> ArgumentText(const ScriptValue& v);
// A value as a 32-bit integer: Int, or a whole Double in range.
std::optional<int32_t> IntegerValue(const ScriptValue& v);

}  // namespace quilta
