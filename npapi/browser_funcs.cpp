#include "npapi/browser_funcs.h"

#include <algorithm>
#include <cstring>

namespace quilta::npapi::npn {
namespace {
NPNetscapeFuncs g_table{};
}  // namespace

void SetTable(const NPNetscapeFuncs* table) {
  g_table = NPNetscapeFuncs{};
  if (table == nullptr) return;
  size_t n = std::min<size_t>(table->size, sizeof(NPNetscapeFuncs));
  std::memcpy(&g_table, table, n);
  g_table.size = static_cast<uint16_t>(n);
}

void* MemAlloc(uint32_t size) { return g_table.memalloc ? g_table.memalloc(size) : nullptr; }

void MemFree(void* ptr) {
  if (g_table.memfree && ptr) g_table.memfree(ptr);
}

NPError GetValue(NPP instance, NPNVariable variable, void* value) {
  return g_table.getvalue ? g_table.getvalue(instance, variable, value) : NPERR_GENERIC_ERROR;
}

NPError SetValue(NPP instance, NPPVariable variable, void* value) {
  return g_table.setvalue ? g_table.setvalue(instance, variable, value) : NPERR_GENERIC_ERROR;
}

NPIdentifier GetStringIdentifier(const char* name) {
  return g_table.getstringidentifier ? g_table.getstringidentifier(name) : nullptr;
}

NPObject* CreateObject(NPP npp, NPClass* aClass) {
  return g_table.createobject ? g_table.createobject(npp, aClass) : nullptr;
}

NPObject* RetainObject(NPObject* obj) {
  return g_table.retainobject && obj ? g_table.retainobject(obj) : obj;
}

void ReleaseObject(NPObject* obj) {
  if (g_table.releaseobject && obj) g_table.releaseobject(obj);
}

bool GetProperty(NPP npp, NPObject* obj, NPIdentifier name, NPVariant* result) {
  return g_table.getproperty && obj && name ? g_table.getproperty(npp, obj, name, result) : false;
}

void ReleaseVariantValue(NPVariant* variant) {
  if (g_table.releasevariantvalue) g_table.releasevariantvalue(variant);
}

bool CanReadPageUrl() {
  return g_table.getvalue && g_table.getproperty && g_table.getstringidentifier &&
         g_table.releaseobject && g_table.releasevariantvalue;
}

}  // namespace quilta::npapi::npn
