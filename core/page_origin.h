// The page-origin check that guards ConnectCard on pages loaded in a browser: the card may be
// opened only from a page served by the bank's own web host (or one of its subdomains).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quilta {

// The host of an http or https URL, lower-cased, without user information, port or a final
// dot; nullopt when the URL has another scheme (file:, about:, data:, javascript: ...), no
// host, or a host that is not a plain DNS name (IP literals in brackets, percent escapes,
// control or other unexpected characters).
std::optional<std::string> UrlHost(std::string_view url);

// True when `url` is an http(s) URL whose host equals `domain` or ends with "." + `domain`,
// compared without regard to ASCII case. A missing URL, an empty domain or a URL without a
// host fails. Text elsewhere in the URL (path, query, fragment, user information, a longer
// host that merely contains the domain) never counts.
bool CheckPageOrigin(const std::optional<std::string>& url, std::string_view domain);

}  // namespace quilta
