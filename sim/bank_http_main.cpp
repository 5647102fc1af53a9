// quilta-bank-http: the bank's web server for the sample web-ATM pages, on loopback only.
// It serves the pages and answers them with the bank-server simulator (bank_server.h), built
// with the plug-in's key table and the bank's record of the simulated card:
//   GET  /session?kind=K   K: login, inquiry, transfer, tax, fee, money, input. A new
//                          session and, but for input, a prepared transaction. Answers JSON
//                          {"id":N,"kind":K,"method":"DoTransferTAC","nono":...,
//                           "SessionKey":...,"inputs":[{"property":P,"value":V},...]}
//                          (inputs: the property writes in order, nono and SessionKey first).
//   POST /verify           form fields id and what the page read back: TAC, IccSeqNo,
//                          SessionTAC, EncOutAccountNo (transactions), Value and ValueTAC
//                          (input), TACLog (a TACLog0..9 value against transaction id).
//                          Answers {"ok":true|false,"reason":"..."}.
//   GET  /other            files under --root (index.html for a folder).
//
//   quilta-bank-http --root DIR [--port N] [--port-file FILE] [--profile FILE]
//                    [--cert FILE --key FILE]
// --port 0 (the default) takes a free port; the port is printed ("listening on 127.0.0.1:N
// (https)") and written to FILE. With --cert (the server's certificate, PEM, followed by any
// intermediate ones) and --key (its private key, PEM) it speaks https only; without them
// plain http, for looking at the pages locally (the plug-in and the extension serve the
// bank's https pages only). One request per connection; each connection is read in a thread
// of its own (a browser may hold a connection open before it sends on it), the bank answers
// one request at a time.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>

#include "sim/bank_http.h"
#include "sim/profile.h"

using namespace quilta;
using namespace quilta::sim::bank_http;

int main(int argc, char** argv) {
  std::string root, portFile, profile, cert, key;
  int port = 0;
  bool usage = argc % 2 == 0;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string opt = argv[i];
    if (opt == "--root") root = argv[i + 1];
    else if (opt == "--port") port = std::atoi(argv[i + 1]);
    else if (opt == "--port-file") portFile = argv[i + 1];
    else if (opt == "--profile") profile = argv[i + 1];
    else if (opt == "--cert") cert = argv[i + 1];
    else if (opt == "--key") key = argv[i + 1];
    else usage = true;
  }
  if (usage || cert.empty() != key.empty()) {
    std::fprintf(stderr,
                 "usage: quilta-bank-http --root DIR [--port N] [--port-file FILE] [--profile FILE]"
                 " [--cert FILE --key FILE]\n");
    return 2;
  }
  if (root.empty()) {
    std::fprintf(stderr, "quilta-bank-http: --root DIR is required\n");
    return 2;
  }
  TlsContext* tls = nullptr;
  if (!cert.empty()) {
#if QUILTA_BANK_HTTP_TLS
    if (!(tls = MakeTlsContext(cert, key))) return 2;
#else
    std::fprintf(stderr, "quilta-bank-http: built without OpenSSL, no https (--cert, --key)\n");
    return 2;
#endif
  }
  std::signal(SIGPIPE, SIG_IGN);  // a client gone before its answer ends only its thread
  sim::Profile card = profile.empty() ? sim::DefaultProfile() : sim::LoadProfile(profile);
  Bank bank(std::move(card), root);
  std::mutex bankMutex;

  const int s = socket(AF_INET, SOCK_STREAM, 0);
  const int one = 1;
  setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);  // loopback only
  addr.sin_port = htons(static_cast<uint16_t>(port));
  socklen_t len = sizeof addr;
  if (bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(s, 16) != 0 ||
      getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    std::perror("quilta-bank-http");
    return 1;
  }
  port = ntohs(addr.sin_port);
  std::printf("listening on 127.0.0.1:%d (%s)\n", port, tls ? "https" : "http");
  std::fflush(stdout);
  if (!portFile.empty()) std::ofstream(portFile) << port << "\n";

  for (;;) {
    const int c = accept(s, nullptr, nullptr);
    if (c < 0) continue;
    std::thread(Serve, c, std::ref(bank), std::ref(bankMutex), tls).detach();
  }
}
