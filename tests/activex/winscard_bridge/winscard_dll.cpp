// A test-only winscard.dll for Wine, whose own is a stub: the PC/SC calls the module makes
// are forwarded to quilta-wine-pcsc-bridge on the Linux side (wire.h), which makes them on
// pcsc-lite, so the control reaches the same pcscd, vpcd readers and card simulator as the
// Linux tests. The bridge's port comes from the environment (QUILTA_PCSC_BRIDGE_PORT; Wine
// hands the Unix environment to Windows programs); without it, or when the bridge cannot be
// reached, every call answers SCARD_E_NO_SERVICE. Loaded with WINEDLLOVERRIDES=winscard=n
// from beside npquilta.dll. Never part of the shipped module.
#define WINSCARDAPI  // this DLL defines them
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <cstdlib>
#include <mutex>
#include <vector>

#include "wire.h"

using namespace quilta::winebridge;

namespace {

constexpr LONG kNoService = static_cast<LONG>(0x8010001Du);
constexpr LONG kInvalidParameter = static_cast<LONG>(0x80100004u);
constexpr LONG kInsufficientBuffer = static_cast<LONG>(0x80100008u);
constexpr LONG kUnsupportedFeature = static_cast<LONG>(0x80100022u);
constexpr DWORD kAutoAllocate = 0xFFFFFFFFu;

// This thread's connection to the bridge.
class Link {
 public:
  ~Link() { Drop(); }

  // Sends the request, fills `answer` with the answer's body; false when the bridge is gone.
  bool Call(const Writer& request, std::vector<uint8_t>* answer) {
    if (sock_ == INVALID_SOCKET && !Open()) return false;
    const std::vector<uint8_t> frame = request.Frame();
    uint8_t head[4];
    if (!SendAll(frame.data(), frame.size()) || !RecvAll(head, 4)) return Drop();
    const uint32_t n = FrameLength(head);
    if (n > kMaxFrame) return Drop();
    answer->resize(n);
    if (n && !RecvAll(answer->data(), n)) return Drop();
    return true;
  }

 private:
  bool Open() {
    static std::once_flag started;
    std::call_once(started, [] {
      WSADATA data;
      WSAStartup(MAKEWORD(2, 2), &data);
    });
    const char* port = std::getenv("QUILTA_PCSC_BRIDGE_PORT");
    if (port == nullptr || *port == 0) return false;
    sock_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (sock_ == INVALID_SOCKET) return false;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<u_short>(std::atoi(port)));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(sock_, reinterpret_cast<sockaddr*>(&a), sizeof(a)) != 0) return Drop();
    BOOL on = TRUE;
    setsockopt(sock_, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof(on));
    return true;
  }
  bool Drop() {
    if (sock_ != INVALID_SOCKET) closesocket(sock_);
    sock_ = INVALID_SOCKET;
    return false;
  }
  bool SendAll(const uint8_t* p, size_t n) {
    while (n) {
      const int k = send(sock_, reinterpret_cast<const char*>(p), static_cast<int>(n), 0);
      if (k <= 0) return false;
      p += k;
      n -= static_cast<size_t>(k);
    }
    return true;
  }
  bool RecvAll(uint8_t* p, size_t n) {
    while (n) {
      const int k = recv(sock_, reinterpret_cast<char*>(p), static_cast<int>(n), 0);
      if (k <= 0) return false;
      p += k;
      n -= static_cast<size_t>(k);
    }
    return true;
  }
  SOCKET sock_ = INVALID_SOCKET;
};

thread_local Link t_link;

Writer Request(Op op) {
  Writer w;
  w.U8(static_cast<uint8_t>(op));
  return w;
}

// One call: the request sent, the answer's fields after the result read from `r`.
class Answer {
 public:
  // The result (a broken answer or a lost bridge: NO_SERVICE).
  LONG Call(const Writer& request) {
    if (!t_link.Call(request, &body_)) return kNoService;
    const LONG rv = static_cast<LONG>(r.U32());
    return r.ok() ? rv : kNoService;
  }

 private:
  std::vector<uint8_t> body_;

 public:
  Reader r{body_};
};

}  // namespace

extern "C" {

LONG WINAPI SCardEstablishContext(DWORD scope, LPCVOID, LPCVOID, SCARDCONTEXT* context) {
  if (context == nullptr) return kInvalidParameter;
  Answer a;
  const LONG rv = a.Call(Request(Op::EstablishContext).U32(scope));
  if (rv == 0) *context = static_cast<ULONG_PTR>(a.r.U64());
  return rv;
}

LONG WINAPI SCardReleaseContext(SCARDCONTEXT context) {
  Answer a;
  return a.Call(Request(Op::ReleaseContext).U64(context));
}

LONG WINAPI SCardListReadersA(SCARDCONTEXT context, LPCSTR /*groups*/, LPSTR readers, DWORD* length) {
  if (length == nullptr || *length == kAutoAllocate) return kInvalidParameter;
  Answer a;
  const LONG rv = a.Call(Request(Op::ListReaders).U64(context).U32(readers ? 1 : 0).U32(*length));
  if (rv == 0 || rv == kInsufficientBuffer) *length = a.r.U32();
  if (rv == 0 && readers) {
    const std::string text = a.r.Str();
    if (text.size() > *length) return kNoService;
    memcpy(readers, text.data(), text.size());
  }
  return rv;
}

LONG WINAPI SCardGetStatusChangeA(SCARDCONTEXT context, DWORD timeout, SCARD_READERSTATEA* states,
                                  DWORD count) {
  if (count && states == nullptr) return kInvalidParameter;
  Writer w = Request(Op::GetStatusChange);
  w.U64(context).U32(timeout).U32(count);
  for (DWORD i = 0; i < count; ++i)
    w.Str(states[i].szReader ? states[i].szReader : "").U32(states[i].dwCurrentState);
  Answer a;
  const LONG rv = a.Call(w);
  if (rv != 0) return rv;
  for (DWORD i = 0; i < count; ++i) {
    states[i].dwEventState = a.r.U32();
    const std::string atr = a.r.Str();
    states[i].cbAtr = static_cast<DWORD>(atr.size() > 36 ? 36 : atr.size());
    memcpy(states[i].rgbAtr, atr.data(), states[i].cbAtr);
  }
  return a.r.ok() ? rv : kNoService;
}

LONG WINAPI SCardConnectA(SCARDCONTEXT context, LPCSTR reader, DWORD share, DWORD protocols,
                          SCARDHANDLE* card, DWORD* activeProtocol) {
  if (reader == nullptr || card == nullptr || activeProtocol == nullptr) return kInvalidParameter;
  Answer a;
  const LONG rv = a.Call(Request(Op::Connect).U64(context).Str(reader).U32(share).U32(protocols));
  if (rv == 0) {
    *card = static_cast<ULONG_PTR>(a.r.U64());
    *activeProtocol = a.r.U32();
  }
  return rv;
}

LONG WINAPI SCardDisconnect(SCARDHANDLE card, DWORD disposition) {
  Answer a;
  return a.Call(Request(Op::Disconnect).U64(card).U32(disposition));
}

LONG WINAPI SCardTransmit(SCARDHANDLE card, LPCSCARD_IO_REQUEST sendPci, const BYTE* command,
                          DWORD commandLength, LPSCARD_IO_REQUEST /*recvPci*/, BYTE* response,
                          DWORD* responseLength) {
  if (sendPci == nullptr || command == nullptr || response == nullptr || responseLength == nullptr)
    return kInvalidParameter;
  Answer a;
  const LONG rv = a.Call(Request(Op::Transmit)
                           .U64(card)
                           .U32(sendPci->dwProtocol)
                           .Bytes(command, commandLength)
                           .U32(*responseLength));
  if (rv != 0) return rv;
  const std::string answer = a.r.Str();
  if (!a.r.ok() || answer.size() > *responseLength) return kNoService;
  memcpy(response, answer.data(), answer.size());
  *responseLength = static_cast<DWORD>(answer.size());
  return rv;
}

// Reader control commands do not cross the bridge: the vpcd readers behind it answer none, so
// the caller learns what it learns from a reader without a feature list.
LONG WINAPI SCardControl(SCARDHANDLE /*card*/, DWORD /*code*/, LPCVOID /*in*/, DWORD /*inLength*/,
                         LPVOID /*out*/, DWORD /*outSize*/, LPDWORD returned) {
  if (returned) *returned = 0;
  return kUnsupportedFeature;
}

}  // extern "C"
