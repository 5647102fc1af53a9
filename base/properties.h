// The property store: the 103 slots of the member table with their defaults, write limits,
// write rules and read rules. Limits count bytes of the 8-bit form; a value over its limit
// is dropped silently.
#pragma once

#include <array>
#include <cstdint>

#include "base/member_table.h"
#include "base/secret.h"
#include "base/text.h"

namespace quilta {

// A property value as the bindings see it.
struct PropValue {
  ValueType type = ValueType::Text;
  Text text;
  int32_t number = 0;
};

class PropertyStore {
 public:
  PropertyStore();

  // What a page write did.
  enum class Write : uint8_t {
    Refused,   // not writable from the page (read-only, or the NPAPI side's AxIgnore)
    Done,      // stored, or dropped over the limit, or ignored by the property's rule
    Nono,      // a nono within its limit: the session crypto derives its key from it
  };
  Write PutText(Prop p, const Text& value);
  // Integer write (ReaderType, ApplyType). False for other properties.
  bool PutInt(Prop p, int32_t value);
  // The value as the page reads it; false for a write-only property. ErrorInfo reads
  // `errorText`, which the store does not own.
  bool Get(Prop p, const std::string& errorText, PropValue* out) const;

  // A write-only property of the Secret rule (aPIN, Key): kept in wiped memory, not in its
  // text slot (which stays empty), and wiped when overwritten and when the store goes.
  const Text& SecretValue(Prop p) const { return secret_[static_cast<size_t>(p)].value(); }

  // A property's text slot and number slot, as the facade and the transactions read and
  // write them (no limit or write rule applies here).
  Text& TextOf(Prop p) { return text_[static_cast<size_t>(p)]; }
  const Text& TextOf(Prop p) const { return text_[static_cast<size_t>(p)]; }
  int32_t& NumberOf(Prop p) { return num_[static_cast<size_t>(p)]; }
  int32_t NumberOf(Prop p) const { return num_[static_cast<size_t>(p)]; }

  // Named accessors where they read better.
  const Text& ReaderName() const { return TextOf(Prop::ReaderName); }
  int32_t ReaderType() const { return NumberOf(Prop::ReaderType); }
  // Amount as written: the 14-character form (12 digits, zero-filled, then "00") and the
  // leading integer.
  const Text& Amount14() const { return amount14_; }
  int64_t AmountValue() const { return amountValue_; }

 private:
  std::array<Text, kPropCount> text_;
  std::array<int32_t, kPropCount> num_{};
  std::array<SecretText, kPropCount> secret_;  // used by the Secret rows only
  Text amount14_;
  int64_t amountValue_ = 0;
};

}  // namespace quilta
