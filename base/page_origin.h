// The page-origin check: a script object reaches the card, the card session and the page
// properties only when the page it was made for is an https page served by the bank's own
// web host (or one of its subdomains).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quilta {

// The host of an http or https URL, lower-cased, without user information, port or a final
// dot; nullopt when the URL has another scheme (file:, about:, data:, javascript: ...), no
// host, or a host that is not a plain DNS name (IP literals in brackets, percent escapes,
// control or other unexpected characters).
std::optional<std::string> UrlHost(std::string_view url);

// Which schemes count as the bank's: https only, or (test rigs) http as well.
enum class Schemes : uint8_t { HttpsOnly, HttpAndHttps };

// True when `url` is an https URL (or http, with HttpAndHttps) whose host equals `domain` or
// ends with "." + `domain`, compared without regard to ASCII case. A missing URL, an empty
// domain or a URL without a host fails. Text elsewhere in the URL (path, query, fragment,
// user information, a longer host that merely contains the domain) never counts.
bool CheckPageOrigin(const std::optional<std::string>& url, std::string_view domain,
                     Schemes schemes = Schemes::HttpsOnly);

// CheckPageOrigin against the build's bank domain and scheme setting (quilta_config.h).
bool IsBankPage(const std::optional<std::string>& url);

}  // namespace quilta
