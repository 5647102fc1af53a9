// The host browser's identifiers: one per name or number for the life of the process, as
// a browser keeps them.
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>

#include "tools/pagehost/host_browser.h"
#include "tools/pagehost/host_internal.h"

namespace quilta::pagehost {
namespace host {
namespace {

struct Ident {
  bool isString;
  std::string s;
  int32_t i;
};
std::deque<Ident>& IdentStore() {
  static std::deque<Ident> store;
  return store;
}
std::map<std::string, Ident*>& StringIds() {
  static std::map<std::string, Ident*> ids;
  return ids;
}
std::map<int32_t, Ident*>& IntIds() {
  static std::map<int32_t, Ident*> ids;
  return ids;
}

}  // namespace

NPIdentifier StringId(const char* name) {
  if (name == nullptr) return nullptr;
  auto& ids = StringIds();
  auto it = ids.find(name);
  if (it != ids.end()) return it->second;
  IdentStore().push_back(Ident{true, name, 0});
  Ident* id = &IdentStore().back();
  ids.emplace(name, id);
  return id;
}

void GetStringIdentifiers(const NPUTF8** names, int32_t count, NPIdentifier* ids) {
  for (int32_t k = 0; k < count; ++k) ids[k] = StringId(names[k]);
}

NPIdentifier GetIntIdentifier(int32_t v) {
  auto& ids = IntIds();
  auto it = ids.find(v);
  if (it != ids.end()) return it->second;
  IdentStore().push_back(Ident{false, {}, v});
  ids.emplace(v, &IdentStore().back());
  return &IdentStore().back();
}

bool IdentifierIsString(NPIdentifier id) { return id && static_cast<Ident*>(id)->isString; }

NPUTF8* Utf8FromIdentifier(NPIdentifier id) {
  if (!IdentifierIsString(id)) return nullptr;
  const std::string& s = static_cast<Ident*>(id)->s;
  auto* buf = static_cast<char*>(std::malloc(s.size() + 1));
  std::memcpy(buf, s.c_str(), s.size() + 1);
  return buf;
}

int32_t IntFromIdentifier(NPIdentifier id) {
  return id && !static_cast<Ident*>(id)->isString ? static_cast<Ident*>(id)->i : INT32_MIN;
}

}  // namespace host

NPIdentifier Identifier(const std::string& name) { return host::StringId(name.c_str()); }

}  // namespace quilta::pagehost
