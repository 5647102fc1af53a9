#include "npapi/dev_hooks.h"

#include <cstddef>

#include "core/atm_core.h"
#include "npapi/export.h"
#include "ui/modal.h"

// Only development modules carry the hooks (QUILTA_DEV_HOOKS=ON); a module that is installed
// must not let anything replace PC/SC or the person in front of the dialogs.
#if !defined(QUILTA_DEV_HOOKS)
#error "dev_hooks.cpp belongs only in a module built with QUILTA_DEV_HOOKS=ON"
#endif

extern "C" {

QUILTA_NP_EXPORT int QuiltaDevAttach(quilta::platform::Pcsc* pcsc,
                                     quilta::platform::Sleeper* sleeper, void* dialogHooks) {
  quilta::CAtmCore& core = quilta::CAtmCore::Instance();
  core.channel().pcsc = pcsc != nullptr ? pcsc : &quilta::platform::SystemPcsc();
  core.channel().sleeper = sleeper != nullptr ? sleeper : &quilta::platform::RealSleeper();
  if (dialogHooks != nullptr) {
    const auto* hooks = static_cast<const QuiltaDevDialogHooks*>(dialogHooks);
    auto has = [&](size_t offset, size_t size) { return hooks->size >= offset + size; };
    if (has(offsetof(QuiltaDevDialogHooks, readerPinDialog), sizeof(hooks->readerPinDialog)) &&
        hooks->readerPinDialog != nullptr) {
      core.SetReaderPinDialog(hooks->readerPinDialog);
    }
    if (has(offsetof(QuiltaDevDialogHooks, dialogEnv), sizeof(hooks->dialogEnv))) {
      quilta::ui::SetDialogEnvForDevelopment(hooks->dialogEnv);
    }
  }
  return 0;
}

QUILTA_NP_EXPORT quilta::CAtmCore* QuiltaDevCore() { return &quilta::CAtmCore::Instance(); }

}  // extern "C"
