// Shared set-up of the dialog tests: a core on the in-process virtual reader, a card that
// answers from a list, and the scripted customer on virtual time.
#pragma once

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "base/hex.h"
#include "core/atm_core.h"
#include "platform/card_model.h"
#include "testsupport/hex_text.h"
#include "testsupport/scripted_customer.h"
#include "testsupport/virtual_pcsc.h"
#include "ui/dialogs.h"

namespace quilta::ui::testing {

inline constexpr char kReader[] = "Test Reader 0";

// A card that answers each command with the next answer of its list (90 00 when the list is
// empty). Answers are hex text: "9000", "63C2", "0012349000".
class ListCard final : public platform::CardModel {
 public:
  std::deque<std::string> answers;
  std::vector<uint8_t> Atr() const override { return {0x3B, 0x80, 0x80, 0x01, 0x01}; }
  void PowerOn() override {}
  void PowerOff() override {}
  void Reset() override {}
  std::vector<uint8_t> Transmit(const uint8_t*, size_t) override {
    std::string a = answers.empty() ? "9000" : answers.front();
    if (!answers.empty()) answers.pop_front();
    return quilta::testing::Bytes(a);
  }
};

// The commands that reached the card, in order, as upper-case hex (a send that the PC/SC
// layer refused before transmitting, such as a protocol mismatch, is left out).
inline std::vector<std::string> Sent(const platform::VirtualPcsc& pcsc) {
  std::vector<std::string> out;
  for (const auto& call : pcsc.Log())
    if (call.op == "Transmit" && call.result != platform::scard::kProtoMismatch)
      out.push_back(BytesToHex(call.apdu.data(), call.apdu.size()));
  return out;
}

struct DialogBench {
  platform::VirtualPcsc pcsc;
  std::shared_ptr<ListCard> card = std::make_shared<ListCard>();
  CAtmCore core;
  ScriptedCustomer person;

  DialogBench() {
    core.channel().pcsc = &pcsc;
    pcsc.AddReader(kReader);
    pcsc.InsertCard(kReader, card);
    pcsc.EstablishContext(platform::scard::kScopeUser, &core.channel().context);
    core.props().TextOf(Prop::ReaderName) = AsciiText(kReader);
    person.onCard = [this](bool in) {
      if (in) pcsc.InsertCard(kReader, card);
      else pcsc.RemoveCard(kReader);
    };
  }

  // Connects the card as the reader dialogs expect it (CardHandle, ActiveProtocol).
  void Connect() {
    pcsc.Connect(core.channel().context, kReader, platform::scard::kShareExclusive,
                 platform::scard::kProtocolT1, &core.channel().handle, &core.channel().activeProtocol);
    pcsc.ClearLog();
  }
};

}  // namespace quilta::ui::testing
