// Card answers: a card that answers commands with fuzzer-chosen bytes (nothing, one byte,
// 300 bytes, any status word, data behind 90 00, or the simulated card's true answer), in the
// ordinary reader and behind the PIN-pad reader, under every method of the core and every
// reader type (0 for never set, 1, 2, 3, and one that is not). The page's inputs are those the
// bank's server prepares, so that the transactions reach their TAC command; the customer
// confirms or walks away.
//
// Checked beyond the sanitizers: nothing throws out of the core; a failed method leaves TAC,
// IccSeqNo, SessionTAC and EncOutAccountNo as they were; a successful TAC method leaves a TAC
// of 16 hex digits; ErrorInfo stays within its 200-byte buffer.
#include <cstdlib>

#include "fuzz/check.h"

#include "base/hex.h"
#include "fuzz/fuzz_world.h"
#include "sim/fisc_card.h"
#include "sim/pinpad_reader.h"

using namespace quilta;

namespace {

// Answers with the fuzzer's bytes or passes the command on to the simulated card.
class FuzzCard final : public platform::CardModel {
 public:
  FuzzCard(FuzzedDataProvider& in, std::shared_ptr<sim::FiscCard> card) : in_(in), card_(std::move(card)) {}
  std::vector<uint8_t> Atr() const override { return card_->Atr(); }
  void PowerOn() override { card_->PowerOn(); }
  void PowerOff() override { card_->PowerOff(); }
  void Reset() override { card_->Reset(); }
  std::vector<uint8_t> Transmit(const uint8_t* apdu, size_t length) override {
    std::vector<uint8_t> truth = card_->Transmit(apdu, length);
    if (in_.remaining_bytes() == 0) return truth;
    switch (in_.ConsumeIntegralInRange(0, 7)) {
      case 0: return {};
      case 1: return {in_.ConsumeIntegral<uint8_t>()};
      case 2: {
        std::vector<uint8_t> big = in_.ConsumeBytes<uint8_t>(300);
        big.resize(300, 0x90);
        return big;
      }
      case 3: return {in_.ConsumeIntegral<uint8_t>(), in_.ConsumeIntegral<uint8_t>()};
      case 4: {  // any data behind 90 00
        std::vector<uint8_t> r = in_.ConsumeBytes<uint8_t>(in_.ConsumeIntegralInRange<size_t>(0, 40));
        r.push_back(0x90);
        r.push_back(0x00);
        return r;
      }
      case 5: {  // the true data, another status word
        if (truth.size() >= 2) {
          truth[truth.size() - 2] = in_.ConsumeIntegral<uint8_t>();
          truth[truth.size() - 1] = in_.ConsumeIntegral<uint8_t>();
        }
        return truth;
      }
      case 6: {  // the true answer cut short
        truth.resize(in_.ConsumeIntegralInRange<size_t>(0, truth.size()));
        return truth;
      }
      default: return truth;
    }
  }

 private:
  FuzzedDataProvider& in_;
  std::shared_ptr<sim::FiscCard> card_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  auto sim = std::make_shared<sim::FiscCard>(sim::DefaultProfile(), fuzz::kCardSeed);
  auto fuzzCard = std::make_shared<FuzzCard>(in, sim);
  const bool onPad = in.ConsumeBool();
  std::shared_ptr<platform::CardModel> inReader = fuzzCard;
  std::shared_ptr<sim::PinPadReader> pad;
  if (onPad) {
    pad = std::make_shared<sim::PinPadReader>(fuzzCard);
    inReader = pad;
  }
  fuzz::World w(inReader, nullptr);
  CAtmCore& core = w.core;
  const int readerType = in.ConsumeIntegralInRange(0, 4);
  if (pad) pad->SetSettings({readerType == 1 ? sim::PinPadAction::kPassThrough : sim::PinPadAction::kEnterPin, "1234", "5678"});
  const Method m = static_cast<Method>(in.ConsumeIntegralInRange<size_t>(0, kMethodCount - 1));
  const sim::TxnKind kind = static_cast<sim::TxnKind>(in.ConsumeIntegralInRange(0, 6));

  fuzz::OpenAndPut(core, fuzz::kReader, readerType, kind);
  w.person.Wait(1).PullCard().Wait(1).InsertCard().Wait(1).Ok();
  fuzz::AddCustomerSteps(in, w.person, 6, nullptr);

  const Prop outs[] = {Prop::TAC, Prop::IccSeqNo, Prop::SessionTAC, Prop::EncOutAccountNo};
  std::vector<Text> before;
  for (Prop p : outs) before.push_back(core.props().TextOf(p));
  std::vector<std::optional<Text>> args(3, std::optional<Text>(AsciiText("1234")));
  if (m == Method::SetReaderType) args[0] = AsciiText(std::to_string(readerType));
  CallResult r;
  try {
    r = core.Call(m, args);
  } catch (const fuzz::Runaway&) {
    return 0;  // the customer kept closing the no-card message box
  }
  const bool tacMethod = Info(m).name.find("TAC") != std::string_view::npos && m != Method::ReadTACLog;
  if (!r.isText && r.status != 0 && tacMethod) {
    for (size_t i = 0; i < std::size(outs); ++i) CHECK(core.props().TextOf(outs[i]) == before[i]);
  }
  if (!r.isText && r.status == 0 && tacMethod && m != Method::DoActiveTAC) {
    CHECK(IsUpperHex(ToNarrow(core.props().TextOf(Prop::TAC)), 8));
  }
  CHECK(core.errorText().size() < kErrorTextSize);
  // Something more after whatever the card did.
  core.Call(Method::ReadBasicData, {});
  core.DisconnectCard();
  core.DisconnectDriver();
  return 0;
}
