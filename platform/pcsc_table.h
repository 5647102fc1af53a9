// The system's PC/SC as one adapter: TablePcsc implements Pcsc over a table of the PC/SC
// library's own functions. Each platform fills the table from its library (pcsc_lite.cpp:
// libpcsclite.so.1 through dlopen; winscard.cpp: the Windows smart-card service) and names the
// library's types and the values that differ in an `Api` (pcsc_lite_api.h; WinscardApi in
// winscard.cpp):
//
//   Long, Dword            the library's LONG and DWORD (pcsc-lite: long and unsigned long,
//                          8 bytes on 64-bit Linux; Windows: 4 bytes)
//   Context, Handle        its SCARDCONTEXT and SCARDHANDLE
//   ReaderState            its SCARD_READERSTATE of narrow reader names (szReader,
//                          dwCurrentState, dwEventState)
//   IoRequest              its SCARD_IO_REQUEST (dwProtocol, cbPciLength)
//   Fn<Args...>            a pointer to one of its functions, Long(Args...), in the library's
//                          calling convention
//   ControlCode(function)  SCARD_CTL_CODE(function) as its SCardControl takes it
//
// What the adapter does alike for both:
//   - The table is filled once, at the first call. When the library cannot be reached, or
//     lacks one of the seven functions the plug-in needs, every call answers kNoService, as a
//     missing resource manager does. Without SCardControl (which only the help-desk checks
//     use) Control answers kUnsupportedFeature and the other calls work.
//   - Results are the library's LONG as their 32-bit value (pcsc-lite's are positive values
//     0x801000xx in a long, never negative) and are never tested for < 0.
//   - Lengths and states cross as the library's DWORD, contexts and handles as its own types.
//   - Transmit sends the PCI {sendProtocol, sizeof(IoRequest)} and asks for no receive PCI.
//   - Connect hands the library the handle and protocol given in, and passes on what the
//     library leaves there, also when the connect fails.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <type_traits>
#include <vector>

#include "platform/pcsc.h"

namespace quilta::platform {

template <typename Api>
struct PcscFunctions {
  template <typename... Args>
  using Fn = typename Api::template Fn<Args...>;
  using Dword = typename Api::Dword;
  using Context = typename Api::Context;
  using Handle = typename Api::Handle;
  using ReaderState = typename Api::ReaderState;
  using IoRequest = typename Api::IoRequest;

  Fn<Dword, const void*, const void*, Context*> establishContext = nullptr;
  Fn<Context> releaseContext = nullptr;
  Fn<Context, const char*, char*, Dword*> listReaders = nullptr;
  Fn<Context, Dword, ReaderState*, Dword> getStatusChange = nullptr;
  Fn<Context, const char*, Dword, Dword, Handle*, Dword*> connect = nullptr;
  Fn<Handle, Dword> disconnect = nullptr;
  Fn<Handle, const IoRequest*, const unsigned char*, Dword, IoRequest*, unsigned char*, Dword*>
      transmit = nullptr;
  Fn<Handle, Dword, const void*, Dword, void*, Dword, Dword*> control = nullptr;  // may be absent

  // Whether the functions the plug-in needs are all there.
  bool Complete() const {
    return establishContext && releaseContext && listReaders && getStatusChange && connect &&
           disconnect && transmit;
  }
};

template <typename Api>
class TablePcsc final : public Pcsc {
 public:
  using Functions = PcscFunctions<Api>;
  // Fills what the library has; false when the library cannot be reached.
  using Fill = bool (*)(Functions* table);

  explicit TablePcsc(Fill fill) : fill_(fill) {}

  ScardResult EstablishContext(uint32_t scope, ScardContext* context) override {
    const Functions* f = Loaded();
    if (f == nullptr) return scard::kNoService;
    Context c = 0;
    const Long rv = f->establishContext(scope, nullptr, nullptr, &c);
    if (context) *context = static_cast<ScardContext>(c);
    return Result(rv);
  }

  ScardResult ReleaseContext(ScardContext context) override {
    const Functions* f = Loaded();
    if (f == nullptr) return scard::kNoService;
    return Result(f->releaseContext(static_cast<Context>(context)));
  }

  ScardResult ListReaders(ScardContext context, char* buf, uint32_t* len) override {
    const Functions* f = Loaded();
    if (f == nullptr) return scard::kNoService;
    if (len == nullptr) return scard::kInvalidParameter;
    Dword n = *len;
    const Long rv = f->listReaders(static_cast<Context>(context), nullptr, buf, &n);
    *len = static_cast<uint32_t>(n);
    return Result(rv);
  }

  ScardResult GetStatusChange(ScardContext context, uint32_t timeoutMs, ReaderState* states,
                              size_t count) override {
    const Functions* f = Loaded();
    if (f == nullptr) return scard::kNoService;
    std::vector<typename Functions::ReaderState> raw(count);
    for (size_t i = 0; i < count; ++i) {
      raw[i] = typename Functions::ReaderState{};
      raw[i].szReader = states[i].reader.c_str();
      raw[i].dwCurrentState = states[i].currentState;
    }
    const Long rv = f->getStatusChange(static_cast<Context>(context), timeoutMs, raw.data(),
                                       static_cast<Dword>(count));
    for (size_t i = 0; i < count; ++i)
      states[i].eventState = static_cast<uint32_t>(raw[i].dwEventState);
    return Result(rv);
  }

  ScardResult Connect(ScardContext context, const std::string& reader, uint32_t shareMode,
                      uint32_t preferredProtocols, ScardHandle* card,
                      uint32_t* activeProtocol) override {
    const Functions* f = Loaded();
    if (f == nullptr) return scard::kNoService;
    Handle h = card ? static_cast<Handle>(*card) : 0;
    Dword protocol = activeProtocol ? *activeProtocol : 0;
    const Long rv = f->connect(static_cast<Context>(context), reader.c_str(), shareMode,
                               preferredProtocols, &h, &protocol);
    if (card) *card = static_cast<ScardHandle>(h);
    if (activeProtocol) *activeProtocol = static_cast<uint32_t>(protocol);
    return Result(rv);
  }

  ScardResult Disconnect(ScardHandle card, uint32_t disposition) override {
    const Functions* f = Loaded();
    if (f == nullptr) return scard::kNoService;
    return Result(f->disconnect(static_cast<Handle>(card), disposition));
  }

  ScardResult Transmit(ScardHandle card, uint32_t sendProtocol, const uint8_t* command,
                       uint32_t commandLength, uint8_t* response,
                       uint32_t* responseLength) override {
    const Functions* f = Loaded();
    if (f == nullptr) return scard::kNoService;
    if (responseLength == nullptr) return scard::kInvalidParameter;
    const typename Functions::IoRequest pci{sendProtocol, sizeof(typename Functions::IoRequest)};
    Dword n = *responseLength;
    const Long rv =
        f->transmit(static_cast<Handle>(card), &pci, command, commandLength, nullptr, response, &n);
    *responseLength = static_cast<uint32_t>(n);
    return Result(rv);
  }

  ScardResult Control(ScardHandle card, uint32_t function, const uint8_t* in, uint32_t inLength,
                      uint8_t* out, uint32_t* outLength) override {
    const Functions* f = Loaded();
    if (f == nullptr) return scard::kNoService;
    if (f->control == nullptr) return scard::kUnsupportedFeature;
    if (outLength == nullptr) return scard::kInvalidParameter;
    Dword n = 0;
    const Long rv = f->control(static_cast<Handle>(card), Api::ControlCode(function), in, inLength,
                               out, *outLength, &n);
    *outLength = static_cast<uint32_t>(n);
    return Result(rv);
  }

 private:
  using Long = typename Api::Long;
  using Dword = typename Api::Dword;
  using Context = typename Api::Context;
  using Handle = typename Api::Handle;

  static ScardResult Result(Long rv) {
    return static_cast<ScardResult>(static_cast<std::make_unsigned_t<Long>>(rv));
  }

  const Functions* Loaded() {
    std::call_once(once_, [this] { loaded_ = fill_(&functions_) && functions_.Complete(); });
    return loaded_ ? &functions_ : nullptr;
  }

  Fill fill_;
  std::once_flag once_;
  bool loaded_ = false;
  Functions functions_;
};

}  // namespace quilta::platform
