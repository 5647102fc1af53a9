// The page's window and its location as the host browser gives them to the plug-in:
// window.location.href is all the plug-in reads.
#include <string>

#include "tools/pagehost/host_internal.h"

namespace quilta::pagehost::host {
namespace {

struct HostObject : NPObject {
  bool isWindow = true;
  std::string url;
};

NPObject* HostAllocate(NPP, NPClass*) { return new HostObject(); }
void HostDeallocate(NPObject* obj) { delete static_cast<HostObject*>(obj); }
NPClass* HostClass();

bool HostHasProperty(NPObject* obj, NPIdentifier name) {
  auto* o = static_cast<HostObject*>(obj);
  return name == StringId(o->isWindow ? "location" : "href");
}

bool HostGetProperty(NPObject* obj, NPIdentifier name, NPVariant* result) {
  auto* o = static_cast<HostObject*>(obj);
  if (o->isWindow && name == StringId("location")) {
    auto* loc = static_cast<HostObject*>(CreateObject(nullptr, HostClass()));
    loc->isWindow = false;
    loc->url = o->url;
    result->type = NPVariantType_Object;
    result->value.objectValue = loc;
    return true;
  }
  if (!o->isWindow && name == StringId("href")) {
    *result = HostString(o->url);
    return true;
  }
  return false;
}

NPClass* HostClass() {
  static NPClass cls = {NP_CLASS_STRUCT_VERSION, HostAllocate, HostDeallocate, nullptr, nullptr,
                        nullptr, nullptr, HostHasProperty, HostGetProperty, nullptr, nullptr,
                        nullptr, nullptr};
  return &cls;
}

}  // namespace

NPObject* NewWindowObject(NPP npp, const std::string& url) {
  auto* w = static_cast<HostObject*>(CreateObject(npp, HostClass()));
  w->url = url;
  return w;
}

}  // namespace quilta::pagehost::host
