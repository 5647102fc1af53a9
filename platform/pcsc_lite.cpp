// PC/SC on pcsc-lite (Linux and other Unix systems).
//
// libpcsclite.so.1 is loaded with dlopen at first use, so the plug-in loads where pcsc-lite
// is not installed; every call then answers SCARD_E_NO_SERVICE, as a missing resource
// manager does.
//
// pcsc-lite's types differ from the Windows ones this system was shaped on: DWORD and LONG
// are `unsigned long` and `long` (8 bytes on 64-bit Linux), handles are LONGs, the functions
// have no A suffix, and results are positive LONG values (0x801000xx, never negative): they
// are converted to their 32-bit value and never tested for < 0.
//
// The send PCI. Its length is pcsc-lite's own sizeof(SCARD_IO_REQUEST) (16 bytes on
// 64-bit); pcsc-lite ignores the length (8 and 16 behave alike). Its protocol must be the
// protocol of the connection or SCARD_PROTOCOL_RAW (4): a send PCI with protocol 0, as
// the reader dialogs use on Windows, is refused with SCARD_E_PROTO_MISMATCH (0x8010000F)
// before anything reaches the card (checked with pcscd 1.9 and vpcd on a T=1 connection;
// protocols 0, 1 and 3 refused, 2 and 4 sent). Senders must use the connection's protocol.
#if !defined(_WIN32)

#include <dlfcn.h>

#include <mutex>
#include <vector>

#include "platform/pcsc.h"

namespace quilta::platform {
namespace {

// The few pcsc-lite declarations we need, with pcsc-lite's own types.
using LONG = long;
using DWORD = unsigned long;
using SCARDCONTEXT = LONG;
using SCARDHANDLE = LONG;

struct SCARD_READERSTATE {
  const char* szReader;
  void* pvUserData;
  DWORD dwCurrentState;
  DWORD dwEventState;
  DWORD cbAtr;
  unsigned char rgbAtr[33];
};

struct SCARD_IO_REQUEST {
  DWORD dwProtocol;
  DWORD cbPciLength;
};

using EstablishContextFn = LONG (*)(DWORD, const void*, const void*, SCARDCONTEXT*);
using ReleaseContextFn = LONG (*)(SCARDCONTEXT);
using ListReadersFn = LONG (*)(SCARDCONTEXT, const char*, char*, DWORD*);
using GetStatusChangeFn = LONG (*)(SCARDCONTEXT, DWORD, SCARD_READERSTATE*, DWORD);
using ConnectFn = LONG (*)(SCARDCONTEXT, const char*, DWORD, DWORD, SCARDHANDLE*, DWORD*);
using DisconnectFn = LONG (*)(SCARDHANDLE, DWORD);
using TransmitFn = LONG (*)(SCARDHANDLE, const SCARD_IO_REQUEST*, const unsigned char*, DWORD,
                            SCARD_IO_REQUEST*, unsigned char*, DWORD*);
using ControlFn = LONG (*)(SCARDHANDLE, DWORD, const void*, DWORD, void*, DWORD, DWORD*);

ScardResult Result(LONG rv) { return static_cast<ScardResult>(static_cast<unsigned long>(rv)); }

class PcscLite final : public Pcsc {
 public:
  ScardResult EstablishContext(uint32_t scope, ScardContext* context) override {
    if (!Load()) return scard::kNoService;
    SCARDCONTEXT c = 0;
    LONG rv = establish_(scope, nullptr, nullptr, &c);
    if (context) *context = static_cast<ScardContext>(c);
    return Result(rv);
  }

  ScardResult ReleaseContext(ScardContext context) override {
    if (!Load()) return scard::kNoService;
    return Result(release_(static_cast<SCARDCONTEXT>(context)));
  }

  ScardResult ListReaders(ScardContext context, char* buf, uint32_t* len) override {
    if (!Load()) return scard::kNoService;
    if (!len) return scard::kInvalidParameter;
    DWORD n = *len;
    LONG rv = list_(static_cast<SCARDCONTEXT>(context), nullptr, buf, &n);
    *len = static_cast<uint32_t>(n);
    return Result(rv);
  }

  ScardResult GetStatusChange(ScardContext context, uint32_t timeoutMs, ReaderState* states,
                              size_t count) override {
    if (!Load()) return scard::kNoService;
    std::vector<SCARD_READERSTATE> raw(count);
    for (size_t i = 0; i < count; ++i) {
      raw[i] = SCARD_READERSTATE{};
      raw[i].szReader = states[i].reader.c_str();
      raw[i].dwCurrentState = states[i].currentState;
    }
    LONG rv = status_(static_cast<SCARDCONTEXT>(context), timeoutMs, raw.data(),
                      static_cast<DWORD>(count));
    for (size_t i = 0; i < count; ++i)
      states[i].eventState = static_cast<uint32_t>(raw[i].dwEventState);
    return Result(rv);
  }

  ScardResult Connect(ScardContext context, const std::string& reader, uint32_t shareMode,
                      uint32_t preferredProtocols, ScardHandle* card,
                      uint32_t* activeProtocol) override {
    if (!Load()) return scard::kNoService;
    SCARDHANDLE h = 0;
    DWORD protocol = activeProtocol ? *activeProtocol : 0;
    LONG rv = connect_(static_cast<SCARDCONTEXT>(context), reader.c_str(), shareMode,
                       preferredProtocols, &h, &protocol);
    // pcsc-lite writes a zero handle when the connect fails; pass that on as it is.
    if (card) *card = static_cast<ScardHandle>(h);
    if (activeProtocol) *activeProtocol = static_cast<uint32_t>(protocol);
    return Result(rv);
  }

  ScardResult Disconnect(ScardHandle card, uint32_t disposition) override {
    if (!Load()) return scard::kNoService;
    return Result(disconnect_(static_cast<SCARDHANDLE>(card), disposition));
  }

  ScardResult Transmit(ScardHandle card, uint32_t sendProtocol, const uint8_t* command,
                       uint32_t commandLength, uint8_t* response,
                       uint32_t* responseLength) override {
    if (!Load()) return scard::kNoService;
    if (!responseLength) return scard::kInvalidParameter;
    SCARD_IO_REQUEST pci{sendProtocol, sizeof(SCARD_IO_REQUEST)};
    DWORD n = *responseLength;
    LONG rv = transmit_(static_cast<SCARDHANDLE>(card), &pci, command, commandLength, nullptr,
                        response, &n);
    *responseLength = static_cast<uint32_t>(n);
    return Result(rv);
  }

  ScardResult Control(ScardHandle card, uint32_t code, const uint8_t* in, uint32_t inLength,
                      uint8_t* out, uint32_t* outLength) override {
    if (!Load()) return scard::kNoService;
    if (!control_) return scard::kUnsupportedFeature;
    if (!outLength) return scard::kInvalidParameter;
    DWORD n = 0;
    LONG rv = control_(static_cast<SCARDHANDLE>(card), code, in, inLength, out, *outLength, &n);
    *outLength = static_cast<uint32_t>(n);
    return Result(rv);
  }

 private:
  bool Load() {
    std::call_once(once_, [this] {
      void* lib = dlopen("libpcsclite.so.1", RTLD_NOW | RTLD_LOCAL);
      if (!lib) return;
      establish_ = reinterpret_cast<EstablishContextFn>(dlsym(lib, "SCardEstablishContext"));
      release_ = reinterpret_cast<ReleaseContextFn>(dlsym(lib, "SCardReleaseContext"));
      list_ = reinterpret_cast<ListReadersFn>(dlsym(lib, "SCardListReaders"));
      status_ = reinterpret_cast<GetStatusChangeFn>(dlsym(lib, "SCardGetStatusChange"));
      connect_ = reinterpret_cast<ConnectFn>(dlsym(lib, "SCardConnect"));
      disconnect_ = reinterpret_cast<DisconnectFn>(dlsym(lib, "SCardDisconnect"));
      transmit_ = reinterpret_cast<TransmitFn>(dlsym(lib, "SCardTransmit"));
      // Not needed by the plug-in: its absence leaves the other calls working.
      control_ = reinterpret_cast<ControlFn>(dlsym(lib, "SCardControl"));
      // The library stays loaded for the life of the process.
      loaded_ = establish_ && release_ && list_ && status_ && connect_ && disconnect_ && transmit_;
    });
    return loaded_;
  }

  std::once_flag once_;
  bool loaded_ = false;
  EstablishContextFn establish_ = nullptr;
  ReleaseContextFn release_ = nullptr;
  ListReadersFn list_ = nullptr;
  GetStatusChangeFn status_ = nullptr;
  ConnectFn connect_ = nullptr;
  DisconnectFn disconnect_ = nullptr;
  TransmitFn transmit_ = nullptr;
  ControlFn control_ = nullptr;
};

}  // namespace

Pcsc& SystemPcsc() {
  static PcscLite pcsc;
  return pcsc;
}

}  // namespace quilta::platform

#endif  // !_WIN32
