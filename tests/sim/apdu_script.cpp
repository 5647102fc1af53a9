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
  auto c = Bytes(commandHex);
  return card.Transmit(c.data(), c.size());
}

void RunScript(platform::CardModel& card, std::initializer_list<Step> steps) {
  int n = 0;
  for (const auto& step : steps) {
    ++n;
    auto answer = Send(card, step.command);
    EXPECT_TRUE(Matches(answer, step.answer))
        << "step " << n << ": " << step.command << "\n  expected " << step.answer << "\n  got      "
        << SpacedHex(answer);
  }
}

}  // namespace quilta::sim::test
