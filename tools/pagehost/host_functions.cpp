// The browser function table the host browser hands to NP_Initialize: memory, the page's
// values, identifiers, objects and calls on them, as a browser of the NPAPI era fills it.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tools/pagehost/host_browser.h"
#include "tools/pagehost/host_internal.h"

namespace quilta::pagehost::host {
namespace {

Page* PageOf(NPP npp) { return npp ? static_cast<Page*>(npp->ndata) : nullptr; }

void* MemAlloc(uint32_t size) { return std::malloc(size == 0 ? 1 : size); }
void MemFree(void* p) { std::free(p); }

NPError GetValue(NPP npp, NPNVariable variable, void* value) {
  Page* page = PageOf(npp);
  switch (variable) {
    case NPNVWindowNPObject: {
      if (page == nullptr || !page->url()) return NPERR_GENERIC_ERROR;  // no URL to give
      if (page->window_ == nullptr) page->window_ = NewWindowObject(npp, *page->url());
      *static_cast<NPObject**>(value) = RetainObject(page->window_);
      return NPERR_NO_ERROR;
    }
    case NPNVSupportsWindowless:
    case NPNVjavascriptEnabledBool:
      *static_cast<NPBool*>(value) = 1;
      return NPERR_NO_ERROR;
    default:
      return NPERR_GENERIC_ERROR;
  }
}

NPError SetValue(NPP npp, NPPVariable variable, void* value) {
  Page* page = PageOf(npp);
  if (page == nullptr) return NPERR_INVALID_INSTANCE_ERROR;
  if (variable == NPPVpluginWindowBool) {
    page->windowless_ = value == nullptr;
    return NPERR_NO_ERROR;
  }
  return NPERR_GENERIC_ERROR;
}

bool Invoke(NPP, NPObject* o, NPIdentifier n, const NPVariant* a, uint32_t c, NPVariant* r) {
  return o && o->_class->invoke && o->_class->invoke(o, n, a, c, r);
}
bool InvokeDefault(NPP, NPObject* o, const NPVariant* a, uint32_t c, NPVariant* r) {
  return o && o->_class->invokeDefault && o->_class->invokeDefault(o, a, c, r);
}
bool Evaluate(NPP, NPObject*, NPString*, NPVariant*) { return false; }
bool GetProperty(NPP, NPObject* o, NPIdentifier n, NPVariant* r) {
  return o && o->_class->getProperty && o->_class->getProperty(o, n, r);
}
bool SetProperty(NPP, NPObject* o, NPIdentifier n, const NPVariant* v) {
  return o && o->_class->setProperty && o->_class->setProperty(o, n, v);
}
bool RemoveProperty(NPP, NPObject* o, NPIdentifier n) {
  return o && o->_class->removeProperty && o->_class->removeProperty(o, n);
}
bool HasProperty(NPP, NPObject* o, NPIdentifier n) {
  return o && o->_class->hasProperty && o->_class->hasProperty(o, n);
}
bool HasMethod(NPP, NPObject* o, NPIdentifier n) {
  return o && o->_class->hasMethod && o->_class->hasMethod(o, n);
}
void SetException(NPObject*, const NPUTF8* message) {
  std::fprintf(stderr, "pagehost: exception from plug-in: %s\n", message ? message : "");
}

}  // namespace

NPNetscapeFuncs MakeTable(uint16_t size) {
  NPNetscapeFuncs t{};
  t.size = size != 0 && size < sizeof(t) ? size : static_cast<uint16_t>(sizeof(t));
  t.version = (NP_VERSION_MAJOR << 8) | NP_VERSION_MINOR;
  t.memalloc = MemAlloc;
  t.memfree = MemFree;
  t.getvalue = GetValue;
  t.setvalue = SetValue;
  t.getstringidentifier = StringId;
  t.getstringidentifiers = GetStringIdentifiers;
  t.getintidentifier = GetIntIdentifier;
  t.identifierisstring = IdentifierIsString;
  t.utf8fromidentifier = Utf8FromIdentifier;
  t.intfromidentifier = IntFromIdentifier;
  t.createobject = CreateObject;
  t.retainobject = RetainObject;
  t.releaseobject = ReleaseObject;
  t.invoke = Invoke;
  t.invokeDefault = InvokeDefault;
  t.evaluate = Evaluate;
  t.getproperty = GetProperty;
  t.setproperty = SetProperty;
  t.removeproperty = RemoveProperty;
  t.hasproperty = HasProperty;
  t.hasmethod = HasMethod;
  t.releasevariantvalue = ReleaseVariantValue;
  t.setexception = SetException;
  // A browser built with a smaller table leaves the slots beyond its size unset.
  auto* bytes = reinterpret_cast<unsigned char*>(&t);
  std::memset(bytes + t.size, 0, sizeof(t) - t.size);
  return t;
}

}  // namespace quilta::pagehost::host
