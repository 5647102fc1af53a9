// The smart-card road on Linux: libpcsclite, then pcscd, the readers and the cards as the
// shared check sees them (diagnosis/smart_cards.h), in the words of pcscd and its packages.
#include <dlfcn.h>

#include "diagnosis/smart_cards.h"
#include "doctor/checks.h"

namespace quilta::doctor {
namespace {

// Whether the library the platform layer loads is on the machine at all (without it every
// call answers that no service runs).
bool PcscLibraryInstalled() {
  void* lib = dlopen("libpcsclite.so.1", RTLD_NOW | RTLD_LOCAL);
  if (!lib) return false;
  dlclose(lib);
  return true;
}

}  // namespace

void CheckSmartCards(platform::Pcsc& pcsc, Report& report) {
  if (!PcscLibraryInstalled()) {
    report.Add("pcsc-library-missing", Level::kFail,
               "The smart-card library (libpcsclite) is not installed: install the package "
               "libpcsclite1 (and pcscd, the smart-card service).");
    return;
  }
  const diagnosis::SmartCardService pcscd{
      "The smart-card service (pcscd)",
      "install the package pcscd and start it with 'sudo systemctl start pcscd.socket'",
      "restart it with 'sudo systemctl restart pcscd.socket' and run this check again as the "
      "user who runs the browser",
      "restart it with 'sudo systemctl restart pcscd.socket' and run this check again",
      " (most readers also need the package libccid)"};
  diagnosis::CheckSmartCards(pcsc, pcscd, report);
}

}  // namespace quilta::doctor
