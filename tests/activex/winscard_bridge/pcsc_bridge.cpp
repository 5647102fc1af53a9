// quilta-wine-pcsc-bridge: the Linux side of the test-only winscard.dll (wire.h). Listens on
// 127.0.0.1, makes each forwarded call on pcsc-lite and answers with its result; a thread per
// connection (the DLL opens one per calling thread). pcsc-lite's handles are passed through
// as they are, so a context made on one connection works on every other.
//   quilta-wine-pcsc-bridge --port-file FILE
// Binds a free port, writes its number to FILE once it listens, and serves until killed.
// Test code only.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <PCSC/winscard.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "wire.h"

using namespace quilta::winebridge;

namespace {

bool ReadAll(int fd, uint8_t* p, size_t n) {
  while (n) {
    const ssize_t k = read(fd, p, n);
    if (k <= 0) return false;
    p += k;
    n -= static_cast<size_t>(k);
  }
  return true;
}

bool WriteAll(int fd, const uint8_t* p, size_t n) {
  while (n) {
    const ssize_t k = write(fd, p, n);
    if (k <= 0) return false;
    p += k;
    n -= static_cast<size_t>(k);
  }
  return true;
}

uint32_t Rv(LONG rv) { return static_cast<uint32_t>(rv); }

// One request: its answer (the result and the outputs).
Writer Serve(const std::vector<uint8_t>& body) {
  Reader in(body);
  Writer out;
  const Op op = static_cast<Op>(in.U8());
  switch (op) {
    case Op::EstablishContext: {
      const DWORD scope = in.U32();
      SCARDCONTEXT c = 0;
      const LONG rv = SCardEstablishContext(scope, nullptr, nullptr, &c);
      out.U32(Rv(rv));
      if (rv == SCARD_S_SUCCESS) out.U64(static_cast<uint64_t>(c));
      return out;
    }
    case Op::ReleaseContext:
      return out.U32(Rv(SCardReleaseContext(static_cast<SCARDCONTEXT>(in.U64()))));
    case Op::ListReaders: {
      const auto c = static_cast<SCARDCONTEXT>(in.U64());
      const bool wantText = in.U32() != 0;
      const uint32_t capacity = in.U32();
      DWORD n = 0;
      LONG rv = SCardListReaders(c, nullptr, nullptr, &n);
      std::string text(n, '\0');
      if (rv == SCARD_S_SUCCESS) rv = SCardListReaders(c, nullptr, text.data(), &n);
      text.resize(rv == SCARD_S_SUCCESS ? n : 0);
      if (rv == SCARD_S_SUCCESS && wantText && n > capacity) rv = SCARD_E_INSUFFICIENT_BUFFER;
      out.U32(Rv(rv));
      if (rv == SCARD_S_SUCCESS || rv == SCARD_E_INSUFFICIENT_BUFFER) out.U32(static_cast<uint32_t>(n));
      if (rv == SCARD_S_SUCCESS && wantText) out.Str(text);
      return out;
    }
    case Op::GetStatusChange: {
      const auto c = static_cast<SCARDCONTEXT>(in.U64());
      const DWORD timeout = in.U32();
      const uint32_t count = in.U32();
      if (count > 64) return out.U32(Rv(SCARD_E_INVALID_PARAMETER));
      std::vector<std::string> names(count);
      std::vector<SCARD_READERSTATE> states(count);
      for (uint32_t i = 0; i < count; ++i) {
        names[i] = in.Str();
        states[i] = SCARD_READERSTATE{};
        states[i].dwCurrentState = in.U32();
      }
      for (uint32_t i = 0; i < count; ++i) states[i].szReader = names[i].c_str();
      if (!in.ok()) return out.U32(Rv(SCARD_E_INVALID_PARAMETER));
      const LONG rv = SCardGetStatusChange(c, timeout, states.data(), count);
      out.U32(Rv(rv));
      if (rv == SCARD_S_SUCCESS)
        for (const SCARD_READERSTATE& s : states)
          out.U32(static_cast<uint32_t>(s.dwEventState)).Bytes(s.rgbAtr, static_cast<uint32_t>(s.cbAtr));
      return out;
    }
    case Op::Connect: {
      const auto c = static_cast<SCARDCONTEXT>(in.U64());
      const std::string reader = in.Str();
      const DWORD share = in.U32();
      const DWORD protocols = in.U32();
      SCARDHANDLE h = 0;
      DWORD active = 0;
      const LONG rv = SCardConnect(c, reader.c_str(), share, protocols, &h, &active);
      out.U32(Rv(rv));
      if (rv == SCARD_S_SUCCESS) out.U64(static_cast<uint64_t>(h)).U32(static_cast<uint32_t>(active));
      return out;
    }
    case Op::Disconnect: {
      const auto h = static_cast<SCARDHANDLE>(in.U64());
      return out.U32(Rv(SCardDisconnect(h, in.U32())));
    }
    case Op::Transmit: {
      const auto h = static_cast<SCARDHANDLE>(in.U64());
      const uint32_t protocol = in.U32();
      const std::string command = in.Str();
      const uint32_t capacity = std::min(in.U32(), kMaxResponse);
      if (!in.ok()) return out.U32(Rv(SCARD_E_INVALID_PARAMETER));
      const SCARD_IO_REQUEST* pci = protocol == SCARD_PROTOCOL_T1 ? SCARD_PCI_T1 : SCARD_PCI_T0;
      std::vector<uint8_t> response(capacity);
      DWORD n = capacity;
      const LONG rv = SCardTransmit(h, pci, reinterpret_cast<const BYTE*>(command.data()),
                                    static_cast<DWORD>(command.size()), nullptr, response.data(), &n);
      out.U32(Rv(rv));
      if (rv == SCARD_S_SUCCESS) out.Bytes(response.data(), static_cast<uint32_t>(n));
      return out;
    }
  }
  return out.U32(Rv(SCARD_E_INVALID_PARAMETER));
}

void Connection(int fd) {
  for (;;) {
    uint8_t head[4];
    if (!ReadAll(fd, head, 4)) break;
    const uint32_t n = FrameLength(head);
    if (n == 0 || n > kMaxFrame) break;
    std::vector<uint8_t> body(n);
    if (!ReadAll(fd, body.data(), n)) break;
    const std::vector<uint8_t> answer = Serve(body).Frame();
    if (!WriteAll(fd, answer.data(), answer.size())) break;
  }
  close(fd);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 || std::strcmp(argv[1], "--port-file") != 0) {
    std::fprintf(stderr, "usage: quilta-wine-pcsc-bridge --port-file FILE\n");
    return 2;
  }
  const int lfd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof(a);
  if (lfd < 0 || bind(lfd, reinterpret_cast<sockaddr*>(&a), sizeof(a)) != 0 || listen(lfd, 8) != 0 ||
      getsockname(lfd, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
    std::perror("quilta-wine-pcsc-bridge: listen");
    return 1;
  }
  const std::string tmp = std::string(argv[2]) + ".tmp";
  if (FILE* f = std::fopen(tmp.c_str(), "w")) {
    std::fprintf(f, "%u\n", ntohs(a.sin_port));
    std::fclose(f);
    std::rename(tmp.c_str(), argv[2]);
  }
  for (;;) {
    const int fd = accept(lfd, nullptr, nullptr);
    if (fd < 0) continue;
    int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof(on));
    std::thread(Connection, fd).detach();
  }
}
