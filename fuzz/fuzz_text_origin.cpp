// Text conversions and the page-origin check with arbitrary input: UTF-8 and the narrow code
// page (CP950) both ways, UTF-16 from the page (lone and paired surrogates, escape units),
// reader names to and from PC/SC, and UrlHost/CheckPageOrigin on any URL.
//
// Checked beyond the sanitizers: the narrow form is lossless (FromNarrow then ToNarrow gives
// the bytes back) and NarrowLength is its length; ToUtf8 always gives valid UTF-8 and reads
// back unchanged; page text never holds an escape unit; an origin that passes has an http(s)
// host equal to the domain or ending in "." + domain, and a host holds no upper-case letter.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>

#include "fuzz/check.h"

#include "base/page_origin.h"
#include "base/text.h"
#include "quilta_config.h"

using namespace quilta;

namespace {

// Page text: no lone surrogate (so no escape unit either).
bool PageClean(const Text& t) {
  for (size_t i = 0; i < t.size(); ++i) {
    const char16_t u = t[i];
    if (u >= 0xD800 && u <= 0xDBFF) {
      if (i + 1 >= t.size() || t[i + 1] < 0xDC00 || t[i + 1] > 0xDFFF) return false;
      ++i;
    } else if (u >= 0xDC00 && u <= 0xDFFF) {
      return false;
    }
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);

  // Narrow bytes survive the round trip.
  const Text narrow = FromNarrow(bytes);
  CHECK(ToNarrow(narrow) == bytes);
  CHECK(NarrowLength(narrow) == bytes.size());
  CHECK(FromUtf8(ToUtf8(narrow)) == FromUtf8(ToUtf8(FromUtf8(ToUtf8(narrow)))));

  // UTF-8 from the page.
  const Text fromUtf8 = FromUtf8(bytes);
  CHECK(PageClean(fromUtf8));
  const std::string utf8 = ToUtf8(fromUtf8);
  CHECK(FromUtf8(utf8) == fromUtf8);
  CHECK(ToUtf8(FromUtf8(utf8)) == utf8);
  NarrowLength(fromUtf8);
  CHECK(FromNarrow(ToNarrow(fromUtf8)).size() <= 2 * ToNarrow(fromUtf8).size());

  // UTF-16 units from the page.
  Text units;
  for (size_t i = 0; i + 1 < size; i += 2) units.push_back(static_cast<char16_t>(data[i] | data[i + 1] << 8));
  const Text page = FromPageUtf16(units);
  CHECK(page.size() == units.size() && PageClean(page));
  CHECK(FromUtf8(ToUtf8(page)) == page);

  // Reader names.
  const Text name = ReaderNameFromPcsc(bytes);
  ReaderNameToPcsc(name);
  ReaderNameToPcsc(units);

  // Origins.
  const std::optional<std::string> host = UrlHost(bytes);
  if (host) {
    CHECK(!host->empty());
    for (char c : *host) CHECK(!(c >= 'A' && c <= 'Z'));
  }
  const std::string_view domain = config::kBankDomain;
  if (CheckPageOrigin(bytes, domain)) {
    CHECK(host.has_value());
    const bool equal = *host == domain;
    const bool sub = host->size() > domain.size() + 1 &&
                     host->compare(host->size() - domain.size() - 1, std::string::npos,
                                   "." + std::string(domain)) == 0;
    CHECK(equal || sub);
  }
  // The fuzzer's bytes as the domain too.
  if (size > 0 && size < 80) CheckPageOrigin(std::string("https://") + bytes + "/", bytes);
  return 0;
}
