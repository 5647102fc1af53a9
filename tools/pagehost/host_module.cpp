// The plug-in module as the host browser loads it: dlopen, the NP_ entry points, the browser
// function table handed to NP_Initialize.
#include <dlfcn.h>

#include "tools/pagehost/host_browser.h"
#include "tools/pagehost/host_internal.h"

namespace quilta::pagehost {
namespace {

NPNetscapeFuncs g_table;  // the browser's table lives as long as the module

}  // namespace

Module* Module::Load(const std::string& path, std::string* error, uint16_t tableSize,
                     bool deepBind) {
  static Module* loaded = nullptr;
  if (loaded != nullptr) {
    if (loaded->path_ == path) return loaded;
    *error = "another plug-in module is already loaded: " + loaded->path_;
    return nullptr;
  }
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | (deepBind ? RTLD_DEEPBIND : 0));
  if (handle == nullptr) {
    *error = std::string("cannot load the plug-in: ") + dlerror();
    return nullptr;
  }
  auto* m = new Module();
  m->path_ = path;
  m->handle_ = handle;
  auto mime = reinterpret_cast<NP_GetMIMEDescriptionFunc>(dlsym(handle, "NP_GetMIMEDescription"));
  auto init = reinterpret_cast<NP_InitializeFunc>(dlsym(handle, "NP_Initialize"));
  if (mime == nullptr || init == nullptr || dlsym(handle, "NP_Shutdown") == nullptr) {
    *error = "not an NPAPI plug-in module (entry points missing): " + path;
    delete m;
    return nullptr;
  }
  g_table = host::MakeTable(tableSize);
  m->funcs_ = NPPluginFuncs{};
  m->funcs_.size = sizeof(NPPluginFuncs);
  NPError err = init(&g_table, &m->funcs_);
  if (err != NPERR_NO_ERROR) {
    *error = "NP_Initialize failed with error " + std::to_string(err);
    delete m;
    return nullptr;
  }
  loaded = m;
  return m;
}

const char* Module::MimeDescription() const {
  auto f = reinterpret_cast<NP_GetMIMEDescriptionFunc>(Symbol("NP_GetMIMEDescription"));
  return f ? f() : nullptr;
}

NPError Module::GetModuleValue(NPPVariable variable, void* value) const {
  auto f = reinterpret_cast<NP_GetValueFunc>(Symbol("NP_GetValue"));
  return f ? f(nullptr, variable, value) : NPERR_GENERIC_ERROR;
}

void* Module::Symbol(const char* name) const { return dlsym(handle_, name); }

NPError Module::Shutdown() const {
  auto f = reinterpret_cast<NP_ShutdownFunc>(Symbol("NP_Shutdown"));
  return f ? f() : NPERR_GENERIC_ERROR;
}

}  // namespace quilta::pagehost
