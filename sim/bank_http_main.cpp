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
#include <sys/time.h>
#include <unistd.h>

#include <cctype>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <map>
#include <mutex>
#include <random>
#include <sstream>
#include <string>
#include <thread>

#if QUILTA_BANK_HTTP_TLS
#include <openssl/err.h>
#include <openssl/ssl.h>
using TlsContext = SSL_CTX;
#else
struct TlsContext;  // a build without OpenSSL serves plain http only
#endif

#include "quilta_config.h"
#include "sim/bank_server.h"
#include "sim/profile.h"

namespace {

using namespace quilta;

struct Entry {
  std::string kind;
  sim::TxnRequest request;
  bank::BankSession session{config::kKeyTable};
  sim::TxnOutputs outputs;
  bool verified = false;
};

std::string JsonText(std::string_view s) {
  std::string out = "\"";
  for (unsigned char c : s) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", c);
      out += buf;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

std::string UrlDecode(std::string_view s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '+') {
      out += ' ';
    } else if (s[i] == '%' && i + 2 < s.size() && std::isxdigit(static_cast<unsigned char>(s[i + 1])) &&
               std::isxdigit(static_cast<unsigned char>(s[i + 2]))) {
      out += static_cast<char>(std::stoi(std::string(s.substr(i + 1, 2)), nullptr, 16));
      i += 2;
    } else {
      out += s[i];
    }
  }
  return out;
}

std::map<std::string, std::string> ParseForm(std::string_view s) {
  std::map<std::string, std::string> out;
  while (!s.empty()) {
    const size_t amp = s.find('&');
    std::string_view pair = s.substr(0, amp);
    const size_t eq = pair.find('=');
    if (eq != std::string_view::npos) out[UrlDecode(pair.substr(0, eq))] = UrlDecode(pair.substr(eq + 1));
    if (amp == std::string_view::npos) break;
    s.remove_prefix(amp + 1);
  }
  return out;
}

std::string Now14() {
  std::time_t t = std::time(nullptr);
  std::tm tm{};
  localtime_r(&t, &tm);
  char buf[16];
  std::strftime(buf, sizeof buf, "%Y%m%d%H%M%S", &tm);
  return buf;
}

struct Reply {
  int code = 200;
  std::string type = "application/json";
  std::string body;
};

class Bank {
 public:
  Bank(sim::Profile card, std::string root) : server_(config::kKeyTable, std::move(card)), root_(std::move(root)) {}

  Reply Handle(const std::string& method, const std::string& target, const std::string& body) {
    const size_t q = target.find('?');
    const std::string path = target.substr(0, q);
    const auto query = ParseForm(q == std::string::npos ? "" : std::string_view(target).substr(q + 1));
    if (method == "GET" && path == "/session") return Session(query.count("kind") ? query.at("kind") : "");
    if (method == "POST" && path == "/verify") return Verify(ParseForm(body));
    if (method == "GET") return File(path);
    return {405, "text/plain", "method not allowed\n"};
  }

 private:
  Reply Session(const std::string& kind) {
    static const std::map<std::string, sim::TxnKind> kKinds = {
        {"login", sim::TxnKind::kLogin},   {"inquiry", sim::TxnKind::kInquiry},
        {"transfer", sim::TxnKind::kTransfer}, {"tax", sim::TxnKind::kPayTax},
        {"fee", sim::TxnKind::kPayFee},    {"money", sim::TxnKind::kPayMoney}};
    const auto it = kKinds.find(kind);
    if (it == kKinds.end() && kind != "input") return {400, "application/json", R"({"error":"unknown kind"})"};
    server_.NewSession(draw_());
    server_.SetDateTime(Now14());
    Entry e;
    e.kind = kind;
    e.session = server_.session();
    std::string method = "DoInput";
    std::string inputs = "[" + Input("nono", e.session.nono()) + "," + Input("SessionKey", e.session.sessionKey());
    if (it != kKinds.end()) {
      e.request = server_.Prepare(it->second);
      method = std::string(sim::MethodOf(it->second));
      inputs = "[";
      for (const sim::PageInput& in : server_.PageInputs(e.request)) {
        if (inputs.size() > 1) inputs += ',';
        inputs += Input(in.property, in.value);
      }
    }
    inputs += "]";
    const int id = nextId_++;
    entries_[id] = e;
    return {200, "application/json",
            "{\"id\":" + std::to_string(id) + ",\"kind\":" + JsonText(kind) + ",\"method\":" + JsonText(method) +
                ",\"nono\":" + JsonText(e.session.nono()) + ",\"SessionKey\":" + JsonText(e.session.sessionKey()) +
                ",\"inputs\":" + inputs + "}"};
  }

  static std::string Input(std::string_view property, std::string_view value) {
    return "{\"property\":" + JsonText(property) + ",\"value\":" + JsonText(value) + "}";
  }

  Reply Verify(const std::map<std::string, std::string>& form) {
    auto field = [&](const char* name) { return form.count(name) ? form.at(name) : std::string(); };
    const auto it = entries_.find(std::atoi(field("id").c_str()));
    if (it == entries_.end()) return Verdict({false, "no such session"});
    Entry& e = it->second;
    server_.session() = e.session;
    if (form.count("TACLog")) {
      if (!e.verified) return Verdict({false, "that transaction was not verified"});
      return Verdict(server_.VerifyTacLogRecord(field("TACLog"), e.request, e.outputs));
    }
    if (e.kind == "input") return Verdict(server_.VerifyValueTac(field("ValueTAC"), field("Value")));
    sim::TxnOutputs out;
    out.tac = field("TAC");
    out.iccSeqNo = field("IccSeqNo");
    out.sessionTac = field("SessionTAC");
    out.encOutAccountNo = field("EncOutAccountNo");
    sim::Verdict v = server_.Verify(e.request, out);
    if (v.ok) {
      e.outputs = out;
      e.verified = true;
    }
    return Verdict(v);
  }

  static Reply Verdict(const sim::Verdict& v) {
    return {200, "application/json",
            std::string("{\"ok\":") + (v.ok ? "true" : "false") + ",\"reason\":" + JsonText(v.reason) + "}"};
  }

  Reply File(std::string path) {
    if (path.find("..") != std::string::npos) return {403, "text/plain", "forbidden\n"};
    if (path.empty() || path.back() == '/') path += "index.html";
    std::ifstream in(root_ + path, std::ios::binary);
    if (!in) return {404, "text/plain", "not found\n"};
    std::ostringstream s;
    s << in.rdbuf();
    std::string type = "application/octet-stream";
    if (path.ends_with(".html")) type = "text/html; charset=utf-8";
    if (path.ends_with(".js")) type = "application/javascript; charset=utf-8";
    if (path.ends_with(".css")) type = "text/css; charset=utf-8";
    return {200, type, s.str()};
  }

  sim::BankServer server_;
  std::string root_;
  std::map<int, Entry> entries_;
  int nextId_ = 1;
  std::mt19937_64 draw_{std::random_device{}()};
};

// One accepted connection: the socket itself, or TLS over it.
class Connection {
 public:
  explicit Connection(int fd) : fd_(fd) {}
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;
  ~Connection() {
#if QUILTA_BANK_HTTP_TLS
    if (ssl_) {
      SSL_shutdown(ssl_);
      SSL_free(ssl_);
    }
#endif
    close(fd_);
  }

#if QUILTA_BANK_HTTP_TLS
  // The server's side of the handshake; false when the client went away or spoke no TLS.
  bool Accept(SSL_CTX* ctx) {
    ssl_ = SSL_new(ctx);
    return ssl_ && SSL_set_fd(ssl_, fd_) == 1 && SSL_accept(ssl_) == 1;
  }
#endif

  ssize_t Read(char* buf, size_t size) {
#if QUILTA_BANK_HTTP_TLS
    if (ssl_) {
      const int n = SSL_read(ssl_, buf, static_cast<int>(size));
      return n > 0 ? n : -1;
    }
#endif
    return read(fd_, buf, size);
  }

  void WriteAll(const std::string& s) {
    size_t off = 0;
    while (off < s.size()) {
      ssize_t n;
#if QUILTA_BANK_HTTP_TLS
      if (ssl_) {
        const int w = SSL_write(ssl_, s.data() + off, static_cast<int>(s.size() - off));
        n = w > 0 ? w : -1;
      } else
#endif
        n = write(fd_, s.data() + off, s.size() - off);
      if (n <= 0) return;
      off += static_cast<size_t>(n);
    }
  }

 private:
  int fd_;
#if QUILTA_BANK_HTTP_TLS
  SSL* ssl_ = nullptr;
#endif
};

// Reads one request: the head up to the blank line and a body of Content-Length bytes.
bool ReadRequest(Connection& conn, std::string* method, std::string* target, std::string* body) {
  std::string data;
  char buf[4096];
  size_t headEnd;
  while ((headEnd = data.find("\r\n\r\n")) == std::string::npos) {
    const ssize_t n = conn.Read(buf, sizeof buf);
    if (n <= 0 || data.size() > 65536) return false;
    data.append(buf, static_cast<size_t>(n));
  }
  std::istringstream head(data.substr(0, headEnd));
  head >> *method >> *target;
  size_t length = 0;
  for (std::string line; std::getline(head, line);) {
    for (char& c : line) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (line.starts_with("content-length:")) length = std::strtoul(line.c_str() + 15, nullptr, 10);
  }
  if (length > 65536) return false;
  *body = data.substr(headEnd + 4);
  while (body->size() < length) {
    const ssize_t n = conn.Read(buf, sizeof buf);
    if (n <= 0) return false;
    body->append(buf, static_cast<size_t>(n));
  }
  body->resize(length);
  return true;
}

#if QUILTA_BANK_HTTP_TLS
// The server's TLS context with its certificate chain and key; null (reasons on stderr) when
// they cannot be loaded or do not belong together.
SSL_CTX* MakeTlsContext(const std::string& cert, const std::string& key) {
  SSL_CTX* ctx = SSL_CTX_new(TLS_server_method());
  if (ctx && SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION) == 1 &&
      SSL_CTX_use_certificate_chain_file(ctx, cert.c_str()) == 1 &&
      SSL_CTX_use_PrivateKey_file(ctx, key.c_str(), SSL_FILETYPE_PEM) == 1 &&
      SSL_CTX_check_private_key(ctx) == 1)
    return ctx;
  std::fprintf(stderr, "quilta-bank-http: cannot use --cert %s --key %s\n", cert.c_str(),
               key.c_str());
  ERR_print_errors_fp(stderr);
  SSL_CTX_free(ctx);
  return nullptr;
}
#endif

// Serves one connection: its request, the bank's answer, closed.
void Serve(int fd, Bank& bank, std::mutex& bankMutex, TlsContext* tls) {
  // A client that keeps a connection open without sending ends its thread after a while.
  timeval limit{30, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
  Connection conn(fd);
#if QUILTA_BANK_HTTP_TLS
  if (tls && !conn.Accept(tls)) return;
#else
  (void)tls;
#endif
  std::string method, target, body;
  Reply r{400, "text/plain", "bad request\n"};
  if (ReadRequest(conn, &method, &target, &body)) {
    const std::lock_guard<std::mutex> lock(bankMutex);
    r = bank.Handle(method, target, body);
  }
  conn.WriteAll("HTTP/1.0 " + std::to_string(r.code) + " X\r\nContent-Type: " + r.type +
                "\r\nCache-Control: no-store\r\nContent-Length: " + std::to_string(r.body.size()) +
                "\r\nConnection: close\r\n\r\n" + r.body);
}

}  // namespace

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
