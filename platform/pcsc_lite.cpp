// The system's PC/SC on pcsc-lite (Linux and other Unix systems): the table of
// platform/pcsc_table.h filled from libpcsclite.so.1.
//
// The library is loaded with dlopen at first use, so the plug-in loads where pcsc-lite is not
// installed; every call then answers SCARD_E_NO_SERVICE, as a missing resource manager does.
// It stays loaded for the life of the process.
//
// pcsc-lite's types and control codes: platform/pcsc_lite_api.h. Its functions have no A
// suffix: reader names are the bytes pcscd has (UTF-8).
//
// The send PCI. Its length is pcsc-lite's own sizeof(SCARD_IO_REQUEST) (16 bytes on
// 64-bit); pcsc-lite ignores the length (8 and 16 behave alike). Its protocol must be the
// protocol of the connection or SCARD_PROTOCOL_RAW (4): a send PCI with protocol 0, as
// the reader dialogs use on Windows, is refused with SCARD_E_PROTO_MISMATCH (0x8010000F)
// before anything reaches the card (checked with pcscd 1.9 and vpcd on a T=1 connection;
// protocols 0, 1 and 3 refused, 2 and 4 sent). Senders must use the connection's protocol.
#if !defined(_WIN32)

#include <dlfcn.h>

#include "platform/pcsc_lite_api.h"
#include "platform/pcsc_table.h"

namespace quilta::platform {
namespace {

template <typename F>
void Find(void* lib, const char* name, F* entry) {
  *entry = reinterpret_cast<F>(dlsym(lib, name));
}

bool FillFromPcscLite(PcscFunctions<PcscLiteApi>* t) {
  void* lib = dlopen("libpcsclite.so.1", RTLD_NOW | RTLD_LOCAL);
  if (lib == nullptr) return false;
  Find(lib, "SCardEstablishContext", &t->establishContext);
  Find(lib, "SCardReleaseContext", &t->releaseContext);
  Find(lib, "SCardListReaders", &t->listReaders);
  Find(lib, "SCardGetStatusChange", &t->getStatusChange);
  Find(lib, "SCardConnect", &t->connect);
  Find(lib, "SCardDisconnect", &t->disconnect);
  Find(lib, "SCardTransmit", &t->transmit);
  Find(lib, "SCardControl", &t->control);
  return true;
}

}  // namespace

Pcsc& SystemPcsc() {
  static TablePcsc<PcscLiteApi> pcsc(&FillFromPcscLite);
  return pcsc;
}

}  // namespace quilta::platform

#endif  // !_WIN32
