#include "sim/profile.h"

#include <cctype>
#include <charconv>
#include <fstream>
#include <set>
#include <sstream>

namespace quilta::sim {
namespace {

std::string Trim(std::string_view s) {
  size_t b = 0;
  size_t e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t' || s[b] == '\r')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r')) --e;
  return std::string(s.substr(b, e - b));
}

int HexNibble(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::string ToHex(std::string_view bytes) {
  static const char* digits = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

class Parser {
 public:
  explicit Parser(int line) : line_(line) {}

  [[noreturn]] void Fail(const std::string& what) const {
    throw ProfileError("profile line " + std::to_string(line_) + ": " + what);
  }

  // A field of exactly `width` bytes. Returns std::nullopt for "missing" when allowed.
  std::optional<std::string> Field(const std::string& key, const std::string& value, size_t width,
                                   bool missingAllowed) const {
    std::string bytes;
    if (value == "blank") {
      bytes.assign(width, ' ');
    } else if (value == "nul") {
      bytes.assign(width, '\0');
    } else if (value == "zeros") {
      bytes.assign(width, '0');
    } else if (value == "missing") {
      if (!missingAllowed) Fail(key + " cannot be missing");
      return std::nullopt;
    } else if (value.rfind("hex:", 0) == 0) {
      bytes = Hex(key, value.substr(4));
    } else if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
      bytes = value.substr(1, value.size() - 2);
    } else {
      bytes = value;
    }
    if (bytes.size() != width) {
      Fail(key + " must be " + std::to_string(width) + " bytes, not " + std::to_string(bytes.size()));
    }
    return bytes;
  }

  std::string Hex(const std::string& key, std::string_view hex) const {
    if (hex.size() % 2 != 0) Fail(key + ": odd number of hex digits");
    std::string out;
    for (size_t i = 0; i < hex.size(); i += 2) {
      int hi = HexNibble(hex[i]);
      int lo = HexNibble(hex[i + 1]);
      if (hi < 0 || lo < 0) Fail(key + ": not a hex digit");
      out += static_cast<char>(hi * 16 + lo);
    }
    return out;
  }

  template <size_t N>
  std::array<uint8_t, N> Array(const std::string& key, const std::string& value) const {
    std::string bytes = *Field(key, value, N, false);
    std::array<uint8_t, N> out{};
    for (size_t i = 0; i < N; ++i) out[i] = static_cast<uint8_t>(bytes[i]);
    return out;
  }

  uint32_t Number(const std::string& key, const std::string& value, uint32_t max) const {
    uint32_t n = 0;
    auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), n);
    if (value.empty() || ec != std::errc() || end != value.data() + value.size() || n > max) {
      Fail(key + " must be a number from 0 to " + std::to_string(max));
    }
    return n;
  }

 private:
  int line_;
};

// "account3" -> 3 when `key` is prefix + one digit 1..8.
int IndexedKey(const std::string& key, const std::string& prefix) {
  if (key.size() != prefix.size() + 1 || key.compare(0, prefix.size(), prefix) != 0) return 0;
  char d = key.back();
  return d >= '1' && d <= '8' ? d - '0' : 0;
}

}  // namespace

Profile::Profile() {
  for (auto& a : accounts) a = std::string(16, '0');
  for (auto& r : registered) r = std::string(24, '0');
}

Profile ParseProfile(std::string_view text) {
  Profile p;
  std::set<std::string> seen;
  std::istringstream in{std::string(text)};
  std::string raw;
  int lineNo = 0;
  while (std::getline(in, raw)) {
    ++lineNo;
    Parser parse(lineNo);
    std::string line = Trim(raw);
    if (line.empty() || line[0] == '#') continue;
    size_t eq = line.find('=');
    if (eq == std::string::npos) parse.Fail("expected key = value");
    std::string key = Trim(std::string_view(line).substr(0, eq));
    std::string value = Trim(std::string_view(line).substr(eq + 1));
    if (!seen.insert(key).second) parse.Fail("duplicate key " + key);
    if (key == "name") {
      if (value.empty()) parse.Fail("name is empty");
      p.name = value;
    } else if (key == "identity") {
      p.identity = parse.Array<16>(key, value);
    } else if (key == "issuer") {
      p.issuer = *parse.Field(key, value, 8, false);
    } else if (key == "remark") {
      p.remark = *parse.Field(key, value, 30, false);
    } else if (int i = IndexedKey(key, "account"); i != 0) {
      p.accounts[i - 1] = parse.Field(key, value, 16, true);
    } else if (int r = IndexedKey(key, "registered"); r != 0) {
      p.registered[r - 1] = parse.Field(key, value, 24, true);
    } else if (key == "pin") {
      std::string pin = value.size() >= 2 && value.front() == '"' && value.back() == '"'
                            ? value.substr(1, value.size() - 2)
                            : value;
      if (pin.size() > 16) parse.Fail("pin has more than 16 characters");
      p.pin = pin;
    } else if (key == "pin-tries") {
      p.pinTries = static_cast<int>(parse.Number(key, value, kMaxPinTries));
    } else if (key == "auth-mode") {
      if (value == "static") {
        p.authMode = AuthMode::kStatic;
      } else if (value == "challenge") {
        p.authMode = AuthMode::kChallenge;
      } else {
        parse.Fail("auth-mode must be static or challenge");
      }
    } else if (key == "external-key") {
      p.externalKey = parse.Array<8>(key, value);
    } else if (key == "auth-key") {
      p.authKey = parse.Array<16>(key, value);
    } else if (key == "tac-key") {
      p.tacKey = parse.Array<16>(key, value);
    } else if (key == "sequence") {
      p.sequence = parse.Number(key, value, 99999999);
    } else if (key == "aid") {
      p.aid = parse.Array<8>(key, value);
    } else {
      parse.Fail("unknown key " + key);
    }
  }
  return p;
}

Profile LoadProfile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw ProfileError("cannot read profile " + path);
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) throw ProfileError("cannot read profile " + path);
  try {
    return ParseProfile(text.str());
  } catch (const ProfileError& e) {
    throw ProfileError(path + ": " + e.what());
  }
}

Profile DefaultProfile() {
  Profile p;
  p.name = "default";
  for (size_t i = 0; i < 16; ++i) p.identity[i] = static_cast<uint8_t>(i + 1);
  p.issuer = "00812345";
  p.remark = std::string("QUILTA DEMO CARD") + std::string(14, ' ');
  p.accounts[0] = "0081234500012345";
  p.accounts[1] = "0081234500067890";
  p.registered[0] = "00812345" "0081234500099999";
  p.registered[1] = "00700000" "0070000012345678";
  p.pin = "1234";
  p.pinTries = kMaxPinTries;
  p.externalKey = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88};
  for (size_t i = 0; i < 16; ++i) {
    p.authKey[i] = static_cast<uint8_t>(0xA0 + i);
    p.tacKey[i] = static_cast<uint8_t>(0x30 + i);
  }
  p.sequence = 1;
  return p;
}

std::string FormatProfile(const Profile& p) {
  std::ostringstream out;
  auto bytes = [](const auto& arr) { return std::string(arr.begin(), arr.end()); };
  auto field = [](const std::optional<std::string>& f) {
    return f ? "hex:" + ToHex(*f) : std::string("missing");
  };
  out << "name = " << p.name << "\n";
  out << "identity = hex:" << ToHex(bytes(p.identity)) << "\n";
  out << "issuer = hex:" << ToHex(p.issuer) << "\n";
  out << "remark = hex:" << ToHex(p.remark) << "\n";
  for (size_t i = 0; i < 8; ++i) out << "account" << i + 1 << " = " << field(p.accounts[i]) << "\n";
  for (size_t i = 0; i < 8; ++i) out << "registered" << i + 1 << " = " << field(p.registered[i]) << "\n";
  out << "pin = \"" << p.pin << "\"\n";
  out << "pin-tries = " << p.pinTries << "\n";
  out << "auth-mode = " << (p.authMode == AuthMode::kStatic ? "static" : "challenge") << "\n";
  out << "external-key = hex:" << ToHex(bytes(p.externalKey)) << "\n";
  out << "auth-key = hex:" << ToHex(bytes(p.authKey)) << "\n";
  out << "tac-key = hex:" << ToHex(bytes(p.tacKey)) << "\n";
  out << "sequence = " << p.sequence << "\n";
  out << "aid = hex:" << ToHex(bytes(p.aid)) << "\n";
  return out.str();
}

}  // namespace quilta::sim
