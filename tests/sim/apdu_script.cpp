#include "tests/sim/apdu_script.h"

#include <gtest/gtest.h>

namespace quilta::sim::test {

namespace {
std::string Compact(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c != ' ') out += static_cast<char>(c >= 'a' && c <= 'f' ? c - 32 : c);
  }
  return out;
}
}  // namespace

std::vector<uint8_t> Hex(std::string_view text) {
  std::string s = Compact(text);
  std::vector<uint8_t> out;
  auto nibble = [](char c) { return c <= '9' ? c - '0' : c - 'A' + 10; };
  for (size_t i = 0; i + 1 < s.size(); i += 2) out.push_back(static_cast<uint8_t>(nibble(s[i]) * 16 + nibble(s[i + 1])));
  return out;
}

std::string ToHex(const std::vector<uint8_t>& bytes) {
  static const char* d = "0123456789ABCDEF";
  std::string out;
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (i) out += ' ';
    out += d[bytes[i] >> 4];
    out += d[bytes[i] & 15];
  }
  return out;
}

bool Matches(const std::vector<uint8_t>& bytes, std::string_view pattern) {
  std::string p = Compact(pattern);
  if (p.size() != bytes.size() * 2) return false;
  static const char* d = "0123456789ABCDEF";
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (p[2 * i] != '?' && p[2 * i] != d[bytes[i] >> 4]) return false;
    if (p[2 * i + 1] != '?' && p[2 * i + 1] != d[bytes[i] & 15]) return false;
  }
  return true;
}

std::vector<uint8_t> Send(platform::CardModel& card, std::string_view commandHex) {
  auto c = Hex(commandHex);
  return card.Transmit(c.data(), c.size());
}

void RunScript(platform::CardModel& card, std::initializer_list<Step> steps) {
  int n = 0;
  for (const auto& step : steps) {
    ++n;
    auto answer = Send(card, step.command);
    EXPECT_TRUE(Matches(answer, step.answer))
        << "step " << n << ": " << step.command << "\n  expected " << step.answer << "\n  got      " << ToHex(answer);
  }
}

}  // namespace quilta::sim::test
