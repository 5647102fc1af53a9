// A small JSON reader and writer for the native-messaging host: exactly what the browser's
// messages need, nothing more.
//
// Reading is strict (RFC 8259): one value, surrounded only by white space; strings must be
// valid UTF-8 (no overlong forms, no encoded surrogates, nothing above U+10FFFF) without raw
// control characters; numbers follow the JSON grammar and must fit a double; an object may
// not repeat a key and may hold at most kMaxMembers members (a request has five; the cap keeps
// the repeated-key check linear in the text); nesting deeper than kMaxDepth is refused. A \u escape of a lone
// surrogate reads as U+FFFD, as text from the page always does. Numbers are doubles: a page
// number reaches the host as JavaScript holds it.
//
// Writing always gives valid UTF-8: invalid bytes in a string are written as U+FFFD.
// Parsing never leaves a copy of a string's bytes in freed memory: each string is made at its
// final size, and a failed parse wipes what it had read.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quilta::nmhost {

class Json {
 public:
  enum class Kind : uint8_t { Null, Bool, Number, String, Array, Object };

  static constexpr int kMaxDepth = 16;
  static constexpr size_t kMaxMembers = 16;

  // Defined in json.cpp, where Json is complete: a vector of pairs holding the class itself
  // cannot have its destructor made inside the class with every standard library.
  Json();
  Json(const Json&);
  Json(Json&&) noexcept;
  Json& operator=(const Json&);
  Json& operator=(Json&&) noexcept;
  ~Json();

  Kind kind = Kind::Null;
  bool boolean = false;
  double number = 0;
  std::string string;                                // UTF-8
  std::vector<Json> items;                           // Array
  std::vector<std::pair<std::string, Json>> members;  // Object, in the order written

  static Json Null() { return Json(); }
  static Json Bool(bool b);
  static Json Number(double x);
  static Json String(std::string utf8);
  static Json Object(std::vector<std::pair<std::string, Json>> members);

  // The member named `key` of an object; nullptr when absent or not an object.
  const Json* Find(std::string_view key) const;

  // Overwrites every text, key and number of the value (a request may carry a PIN) and
  // leaves it null.
  void Wipe();
};

// Parses one JSON text. nullopt (with a short reason in *error) when it is not valid JSON.
std::optional<Json> ParseJson(std::string_view text, std::string* error = nullptr);

// The JSON text of a value (no white space). Numbers are written as JavaScript prints them;
// a non-finite number (which JSON cannot hold) is written as null.
std::string WriteJson(const Json& value);

}  // namespace quilta::nmhost
