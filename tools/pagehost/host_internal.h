// What the parts of the host browser share (host_*.cpp); not for callers, who use
// host_browser.h. The browser's side of NPAPI as the plug-in reaches it through the function
// table: identifiers, objects and their reference counts, variant memory, the page's window.
#pragma once

#include <cstdint>
#include <string>

#include "npapi/npapi.h"

namespace quilta::pagehost::host {

// ---- identifiers (host_identifiers.cpp): one per name or number, never freed ----
NPIdentifier StringId(const char* name);
void GetStringIdentifiers(const NPUTF8** names, int32_t count, NPIdentifier* ids);
NPIdentifier GetIntIdentifier(int32_t v);
bool IdentifierIsString(NPIdentifier id);
NPUTF8* Utf8FromIdentifier(NPIdentifier id);
int32_t IntFromIdentifier(NPIdentifier id);

// ---- objects and variants (host_objects.cpp) ----
NPObject* CreateObject(NPP npp, NPClass* cls);
NPObject* RetainObject(NPObject* obj);
// Aborts on a release of an object whose count is already 0.
void ReleaseObject(NPObject* obj);
void ReleaseVariantValue(NPVariant* v);
// A string variant in memory the plug-in may free with NPN_ReleaseVariantValue.
NPVariant HostString(const std::string& s);

// ---- the page's window (host_window.cpp) ----
// window, whose location.href is `url`: all the plug-in reads of it.
NPObject* NewWindowObject(NPP npp, const std::string& url);

// ---- the function table (host_functions.cpp) ----
// A browser function table claiming `size` bytes (0: the full table); slots beyond the size
// are unset.
NPNetscapeFuncs MakeTable(uint16_t size);

}  // namespace quilta::pagehost::host
