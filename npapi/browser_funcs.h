// The browser's function table as the module received it in NP_Initialize, and thin wrappers
// that check each slot before calling it. Browsers hand tables of the size they were built
// with; slots beyond that size read as absent.
#pragma once

#include "npapi/npapi.h"

namespace quilta::npapi::npn {

// Copies the first min(table->size, sizeof(NPNetscapeFuncs)) bytes; the rest stays null.
void SetTable(const NPNetscapeFuncs* table);

// Null when the browser lacks the slot.
void* MemAlloc(uint32_t size);
void MemFree(void* ptr);
NPError GetValue(NPP instance, NPNVariable variable, void* value);
NPError SetValue(NPP instance, NPPVariable variable, void* value);
NPIdentifier GetStringIdentifier(const char* name);
NPObject* CreateObject(NPP npp, NPClass* aClass);
NPObject* RetainObject(NPObject* obj);
void ReleaseObject(NPObject* obj);
bool GetProperty(NPP npp, NPObject* obj, NPIdentifier name, NPVariant* result);
void ReleaseVariantValue(NPVariant* variant);

// Whether the browser handed over everything needed to read window.location.href and give
// back what that returns.
bool CanReadPageUrl();

}  // namespace quilta::npapi::npn
