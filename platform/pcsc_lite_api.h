// pcsc-lite's side of the system's PC/SC adapter (platform/pcsc_table.h): the few pcsc-lite
// declarations it needs, with pcsc-lite's own types, which differ from the Windows ones this
// system was shaped on. DWORD and LONG are `unsigned long` and `long` (8 bytes on 64-bit
// Linux), handles are LONGs, and the control code of a reader's function is 0x42000000 +
// function. platform/pcsc_lite.cpp fills the table from libpcsclite.so.1.
#pragma once

#include <cstdint>

namespace quilta::platform {

struct PcscLiteApi {
  using Long = long;
  using Dword = unsigned long;
  using Context = long;
  using Handle = long;

  struct ReaderState {
    const char* szReader;
    void* pvUserData;
    Dword dwCurrentState;
    Dword dwEventState;
    Dword cbAtr;
    unsigned char rgbAtr[33];
  };

  struct IoRequest {
    Dword dwProtocol;
    Dword cbPciLength;
  };

  template <typename... Args>
  using Fn = Long (*)(Args...);

  static constexpr Dword ControlCode(uint32_t function) { return 0x42000000u + function; }
};

}  // namespace quilta::platform
