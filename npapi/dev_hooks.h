// Development hooks of the plug-in module.
//
// A host that loads libnpquilta.so itself (the page-script host quilta-pagehost, the tests,
// the demo) can make the module's core object use services of the host instead of the real
// ones: an in-process virtual reader instead of the system's PC/SC, virtual time instead of
// real sleeps, and a scripted customer instead of dialog windows. Browsers never call these
// functions, and they are not members of the scriptable object, so no page can reach them.
//
// The hooks exist only in a module built with QUILTA_DEV_HOOKS=ON (the default for
// development and tests); the installable module is built with it OFF and exports nothing but
// the NP_ entry points, so a host finds no "QuiltaDevAttach" there.
//
// The module and its host each carry their own copy of the system's code (the module exports
// nothing but its entry points and these hooks, so the copies never interpose). Objects passed
// in here are used by the module's copy through their virtual functions; host and module must
// be built from the same sources.
//
// Use: dlopen the module, dlsym "QuiltaDevAttach", call it before NPP_New (or at any time when
// no call into the module is running).
#pragma once

#include <cstdint>

namespace quilta {
class CAtmCore;
class ReaderPinDialog;
namespace platform {
class Pcsc;
class Sleeper;
}  // namespace platform
namespace ui {
class DialogEnv;
}  // namespace ui
}  // namespace quilta

// What a host may hand in for dialogs. `size` is sizeof(QuiltaDevDialogHooks) as the host
// was built; fields beyond it are taken as absent. A null field keeps the module's own.
struct QuiltaDevDialogHooks {
  uint32_t size;
  // Runs the reader-instruction dialog for PIN verification on readers with their own keypad.
  quilta::ReaderPinDialog* readerPinDialog;
  // Where every later dialog of the module runs: a scripted customer on virtual time
  // (testsupport/scripted_customer.h) instead of real windows.
  quilta::ui::DialogEnv* dialogEnv;
};

extern "C" {

using QuiltaDevAttachFunc = int (*)(quilta::platform::Pcsc* pcsc,
                                    quilta::platform::Sleeper* sleeper, void* dialogHooks);
using QuiltaDevCoreFunc = quilta::CAtmCore* (*)();

// Points the module's core at the host's PC/SC implementation and sleeper (null restores the
// system's own), and, when dialogHooks is not null, at the dialog services of a
// QuiltaDevDialogHooks (a null dialogEnv there restores real windows). Returns 0.
int QuiltaDevAttach(quilta::platform::Pcsc* pcsc, quilta::platform::Sleeper* sleeper,
                    void* dialogHooks);

// The module's core object, for hosts and tests that inspect what the page cannot read
// (write-only inputs) or mark a modal dialog as running.
quilta::CAtmCore* QuiltaDevCore();

}  // extern "C"
