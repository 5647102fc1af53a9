#include "base/page_origin.h"

#include "quilta_config.h"

namespace quilta {
namespace {

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string LowerAscii(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = Lower(c);
  return out;
}

bool IsDnsChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_';
}

}  // namespace

std::optional<std::string> UrlHost(std::string_view url) {
  // Scheme: only pages served over http or https have an origin we can judge.
  size_t colon = url.find(':');
  if (colon == std::string_view::npos) return std::nullopt;
  std::string scheme = LowerAscii(url.substr(0, colon));
  if (scheme != "http" && scheme != "https") return std::nullopt;
  std::string_view rest = url.substr(colon + 1);
  if (rest.size() < 2 || rest[0] != '/' || rest[1] != '/') return std::nullopt;
  rest.remove_prefix(2);

  // Authority ends at the path, query or fragment. Browsers treat a backslash in an http(s)
  // URL as a slash, so it ends the authority too.
  size_t end = rest.find_first_of("/?#\\");
  std::string_view authority = rest.substr(0, end);

  // User information ("name:password@") is not part of the host; the last '@' separates it.
  size_t at = authority.rfind('@');
  if (at != std::string_view::npos) authority.remove_prefix(at + 1);

  if (!authority.empty() && authority[0] == '[') return std::nullopt;  // IPv6 literal
  std::string_view host = authority;
  size_t portColon = authority.find(':');
  if (portColon != std::string_view::npos) {
    host = authority.substr(0, portColon);
    std::string_view port = authority.substr(portColon + 1);
    for (char c : port) {
      if (c < '0' || c > '9') return std::nullopt;
    }
  }
  std::string lowered = LowerAscii(host);
  if (!lowered.empty() && lowered.back() == '.') lowered.pop_back();  // "bank.example." is the same host
  if (lowered.empty()) return std::nullopt;
  for (char c : lowered) {
    if (!IsDnsChar(c)) return std::nullopt;
  }
  if (lowered.front() == '.' || lowered.find("..") != std::string::npos) return std::nullopt;
  return lowered;
}

bool CheckPageOrigin(const std::optional<std::string>& url, std::string_view domain,
                     Schemes schemes) {
  if (!url || domain.empty()) return false;
  const size_t colon = url->find(':');
  if (colon == std::string::npos) return false;
  const std::string scheme = LowerAscii(std::string_view(*url).substr(0, colon));
  if (scheme != "https" && !(scheme == "http" && schemes == Schemes::HttpAndHttps)) return false;
  std::optional<std::string> host = UrlHost(*url);
  if (!host) return false;
  std::string want = LowerAscii(domain);
  if (*host == want) return true;
  return host->size() > want.size() + 1 &&
         host->compare(host->size() - want.size(), want.size(), want) == 0 &&
         (*host)[host->size() - want.size() - 1] == '.';
}

bool IsBankPage(const std::optional<std::string>& url) {
  return CheckPageOrigin(url, config::kBankDomain,
                         config::kAllowPlainHttp ? Schemes::HttpAndHttps : Schemes::HttpsOnly);
}

}  // namespace quilta
