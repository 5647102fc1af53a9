// Reads the small JSON files the checks look at (the browsers' host manifests): a whole
// JSON text into a tree. Strings are taken as their UTF-8 bytes with the escapes resolved;
// numbers are kept as written. Nesting deeper than kMaxDepth is refused.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quilta::diagnosis {

struct JsonValue {
  enum class Kind { kNull, kBool, kNumber, kString, kArray, kObject };
  static constexpr int kMaxDepth = 32;

  Kind kind = Kind::kNull;
  bool boolean = false;
  std::string text;               // a string's value, a number as written
  std::vector<JsonValue> items;   // an array's items, an object's values
  std::vector<std::string> keys;  // an object's keys, in the order written (items alike)

  // The value of the last member named `key`; nullptr when absent or not an object.
  const JsonValue* Find(std::string_view key) const;
  // The string items of an array; nullopt when this is not an array of strings only.
  std::optional<std::vector<std::string>> Strings() const;
};

// nullopt when `text` is not one JSON value surrounded only by white space.
std::optional<JsonValue> ReadJson(std::string_view text);

}  // namespace quilta::diagnosis
