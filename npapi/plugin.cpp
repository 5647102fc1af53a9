// The plug-in module: entry points, the plug-in function table and the instances.
//
// Instances. NPP_New creates a PluginInstance (kept in the instance's pdata), asks to be
// windowless, copies its own page URL (window.location.href) into it and re-reads the member
// identifiers. The instance's scriptable object takes that URL when it is made and keeps its
// own copy: what it may reach depends on its page alone, never on another instance's.
// NPP_Destroy releases what the instance owns: its reference to the scriptable object (the
// browser frees the object once the page lets go of it too) and the PluginInstance itself.
// The core object and the card session are process-wide and survive both NPP_Destroy and
// NP_Shutdown.
#include <cstring>
#include <new>

#include "core/script.h"
#include "npapi/binding_state.h"
#include "npapi/browser_funcs.h"
#include "npapi/export.h"
#include "npapi/scriptable.h"

namespace quilta::npapi {
namespace {

constexpr char kMimeDescription[] = "application/ZELB-Quilta-plugin:.ZELB:ZELB-Quilta-plugin";
constexpr char kPluginName[] = "NPRuntimeTest";
constexpr char kPluginDescription[] = "NPRuntime scriptability API test plugin";
constexpr uint16_t kPluginTableVersion = 19;

struct PluginInstance {
  explicit PluginInstance(NPP n) : npp(n) {}
  NPP npp;
  std::optional<std::string> pageUrl;  // window.location.href when the instance was made
  NPObject* scriptable = nullptr;      // our reference, created on first request
};

// window.location.href of the instance's page, copied; nullopt when the browser gives none.
std::optional<std::string> ReadPageUrl(NPP instance) {
  if (!npn::CanReadPageUrl()) return std::nullopt;
  NPObject* window = nullptr;
  if (npn::GetValue(instance, NPNVWindowNPObject, &window) != NPERR_NO_ERROR || window == nullptr) {
    return std::nullopt;
  }
  std::optional<std::string> url;
  NPVariant location;
  location.type = NPVariantType_Void;
  if (npn::GetProperty(instance, window, npn::GetStringIdentifier("location"), &location)) {
    if (location.type == NPVariantType_Object && location.value.objectValue != nullptr) {
      NPVariant href;
      href.type = NPVariantType_Void;
      if (npn::GetProperty(instance, location.value.objectValue, npn::GetStringIdentifier("href"),
                           &href)) {
        if (href.type == NPVariantType_String) {
          const NPString& s = href.value.stringValue;
          url = s.UTF8Characters ? std::string(s.UTF8Characters, s.UTF8Length) : std::string();
        }
        npn::ReleaseVariantValue(&href);
      }
    }
    npn::ReleaseVariantValue(&location);
  }
  npn::ReleaseObject(window);
  return url;
}

NPError NPP_New(NPMIMEType, NPP instance, uint16_t, int16_t, char*[], char*[], NPSavedData*) {
  if (instance == nullptr) return NPERR_INVALID_INSTANCE_ERROR;
  if (instance->pdata != nullptr) return NPERR_NO_ERROR;
  auto* pi = new (std::nothrow) PluginInstance(instance);
  if (pi == nullptr) return NPERR_OUT_OF_MEMORY_ERROR;
  instance->pdata = pi;
  // Windowless: the plug-in draws nothing; its dialogs are windows of their own.
  npn::SetValue(instance, NPPVpluginWindowBool, nullptr);
  pi->pageUrl = ReadPageUrl(instance);
  BuildIdentifierTable();
#if !defined(_WIN32)
  // The browser window (an X11 window id): the keypad dialogs centre over it. A browser that
  // does not say keeps them centred on the screen.
  unsigned long browserWindow = 0;
  if (npn::GetValue(instance, NPNVnetscapeWindow, &browserWindow) == NPERR_NO_ERROR &&
      browserWindow != 0) {
    SetOwnerWindow(browserWindow);
  }
#endif
  return NPERR_NO_ERROR;
}

NPError NPP_Destroy(NPP instance, NPSavedData**) {
  if (instance == nullptr) return NPERR_INVALID_INSTANCE_ERROR;
  auto* pi = static_cast<PluginInstance*>(instance->pdata);
  if (pi != nullptr) {
    npn::ReleaseObject(pi->scriptable);
    delete pi;
    instance->pdata = nullptr;
  }
  return NPERR_NO_ERROR;
}

NPError NPP_SetWindow(NPP instance, NPWindow*) {
  return instance == nullptr ? NPERR_INVALID_INSTANCE_ERROR : NPERR_NO_ERROR;
}

NPError NPP_NewStream(NPP instance, NPMIMEType, NPStream*, NPBool, uint16_t*) {
  return instance == nullptr ? NPERR_INVALID_INSTANCE_ERROR : NPERR_NO_ERROR;
}

NPError NPP_DestroyStream(NPP instance, NPStream*, NPReason) {
  return instance == nullptr ? NPERR_INVALID_INSTANCE_ERROR : NPERR_NO_ERROR;
}

int32_t NPP_WriteReady(NPP instance, NPStream*) {
  return instance == nullptr ? NPERR_INVALID_INSTANCE_ERROR : 0x0FFFFFFF;
}

int32_t NPP_Write(NPP instance, NPStream*, int32_t, int32_t len, void*) {
  return instance == nullptr ? NPERR_INVALID_INSTANCE_ERROR : len;  // accepted and dropped
}

void NPP_StreamAsFile(NPP, NPStream*, const char*) {}
void NPP_Print(NPP, NPPrint*) {}
int16_t NPP_HandleEvent(NPP, void*) { return 0; }
void NPP_URLNotify(NPP, const char*, NPReason, void*) {}

NPError NPP_SetValue(NPP instance, NPNVariable, void*) {
  return instance == nullptr ? NPERR_INVALID_INSTANCE_ERROR : NPERR_NO_ERROR;
}

NPError ModuleValue(NPPVariable variable, void* value) {
  if (value == nullptr) return NPERR_INVALID_PARAM;
  switch (variable) {
    case NPPVpluginNameString:
      *static_cast<const char**>(value) = kPluginName;
      return NPERR_NO_ERROR;
    case NPPVpluginDescriptionString:
      *static_cast<const char**>(value) = kPluginDescription;
      return NPERR_NO_ERROR;
    default:
      return NPERR_GENERIC_ERROR;
  }
}

NPError NPP_GetValue(NPP instance, NPPVariable variable, void* value) {
  if (instance == nullptr) return NPERR_INVALID_INSTANCE_ERROR;
  auto* pi = static_cast<PluginInstance*>(instance->pdata);
  if (pi == nullptr) return NPERR_GENERIC_ERROR;
  if (variable != NPPVpluginScriptableNPObject) return ModuleValue(variable, value);
  if (value == nullptr) return NPERR_INVALID_PARAM;
  if (pi->scriptable == nullptr) {
    pi->scriptable = npn::CreateObject(instance, ScriptablePluginObject::Class());
  }
  if (pi->scriptable == nullptr) {
    *static_cast<NPObject**>(value) = nullptr;
    return NPERR_OUT_OF_MEMORY_ERROR;  // the next request tries again
  }
  *static_cast<NPObject**>(value) = npn::RetainObject(pi->scriptable);
  return NPERR_NO_ERROR;
}

// Fills as much of the browser's plug-in table as its size allows. False when the table is
// too small to hold the functions a scriptable plug-in needs (up to setvalue).
bool FillPluginFuncs(NPPluginFuncs* f, size_t size) {
  if (size < offsetof(NPPluginFuncs, setvalue) + sizeof(f->setvalue)) return false;
  f->version = kPluginTableVersion;
  f->newp = NPP_New;
  f->destroy = NPP_Destroy;
  f->setwindow = NPP_SetWindow;
  f->newstream = NPP_NewStream;
  f->destroystream = NPP_DestroyStream;
  f->asfile = NPP_StreamAsFile;
  f->writeready = NPP_WriteReady;
  f->write = NPP_Write;
  f->print = NPP_Print;
  f->event = NPP_HandleEvent;
  f->urlnotify = NPP_URLNotify;
  f->javaClass = nullptr;
  f->getvalue = NPP_GetValue;
  f->setvalue = NPP_SetValue;
  return true;
}

NPError InitializeBrowser(NPNetscapeFuncs* bFuncs) {
  if (bFuncs == nullptr) return NPERR_INVALID_FUNCTABLE_ERROR;
  if ((bFuncs->version >> 8) > NP_VERSION_MAJOR) return NPERR_INCOMPATIBLE_VERSION_ERROR;
  npn::SetTable(bFuncs);
  // The core exists before any page touches it, with the dialogs it runs.
  StartScriptLayer();
  return NPERR_NO_ERROR;
}

}  // namespace

BindingState& State() {
  static BindingState* state = new BindingState();  // lives as long as the module
  return *state;
}

std::optional<std::string> InstancePageUrl(NPP npp) {
  if (npp == nullptr || npp->pdata == nullptr) return std::nullopt;
  return static_cast<PluginInstance*>(npp->pdata)->pageUrl;
}

void BuildIdentifierTable() {
  auto& members = State().members;
  members.clear();
  auto add = [&](std::string_view view) {
    std::optional<Member> m = FindMember(view, Surface::Npapi);
    if (!m) return;
    std::string name(view);
    if (NPIdentifier id = npn::GetStringIdentifier(name.c_str())) members[id] = *m;
  };
  for (const MethodInfo& info : kMethods) add(info.name);
  for (const PropInfo& info : kProps) add(info.name);
}

}  // namespace quilta::npapi

using namespace quilta::npapi;

extern "C" {

#if defined(_WIN32)

QUILTA_NP_EXPORT NPError QUILTA_NP_CALL NP_GetEntryPoints(NPPluginFuncs* pFuncs) {
  if (pFuncs == nullptr) return NPERR_INVALID_FUNCTABLE_ERROR;
  size_t size = pFuncs->size != 0 ? pFuncs->size : sizeof(NPPluginFuncs);
  return FillPluginFuncs(pFuncs, size) ? NPERR_NO_ERROR : NPERR_INVALID_FUNCTABLE_ERROR;
}

QUILTA_NP_EXPORT NPError QUILTA_NP_CALL NP_Initialize(NPNetscapeFuncs* bFuncs) { return InitializeBrowser(bFuncs); }

QUILTA_NP_EXPORT const char* QUILTA_NP_CALL NPP_GetMIMEDescription() { return kMimeDescription; }

#else

QUILTA_NP_EXPORT const char* NP_GetMIMEDescription() { return kMimeDescription; }

QUILTA_NP_EXPORT NPError NP_GetValue(void*, NPPVariable variable, void* value) {
  return ModuleValue(variable, value);
}

QUILTA_NP_EXPORT NPError NP_Initialize(NPNetscapeFuncs* bFuncs, NPPluginFuncs* pFuncs) {
  if (pFuncs == nullptr) return NPERR_INVALID_FUNCTABLE_ERROR;
  NPError err = InitializeBrowser(bFuncs);
  if (err != NPERR_NO_ERROR) return err;
  return FillPluginFuncs(pFuncs, pFuncs->size) ? NPERR_NO_ERROR : NPERR_INVALID_FUNCTABLE_ERROR;
}

#endif

// Releases nothing: the core object, the PC/SC context and the card connection live until
// the process ends or the page disconnects them.
QUILTA_NP_EXPORT NPError QUILTA_NP_CALL NP_Shutdown() { return NPERR_NO_ERROR; }

}  // extern "C"
