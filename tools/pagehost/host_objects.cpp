// The host browser's objects (NPN_CreateObject, reference counts, the live set the tests
// look at) and the memory of the variants it hands to the plug-in.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>

#include "tools/pagehost/host_browser.h"
#include "tools/pagehost/host_internal.h"

namespace quilta::pagehost {
namespace host {
namespace {

std::set<NPObject*>& Live() {
  static std::set<NPObject*> live;
  return live;
}

}  // namespace

NPObject* CreateObject(NPP npp, NPClass* cls) {
  if (cls == nullptr) return nullptr;
  NPObject* obj = cls->allocate ? cls->allocate(npp, cls)
                                : static_cast<NPObject*>(std::malloc(sizeof(NPObject)));
  if (obj == nullptr) return nullptr;
  obj->_class = cls;
  obj->referenceCount = 1;
  Live().insert(obj);
  return obj;
}

NPObject* RetainObject(NPObject* obj) {
  if (obj) ++obj->referenceCount;
  return obj;
}

void ReleaseObject(NPObject* obj) {
  if (obj == nullptr) return;
  if (obj->referenceCount == 0) {
    std::fprintf(stderr, "pagehost: object %p released more often than retained\n",
                 static_cast<void*>(obj));
    std::abort();
  }
  if (--obj->referenceCount == 0) {
    Live().erase(obj);
    if (obj->_class->deallocate) obj->_class->deallocate(obj);
    else std::free(obj);
  }
}

void ReleaseVariantValue(NPVariant* v) {
  if (v == nullptr) return;
  if (v->type == NPVariantType_String) {
    std::free(const_cast<char*>(v->value.stringValue.UTF8Characters));
  } else if (v->type == NPVariantType_Object) {
    ReleaseObject(v->value.objectValue);
  }
  v->type = NPVariantType_Void;
  v->value.objectValue = nullptr;
}

NPVariant HostString(const std::string& s) {
  auto* buf = static_cast<char*>(std::malloc(s.size() + 1));
  std::memcpy(buf, s.data(), s.size());
  buf[s.size()] = '\0';
  NPVariant v;
  v.type = NPVariantType_String;
  v.value.stringValue.UTF8Characters = buf;
  v.value.stringValue.UTF8Length = static_cast<uint32_t>(s.size());
  return v;
}

}  // namespace host

size_t LiveObjects() { return host::Live().size(); }

void Release(NPObject* obj) { host::ReleaseObject(obj); }

}  // namespace quilta::pagehost
