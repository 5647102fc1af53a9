// The system's PC/SC on the Windows smart-card service: the table of platform/pcsc_table.h
// filled with winscard's own functions (the module imports winscard.dll). Built only for
// Windows.
//
// Reader names go through the A functions, in the system's ANSI code page. The control code
// of a reader's function is CTL_CODE(FILE_DEVICE_SMARTCARD (0x31), function,
// METHOD_BUFFERED, FILE_ANY_ACCESS), SCARD_CTL_CODE of winsmcrd.h.
#if defined(_WIN32)

#include <windows.h>
#include <winscard.h>

#include "platform/pcsc_table.h"

namespace quilta::platform {
namespace {

struct WinscardApi {
  using Long = LONG;
  using Dword = DWORD;
  using Context = SCARDCONTEXT;
  using Handle = SCARDHANDLE;
  using ReaderState = SCARD_READERSTATEA;
  using IoRequest = SCARD_IO_REQUEST;

  template <typename... Args>
  using Fn = LONG(WINAPI*)(Args...);

  static constexpr Dword ControlCode(uint32_t function) { return 0x00310000u | (function << 2); }
};

bool FillFromWinscard(PcscFunctions<WinscardApi>* t) {
  *t = {.establishContext = &SCardEstablishContext,
        .releaseContext = &SCardReleaseContext,
        .listReaders = &SCardListReadersA,
        .getStatusChange = &SCardGetStatusChangeA,
        .connect = &SCardConnectA,
        .disconnect = &SCardDisconnect,
        .transmit = &SCardTransmit,
        .control = &SCardControl};
  return true;
}

}  // namespace

Pcsc& SystemPcsc() {
  static TablePcsc<WinscardApi> pcsc(&FillFromWinscard);
  return pcsc;
}

}  // namespace quilta::platform

#endif  // _WIN32
