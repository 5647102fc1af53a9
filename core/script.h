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
// The layer also owns the process's one core and starts it: StartScriptLayer below is the
// one start-up every surface calls. The surfaces include nothing else of the layers below.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/member_table.h"
#include "base/page_origin.h"
#include "base/text.h"

namespace quilta {

class CAtmCore;
class ReaderPinDialog;
namespace platform {
class Pcsc;
class Sleeper;
}  // namespace platform
namespace ui {
class DialogEnv;
}  // namespace ui

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
  // A layer over the process's core (ProcessCore). `pageUrl`: the URL of the page the script
  // object was made for (nullopt when the surface knows none: a control without a site, a
  // browser that gave no location).
  ScriptLayer(Surface surface, const std::optional<std::string>& pageUrl);
  // A layer over a core of the caller's own (tests, fuzzing, benches).
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

// ---- The start-up every surface calls (core/startup.cpp) ----
// Makes the process's core, once, with its dialogs installed: the reader-PIN dialog and the
// platform's windows (the GTK helper process on Linux, Win32 dialogs on Windows; a scripted
// customer only where a development module's QuiltaDevAttach puts one). Each surface calls it
// when it is loaded, before any page can reach it (the NPAPI module's NP_Initialize, the
// ActiveX class factory, the native-messaging host's main); each call puts the reader-PIN
// dialog in place again.
void StartScriptLayer();
// The window the dialogs belong to: the browser's, as an X11 window id (the NPAPI plug-in
// learns it from the browser); the keypad dialogs centre over it. 0, the start, centres them
// on the screen. On Windows the dialogs take the active window and this does nothing.
void SetOwnerWindow(uint64_t window);
// The font faces the dialogs ask for by name, each once, in template order ("System", the
// system's own, left out): what the host's --check looks for on Windows.
std::vector<std::u16string_view> DialogFontFaces();
// The process's one core, owned by the script layer: made on first use, never destroyed, so
// the card session outlives every script object. Surfaces only hand it on (a development
// module's QuiltaDevCore); they call it through ScriptLayer.
CAtmCore& ProcessCore();
// Releases the process's card connection and PC/SC context straight, past the page rules
// (also while a dialog is open): the native-messaging host's end. The statuses of the
// DisconnectCard and DisconnectDriver it ran; nullopt for what was not held.
struct Released {
  std::optional<int32_t> card;
  std::optional<int32_t> driver;
};
Released ReleaseCardSession();

// ---- Development (core/dev_services.cpp): only a development module's hooks call this ----
// Services of a host in place of the real ones for the process's core. No page reaches it,
// and a module built without the hooks does not carry it.
struct DevelopmentServices {
  platform::Pcsc* pcsc = nullptr;              // null: the system's PC/SC
  platform::Sleeper* sleeper = nullptr;        // null: real sleeps
  ReaderPinDialog* readerPinDialog = nullptr;  // null: the one installed stays
  bool replaceDialogEnv = false;               // whether dialogEnv applies:
  ui::DialogEnv* dialogEnv = nullptr;          //   a scripted customer; null: real windows
};
void AttachForDevelopment(const DevelopmentServices& services);

// The argument rules: a value as method-argument text (nullopt: missing).
std::optional<Text> ArgumentText(const ScriptValue& v);
// A value as a 32-bit integer: Int, or a whole Double in range.
std::optional<int32_t> IntegerValue(const ScriptValue& v);

}  // namespace quilta
