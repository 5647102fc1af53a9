#include "npapi/dev_hooks.h"

#include <cstddef>

#include "core/script.h"
#include "npapi/export.h"

// Only development modules carry the hooks (QUILTA_DEV_HOOKS=ON); a module that is installed
// must not let anything replace PC/SC or the person in front of the dialogs.
#if !defined(QUILTA_DEV_HOOKS)
#error "dev_hooks.cpp belongs only in a module built with QUILTA_DEV_HOOKS=ON"
#endif

extern "C" {

QUILTA_NP_EXPORT int QuiltaDevAttach(quilta::platform::Pcsc* pcsc,
                                     quilta::platform::Sleeper* sleeper, void* dialogHooks) {
  quilta::DevelopmentServices services;
  services.pcsc = pcsc;
  services.sleeper = sleeper;
  if (dialogHooks != nullptr) {
    const auto* hooks = static_cast<const QuiltaDevDialogHooks*>(dialogHooks);
    auto has = [&](size_t offset, size_t size) { return hooks->size >= offset + size; };
    if (has(offsetof(QuiltaDevDialogHooks, readerPinDialog), sizeof(hooks->readerPinDialog)))
      services.readerPinDialog = hooks->readerPinDialog;
    if (has(offsetof(QuiltaDevDialogHooks, dialogEnv), sizeof(hooks->dialogEnv))) {
      services.replaceDialogEnv = true;
      services.dialogEnv = hooks->dialogEnv;
    }
  }
  quilta::AttachForDevelopment(services);
  return 0;
}

QUILTA_NP_EXPORT quilta::CAtmCore* QuiltaDevCore() { return &quilta::ProcessCore(); }

}  // extern "C"
