// CAtmCore::Call: the dispatch from a member-table row to its method, generated from
// base/members.def. The row's form says how the arguments are handed over.
#include "core/atm_core.h"

namespace quilta {
namespace {

using Args = std::span<const std::optional<Text>>;

const std::optional<Text>& Arg(Args args, size_t i) {
  static const std::optional<Text> kMissing;
  return i < args.size() ? args[i] : kMissing;
}

bool Present(Args args, size_t n) {
  for (size_t i = 0; i < n; ++i)
    if (!Arg(args, i)) return false;
  return true;
}

CallResult Status(int32_t st) {
  CallResult r;
  r.status = st;
  return r;
}

}  // namespace

#define QUILTA_CALL_None(name, missing) return Status(name());
#define QUILTA_CALL_Pin(name, missing) return Status(name(Arg(args, 0)));
#define QUILTA_CALL_Req1(name, missing) \
  return Status(Present(args, 1) ? name(*Arg(args, 0)) : Report(status::missing));
#define QUILTA_CALL_Req2(name, missing) \
  return Status(Present(args, 2) ? name(*Arg(args, 0), *Arg(args, 1)) : Report(status::missing));
#define QUILTA_CALL_Req3(name, missing)                                             \
  return Status(Present(args, 3) ? name(*Arg(args, 0), *Arg(args, 1), *Arg(args, 2)) \
                                 : Report(status::missing));
#define QUILTA_CALL_Version(name, missing) \
  {                                        \
    CallResult r;                          \
    r.isText = true;                       \
    r.text = name();                       \
    return r;                              \
  }

CallResult CAtmCore::Call(Method m, Args args) {
  switch (m) {
#define QUILTA_METHOD(dispid, name, scope, argc, a1, a2, a3, form, missing) \
  case Method::name:                                                       \
    QUILTA_CALL_##form(name, missing)
#define QUILTA_PROP(dispid, name, access, type, limit, def, read, write, ...)
#include "base/members.def"
#undef QUILTA_METHOD
#undef QUILTA_PROP
    case Method::kCount:
      break;
  }
  return Status(Report(status::kBadParameter));
}

}  // namespace quilta
