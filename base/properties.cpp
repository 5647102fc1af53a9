#include "base/properties.h"

#include <algorithm>
#include <climits>

namespace quilta {
namespace {

// Leading decimal integer: leading white space and one sign allowed, stops at the first
// non-digit, 0 when there is none; clamped to the 64-bit range (an amount of 12 digits, the
// most a transaction takes, is shown as written).
int64_t LeadingInteger(std::string_view s) {
  size_t i = 0;
  while (i < s.size() && (s[i] == ' ' || (s[i] >= '\t' && s[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  constexpr uint64_t kLimit = static_cast<uint64_t>(INT64_MAX) + 1;
  uint64_t v = 0;
  for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
    v = v > (kLimit - 9) / 10 ? kLimit : std::min<uint64_t>(v * 10 + static_cast<uint64_t>(s[i] - '0'), kLimit);
  }
  if (negative) return v == kLimit ? INT64_MIN : -static_cast<int64_t>(v);
  return v >= kLimit ? INT64_MAX : static_cast<int64_t>(v);
}

Text FixedWidth(const Text& value, size_t width) {
  std::string narrow = ToNarrow(value);
  std::string out(width, ' ');
  out.replace(0, std::min(narrow.size(), width), narrow, 0, std::min(narrow.size(), width));
  return FromNarrow(out);
}

}  // namespace

PropertyStore::PropertyStore() {
  for (size_t i = 0; i < kPropCount; ++i) text_[i] = AsciiText(kProps[i].defaultText);
}

bool PropertyStore::Get(Prop p, const std::string& errorText, PropValue* out) const {
  const PropInfo& info = Info(p);
  if (!info.readable()) return false;
  out->type = info.type;
  out->text.clear();
  out->number = 0;
  switch (info.read) {
    case ReadRule::Error:
      out->text = FromNarrow(errorText);
      break;
    case ReadRule::Flag:
      out->text = NumberOf(p) != 0 ? u"Y" : u"N";
      break;
    case ReadRule::Empty:
    case ReadRule::Zero:
      break;
    case ReadRule::Plain:
      if (info.type == ValueType::Int) out->number = NumberOf(p);
      else out->text = TextOf(p);
      break;
  }
  return true;
}

PropertyStore::Write PropertyStore::PutText(Prop p, const Text& value) {
  const PropInfo& info = Info(p);
  if (!info.writable() || info.type != ValueType::Text) return Write::Refused;
  if (info.write == WriteRule::AxIgnore) return Write::Refused;  // the NPAPI side refuses it
  if (info.write == WriteRule::Ignore) return Write::Done;
  SecretBytes narrow(ToNarrow(value));  // may be a PIN block or a key: wiped when done
  if (info.limit != kNoLimit && narrow.size() > static_cast<size_t>(info.limit))
    return Write::Done;  // dropped
  switch (info.write) {
    case WriteRule::Store:
      TextOf(p) = value;
      break;
    case WriteRule::Secret:
      secret_[static_cast<size_t>(p)].Assign(value);
      break;
    case WriteRule::Amount: {
      amountValue_ = LeadingInteger(narrow.view());
      std::string padded = narrow.size() < 12
                               ? std::string(12 - narrow.size(), '0') + narrow.value()
                               : narrow.value();
      amount14_ = FromNarrow(padded + "00");
      TextOf(p) = value;
      break;
    }
    case WriteRule::Nono:
      return Write::Nono;
    case WriteRule::Fixed:  // the width the methods require of the input
      TextOf(p) = FixedWidth(value, static_cast<size_t>(Info(p).input.width));
      break;
    case WriteRule::None:
    case WriteRule::Ignore:
    case WriteRule::AxIgnore:
      break;
  }
  return Write::Done;
}

bool PropertyStore::PutInt(Prop p, int32_t value) {
  const PropInfo& info = Info(p);
  if (!info.writable() || info.type != ValueType::Int) return false;
  NumberOf(p) = value;
  return true;
}

}  // namespace quilta
