// The parts of quilta-bank-http (bank_http_main.cpp): the site that answers the sample pages
// (bank_http_site.cpp) and the connections it is served on (bank_http_connection.cpp).
#pragma once

#include <map>
#include <mutex>
#include <random>
#include <string>
#include <string_view>

#if QUILTA_BANK_HTTP_TLS
#include <openssl/err.h>
#include <openssl/ssl.h>
using TlsContext = SSL_CTX;
#else
struct TlsContext;  // a build without OpenSSL serves plain http only
#endif

#include "quilta_config.h"
#include "sim/bank_server.h"

namespace quilta::sim::bank_http {

struct Reply {
  int code = 200;
  std::string type = "application/json";
  std::string body;
};

class Bank {
 public:
  Bank(sim::Profile card, std::string root)
      : server_(config::kKeyTable, std::move(card)), root_(std::move(root)) {}

  Reply Handle(const std::string& method, const std::string& target, const std::string& body);

 private:
  struct Entry {
    std::string kind;
    sim::TxnRequest request;
    bank::BankSession session{config::kKeyTable};
    sim::TxnOutputs outputs;
    bool verified = false;
  };

  Reply Session(const std::string& kind);
  static std::string Input(std::string_view property, std::string_view value);
  Reply Verify(const std::map<std::string, std::string>& form);
  static Reply Verdict(const sim::Verdict& v);
  Reply File(std::string path);

  sim::BankServer server_;
  std::string root_;
  std::map<int, Entry> entries_;
  int nextId_ = 1;
  std::mt19937_64 draw_{std::random_device{}()};
};

#if QUILTA_BANK_HTTP_TLS
// The server's TLS context with its certificate chain and key; null (reasons on stderr) when
// they cannot be loaded or do not belong together.
SSL_CTX* MakeTlsContext(const std::string& cert, const std::string& key);
#endif

// Serves one connection: its request, the bank's answer, closed.
void Serve(int fd, Bank& bank, std::mutex& bankMutex, TlsContext* tls);

}  // namespace quilta::sim::bank_http
