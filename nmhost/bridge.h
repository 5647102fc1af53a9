// The native-messaging binding: converts the extension's JSON requests to script values and
// the script layer's answers back to JSON, as the NPAPI binding converts NPVariants. Every
// rule (member visibility, the busy refusal during dialogs, the page's origin, the argument
// rules) is the script layer's (core/script.h). Each request is judged as a call from the
// page it names in `origin`: a page that is not an https page of the bank's domain gets
// GetComVersion and nothing else (calls 5004, reads null, writes false).
//
// Request (one frame):  {"id": ID, "op": "get"|"set"|"call", "name": NAME, "args": [...],
//                        "origin": PAGE_URL}
//   ID      a number or a text, echoed in the answer;
//   args    call: the method's arguments; set: [value]; get: ignored. Missing: none;
//   origin  the URL of the page that calls, as the browser reports the sender (the
//           extension sets it, never the page); missing: no page, nothing but GetComVersion.
// Values: a JSON text is a text, a number is a script number (the argument rules turn it
// into the text JavaScript prints for it), anything else (true, null, arrays, objects) is
// neither: a missing argument, a refused write.
//
// Answer: {"id": ID, "result": VALUE} or {"id": ID, "error": {"code": CODE, "message": TEXT}}
//   get   the property's value (number or text); null for a write-only property (the
//         plug-in's undefined);
//   set   true when written, false when refused (read-only, wrong kind of value, a dialog
//         open), as the plug-in's property write succeeds or fails;
//   call  the method's status (number), GetComVersion's text.
//   CODE  "bad-request"     not JSON, not an object, a field of the wrong kind (ID null when
//                           the request had none that could be read);
//         "unknown-member"  no such member on this surface (ActiveX-only methods included);
//         "not-a-method"    call of a property; "not-a-property" get or set of a method.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/script.h"
#include "nmhost/json.h"

namespace quilta::nmhost {

class Bridge {
 public:
  // Over the process's core (ProcessCore), as the host serves pages.
  Bridge() = default;
  // Over a core of the caller's own (tests, fuzzing).
  explicit Bridge(CAtmCore& core) : core_(&core) {}

  // The answer to one request frame's payload. Never throws.
  std::string Answer(std::string_view request);

 private:
  Json Handle(const Json& request, const Json& id);

  CAtmCore* core_ = nullptr;  // null: the process's
};

// An answer carrying an error (also used by the host for a frame it cannot take).
std::string ErrorAnswer(const Json& id, std::string_view code, std::string_view message);

}  // namespace quilta::nmhost
