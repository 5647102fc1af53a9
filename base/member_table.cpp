#include "base/member_table.h"

#include <algorithm>
#include <array>

namespace quilta {
namespace {

// Names sorted once for binary search; the table itself stays in dispatch order.
template <typename Id, size_t N, typename Table>
std::array<Id, N> SortedByName(const Table& table) {
  std::array<Id, N> ids{};
  for (size_t i = 0; i < N; ++i) ids[i] = static_cast<Id>(i);
  std::sort(ids.begin(), ids.end(), [&](Id a, Id b) {
    return table[static_cast<size_t>(a)].name < table[static_cast<size_t>(b)].name;
  });
  return ids;
}

template <typename Id, size_t N, typename Table>
bool Lookup(const std::array<Id, N>& sorted, const Table& table, std::string_view name, Id* out) {
  auto it = std::lower_bound(sorted.begin(), sorted.end(), name, [&](Id id, std::string_view n) {
    return table[static_cast<size_t>(id)].name < n;
  });
  if (it == sorted.end() || table[static_cast<size_t>(*it)].name != name) return false;
  *out = *it;
  return true;
}

const auto& MethodsByName() {
  static const auto sorted = SortedByName<Method, kMethodCount>(kMethods);
  return sorted;
}
const auto& PropsByName() {
  static const auto sorted = SortedByName<Prop, kPropCount>(kProps);
  return sorted;
}

}  // namespace

bool FindMethod(std::string_view name, Method* out) {
  return Lookup(MethodsByName(), kMethods, name, out);
}

bool FindProp(std::string_view name, Prop* out) { return Lookup(PropsByName(), kProps, name, out); }

bool FindMethodByDispid(int32_t dispid, Method* out) {
  if (dispid == kNoDispid) return false;
  for (size_t i = 0; i < kMethodCount; ++i) {
    if (kMethods[i].dispid == dispid) {
      *out = static_cast<Method>(i);
      return true;
    }
  }
  return false;
}

bool FindPropByDispid(int32_t dispid, Prop* out) {
  // Properties are in dispatch-id order.
  auto it = std::lower_bound(std::begin(kProps), std::end(kProps), dispid,
                             [](const PropInfo& p, int32_t d) { return p.dispid < d; });
  if (it == std::end(kProps) || it->dispid != dispid) return false;
  *out = static_cast<Prop>(it - std::begin(kProps));
  return true;
}

}  // namespace quilta
