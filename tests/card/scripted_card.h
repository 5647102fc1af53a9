// A card that follows a script: each step names the exact command APDU expected and the
// card's answer. A command off the script is recorded and answered 6F 00.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/card_model.h"
#include "testsupport/hex_text.h"

namespace quilta::testing {

struct Step {
  std::string command;   // hex, blanks allowed
  std::string response;  // hex, blanks allowed: data then SW1 SW2
};

class ScriptedCard final : public platform::CardModel {
 public:
  explicit ScriptedCard(std::vector<Step> script = {}) : script_(std::move(script)) {}

  void Append(std::vector<Step> more) { script_.insert(script_.end(), more.begin(), more.end()); }

  std::vector<uint8_t> Atr() const override { return {0x3B, 0x80, 0x80, 0x01, 0x01}; }
  void PowerOn() override { ++powerOns; }
  void PowerOff() override { ++powerOffs; }
  void Reset() override {}
  std::vector<uint8_t> Transmit(const uint8_t* apdu, size_t length) override {
    std::vector<uint8_t> got(apdu, apdu + length);
    received.push_back(Hex(got));
    if (next_ >= script_.size()) {
      offScript.push_back(Hex(got) + " (after the end of the script)");
      return {0x6F, 0x00};
    }
    const Step& step = script_[next_++];
    if (Bytes(step.command) != got) {
      offScript.push_back(Hex(got) + " (expected " + Hex(Bytes(step.command)) + ")");
      return {0x6F, 0x00};
    }
    return Bytes(step.response);
  }

  // All steps used and none off the script.
  bool Finished() const { return next_ == script_.size() && offScript.empty(); }
  size_t StepsLeft() const { return script_.size() - next_; }

  std::vector<std::string> received;
  std::vector<std::string> offScript;
  int powerOns = 0;
  int powerOffs = 0;

 private:
  std::vector<Step> script_;
  size_t next_ = 0;
};

}  // namespace quilta::testing
