// The scriptable member table, generated from members.def.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "base/status.h"

namespace quilta {

inline constexpr int32_t kNoLimit = -1;

enum class MemberKind : uint8_t { Method, Property };
// Both: every surface, by name; AxOnly: the ActiveX control, by name and dispatch id;
// VtableOnly: only the ActiveX control's typed interface (no name, no dispatch id, not in the
// type library).
enum class Scope : uint8_t { Both, AxOnly, VtableOnly };
// The dispatch id of a VtableOnly row: none.
inline constexpr int32_t kNoDispid = -1;
enum class Access : uint8_t { R, W, RW };
enum class ValueType : uint8_t { Text, Int };
enum class ReadRule : uint8_t { Plain, Flag, Empty, Zero, Error };
enum class WriteRule : uint8_t { None, Store, Secret, Amount, Nono, Fixed, Ignore, AxIgnore };

// Methods in table order.
enum class Method : uint16_t {
#define QUILTA_METHOD(dispid, name, scope, argc, a1, a2, a3, form, missing) name,
#define QUILTA_PROP(dispid, name, access, type, limit, def, read, write, ...)
#include "base/members.def"
#undef QUILTA_METHOD
#undef QUILTA_PROP
  kCount
};

// Properties in dispatch-id order.
enum class Prop : uint16_t {
#define QUILTA_METHOD(dispid, name, scope, argc, a1, a2, a3, form, missing)
#define QUILTA_PROP(dispid, name, access, type, limit, def, read, write, ...) name,
#include "base/members.def"
#undef QUILTA_METHOD
#undef QUILTA_PROP
  kCount
};

inline constexpr size_t kMethodCount = static_cast<size_t>(Method::kCount);
inline constexpr size_t kPropCount = static_cast<size_t>(Prop::kCount);

// Index arithmetic for the indexed families (Reader0..9, AccountNo0..7, ...).
constexpr Prop operator+(Prop p, int k) { return static_cast<Prop>(static_cast<int>(p) + k); }

struct MethodInfo {
  std::string_view name;
  int32_t dispid;
  Scope scope;
  int argc;
  std::string_view args[3];
};

// What a method requires of an input property before any dialog or card command: its 8-bit
// form exactly `width` characters (kNotEmpty: at least one), else the status `bad`. The
// Amount is checked in its Amount14 form, which must also be all digits.
inline constexpr int32_t kNotInput = -1;
inline constexpr int32_t kNotEmpty = 0;
struct InputRule {
  int32_t width = kNotInput;  // no method checks the property
  int32_t bad = status::kOk;

  constexpr bool checked() const { return width != kNotInput; }
};

struct PropInfo {
  std::string_view name;
  int32_t dispid;
  Access access;
  ValueType type;
  int32_t limit;  // bytes of the 8-bit form, kNoLimit for none
  std::string_view defaultText;
  ReadRule read;
  WriteRule write;
  InputRule input;

  constexpr bool readable() const { return access != Access::W; }
  constexpr bool writable() const { return access != Access::R; }
};

inline constexpr MethodInfo kMethods[] = {
#define QUILTA_METHOD(dispid, name, scope, argc, a1, a2, a3, form, missing) \
  {#name, dispid, Scope::scope, argc, {a1, a2, a3}},
#define QUILTA_PROP(dispid, name, access, type, limit, def, read, write, ...)
#include "base/members.def"
#undef QUILTA_METHOD
#undef QUILTA_PROP
};

namespace member_rows {
using namespace status;  // the rows name an input's status without its namespace
inline constexpr PropInfo kProps[] = {
#define QUILTA_METHOD(dispid, name, scope, argc, a1, a2, a3, form, missing)
#define QUILTA_PROP(dispid, name, access, type, limit, def, read, write, ...) \
  {#name, dispid, Access::access, ValueType::type, limit, def, ReadRule::read, WriteRule::write, \
   InputRule{__VA_ARGS__}},
#include "base/members.def"
#undef QUILTA_METHOD
#undef QUILTA_PROP
};
}  // namespace member_rows
using member_rows::kProps;

static_assert(std::size(kMethods) == kMethodCount);
static_assert(std::size(kProps) == kPropCount);
static_assert(kMethodCount == 31, "31 methods, one of them vtable-only");
static_assert(kPropCount == 103, "103 properties");
constexpr bool FixedRowsHaveWidths() {
  for (const PropInfo& p : kProps)
    if (p.write == WriteRule::Fixed && p.input.width <= 0) return false;
  return true;
}
static_assert(FixedRowsHaveWidths(), "a Fixed row is padded to its input width: it needs one");

inline constexpr const MethodInfo& Info(Method m) { return kMethods[static_cast<size_t>(m)]; }
inline constexpr const PropInfo& Info(Prop p) { return kProps[static_cast<size_t>(p)]; }

// Lookups by exact (case-sensitive) name or by dispatch id; false when unknown.
bool FindMethod(std::string_view name, Method* out);
bool FindProp(std::string_view name, Prop* out);
bool FindMethodByDispid(int32_t dispid, Method* out);
bool FindPropByDispid(int32_t dispid, Prop* out);

}  // namespace quilta
