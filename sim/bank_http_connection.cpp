// The server's side of a connection: TLS when there is a context, one request read, the
// site's answer written, closed.
#include "sim/bank_http.h"

#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace quilta::sim::bank_http {
namespace {

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

}  // namespace

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

}  // namespace quilta::sim::bank_http
