// APDU scripts: a card conversation written as data, command hex -> expected answer hex.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "platform/card_model.h"
#include "testsupport/hex_text.h"

namespace quilta::sim::test {

using quilta::testing::Bytes;
using quilta::testing::SpacedHex;

struct Step {
  const char* command;  // hex; blanks ignored
  const char* answer;   // hex; blanks ignored; '?' matches any nibble
};

// True when `bytes` matches the pattern (hex with '?' wildcards, blanks ignored).
bool Matches(const std::vector<uint8_t>& bytes, std::string_view pattern);

// Sends each command and checks each answer; a mismatch is a test failure naming the step.
void RunScript(platform::CardModel& card, std::initializer_list<Step> steps);

// The answer to one command given as hex.
std::vector<uint8_t> Send(platform::CardModel& card, std::string_view commandHex);

}  // namespace quilta::sim::test
