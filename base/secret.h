// Secrets in memory: PINs, PIN blocks, the plain session key and the derived cipher key live
// in a Secret, whose bytes are wiped when the value is overwritten or released. Copies made
// through value() (a std::string or Text the caller keeps) are the caller's to keep short.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>

namespace quilta {

// Overwrites n bytes in a way the optimiser keeps.
void WipeBytes(void* p, size_t n);

// Wipes a string's whole capacity (what it holds and what it held before it shrank) and
// empties it. For buffers that passed a secret through (frames, parsed requests, arguments).
template <class Str>
void WipeString(Str& s) {
  s.resize(s.capacity());
  WipeBytes(s.data(), s.size() * sizeof(typename Str::value_type));
  s.clear();
}

template <class Str>
class Secret {
 public:
  using View = std::basic_string_view<typename Str::value_type>;

  Secret() = default;
  explicit Secret(View v) : value_(v) {}
  Secret(const Secret& other) : value_(other.value_) {}
  Secret(Secret&& other) noexcept : value_(std::move(other.value_)) { other.Wipe(); }
  Secret& operator=(const Secret& other) {
    if (this != &other) Assign(other.value_);
    return *this;
  }
  Secret& operator=(Secret&& other) noexcept {
    if (this != &other) {
      Wipe();
      value_ = std::move(other.value_);
      other.Wipe();
    }
    return *this;
  }
  ~Secret() { Wipe(); }

  Secret& operator=(View v) {
    Assign(v);
    return *this;
  }
  // Replaces the value; the old bytes are wiped first.
  void Assign(View v) {
    Wipe();
    value_.assign(v.data(), v.size());
  }
  // Wipes the whole capacity (not just the size) and empties the value.
  void Wipe() { WipeString(value_); }

  const Str& value() const { return value_; }
  View view() const { return value_; }
  bool empty() const { return value_.empty(); }
  size_t size() const { return value_.size(); }

 private:
  Str value_;
};

using SecretBytes = Secret<std::string>;
using SecretText = Secret<std::u16string>;

}  // namespace quilta
