#include "txn/display.h"

#include <string>

namespace quilta::txn {

Text AccountText(const Text& bankNo, const Text& accountNo) {
  return bankNo.substr(0, 3) + u"/" + accountNo;
}

Text DateText(const Text& serverDateTime, bool nationalYear) {
  auto part = [&](size_t at, size_t n) { return at < serverDateTime.size() ? serverDateTime.substr(at, n) : Text(); };
  Text year = part(0, 4);
  if (nationalYear) {
    int64_t value = 0;
    for (char16_t c : year) {
      if (c < u'0' || c > u'9') break;
      value = value * 10 + (c - u'0');
    }
    year = AsciiText(std::to_string(value - 1911));
  }
  return year + u"/" + part(4, 2) + u"/" + part(6, 2) + u" " + part(8, 2) + u":" + part(10, 2) +
         u":" + part(12, 2);
}

Text AmountText(int64_t amount) {
  const bool negative = amount < 0;
  // Digits of the magnitude, built from the right (the magnitude of INT64_MIN fits unsigned).
  uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(amount) : static_cast<uint64_t>(amount);
  std::string digits;
  int inGroup = 0;
  do {
    if (inGroup == 3) {
      digits.insert(digits.begin(), ',');
      inGroup = 0;
    }
    digits.insert(digits.begin(), static_cast<char>('0' + magnitude % 10));
    magnitude /= 10;
    ++inGroup;
  } while (magnitude != 0);
  if (negative) digits.insert(digits.begin(), '-');
  return AsciiText(digits);
}

}  // namespace quilta::txn
