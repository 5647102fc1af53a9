#include "base/js_number.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string>

namespace quilta {

std::optional<std::string> JsNumberToString(double x) {
  if (!std::isfinite(x)) return std::nullopt;
  if (x == 0) return std::string("0");  // also -0
  std::string out;
  if (x < 0) {
    out.push_back('-');
    x = -x;
  }

  // The shortest digits s (k of them) that read back as x, and the exponent n with
  // x = 0.s * 10^n: to_chars in scientific form gives "d.ddde+XX" with those digits.
  char buf[64];
  std::to_chars_result r = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::scientific);
  if (r.ec != std::errc()) return std::nullopt;
  std::string digits;
  const char* p = buf;
  for (; p != r.ptr && *p != 'e'; ++p)
    if (*p != '.') digits.push_back(*p);
  // The exponent: 'e', its sign, then at least two digits.
  if (r.ptr - p < 3) return std::nullopt;
  int exponent = 0;
  for (const char* q = p + 2; q != r.ptr; ++q) exponent = exponent * 10 + (*q - '0');
  const int n = (p[1] == '-' ? -exponent : exponent) + 1;
  const int k = static_cast<int>(digits.size());

  if (k <= n && n <= 21) {  // a whole number: the digits, then n - k zeros
    out += digits;
    out.append(static_cast<size_t>(n - k), '0');
  } else if (0 < n && n <= 21) {  // the point inside the digits
    out += digits.substr(0, static_cast<size_t>(n));
    out.push_back('.');
    out += digits.substr(static_cast<size_t>(n));
  } else if (-6 < n && n <= 0) {  // "0." and -n zeros before the digits
    out += "0.";
    out.append(static_cast<size_t>(-n), '0');
    out += digits;
  } else {  // exponent form: one digit before the point, exponent n - 1 with its sign
    out.push_back(digits[0]);
    if (k > 1) {
      out.push_back('.');
      out += digits.substr(1);
    }
    out.push_back('e');
    out.push_back(n - 1 < 0 ? '-' : '+');
    out += std::to_string(std::abs(n - 1));
  }
  return out;
}

}  // namespace quilta
