// PC/SC on the Windows smart-card service (winscard). Built only for Windows.
#if defined(_WIN32)

#include <windows.h>
#include <winscard.h>

#include <vector>

#include "platform/pcsc.h"

namespace quilta::platform {
namespace {

ScardResult Result(LONG rv) { return static_cast<ScardResult>(static_cast<DWORD>(rv)); }

class WinScard final : public Pcsc {
 public:
  ScardResult EstablishContext(uint32_t scope, ScardContext* context) override {
    SCARDCONTEXT c = 0;
    LONG rv = SCardEstablishContext(scope, nullptr, nullptr, &c);
    if (context) *context = static_cast<ScardContext>(c);
    return Result(rv);
  }

  ScardResult ReleaseContext(ScardContext context) override {
    return Result(SCardReleaseContext(static_cast<SCARDCONTEXT>(context)));
  }

  ScardResult ListReaders(ScardContext context, char* buf, uint32_t* len) override {
    if (!len) return scard::kInvalidParameter;
    DWORD n = *len;
    LONG rv = SCardListReadersA(static_cast<SCARDCONTEXT>(context), nullptr, buf, &n);
    *len = static_cast<uint32_t>(n);
    return Result(rv);
  }

  ScardResult GetStatusChange(ScardContext context, uint32_t timeoutMs, ReaderState* states,
                              size_t count) override {
    std::vector<SCARD_READERSTATEA> raw(count);
    for (size_t i = 0; i < count; ++i) {
      raw[i] = SCARD_READERSTATEA{};
      raw[i].szReader = states[i].reader.c_str();
      raw[i].dwCurrentState = states[i].currentState;
    }
    LONG rv = SCardGetStatusChangeA(static_cast<SCARDCONTEXT>(context), timeoutMs, raw.data(),
                                    static_cast<DWORD>(count));
    for (size_t i = 0; i < count; ++i) states[i].eventState = static_cast<uint32_t>(raw[i].dwEventState);
    return Result(rv);
  }

  ScardResult Connect(ScardContext context, const std::string& reader, uint32_t shareMode,
                      uint32_t preferredProtocols, ScardHandle* card,
                      uint32_t* activeProtocol) override {
    SCARDHANDLE h = card ? static_cast<SCARDHANDLE>(*card) : 0;
    DWORD protocol = activeProtocol ? *activeProtocol : 0;
    LONG rv = SCardConnectA(static_cast<SCARDCONTEXT>(context), reader.c_str(), shareMode,
                            preferredProtocols, &h, &protocol);
    if (card) *card = static_cast<ScardHandle>(h);
    if (activeProtocol) *activeProtocol = static_cast<uint32_t>(protocol);
    return Result(rv);
  }

  ScardResult Disconnect(ScardHandle card, uint32_t disposition) override {
    return Result(SCardDisconnect(static_cast<SCARDHANDLE>(card), disposition));
  }

  ScardResult Transmit(ScardHandle card, uint32_t sendProtocol, const uint8_t* command,
                       uint32_t commandLength, uint8_t* response,
                       uint32_t* responseLength) override {
    if (!responseLength) return scard::kInvalidParameter;
    SCARD_IO_REQUEST pci{sendProtocol, sizeof(SCARD_IO_REQUEST)};
    DWORD n = *responseLength;
    LONG rv = SCardTransmit(static_cast<SCARDHANDLE>(card), &pci, command, commandLength, nullptr,
                            response, &n);
    *responseLength = static_cast<uint32_t>(n);
    return Result(rv);
  }

  ScardResult Control(ScardHandle card, uint32_t code, const uint8_t* in, uint32_t inLength,
                      uint8_t* out, uint32_t* outLength) override {
    if (!outLength) return scard::kInvalidParameter;
    DWORD n = 0;
    LONG rv = SCardControl(static_cast<SCARDHANDLE>(card), code, in, inLength, out, *outLength, &n);
    *outLength = static_cast<uint32_t>(n);
    return Result(rv);
  }
};

}  // namespace

Pcsc& SystemPcsc() {
  static WinScard pcsc;
  return pcsc;
}

}  // namespace quilta::platform

#endif  // _WIN32
