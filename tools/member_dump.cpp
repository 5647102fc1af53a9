// Prints the scriptable member table as the page sees it.
#include <cstdio>
#include <string>

#include "core/member_table.h"

int main() {
  using namespace quilta;
  std::printf("Methods (%zu):\n", kMethodCount);
  for (const auto& m : kMethods) {
    std::printf("  %3d %-24s %s", m.dispid, std::string(m.name).c_str(),
                m.scope == Scope::AxOnly ? "ActiveX only" : "");
    for (int i = 0; i < m.argc; ++i) std::printf(" %s", std::string(m.args[i]).c_str());
    std::printf("\n");
  }
  std::printf("Properties (%zu):\n", kPropCount);
  static const char* kAccess[] = {"R", "W", "RW"};
  for (const auto& p : kProps) {
    std::printf("  %3d %-18s %-2s %-4s", p.dispid, std::string(p.name).c_str(),
                kAccess[static_cast<int>(p.access)], p.type == ValueType::Int ? "int" : "text");
    if (p.limit != kNoLimit) std::printf(" limit %d", p.limit);
    if (!p.defaultText.empty()) std::printf(" default \"%s\"", std::string(p.defaultText).c_str());
    std::printf("\n");
  }
  return 0;
}
