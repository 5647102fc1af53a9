// The world the surface fuzzers run in: a core on the in-process virtual reader with two
// readers (an ordinary one and a PIN-pad reader), the scripted customer on virtual time, and
// the helpers that turn fuzzer bytes into page values and the customer's steps.
//
// Contract: every dialog ends (the customer walks away when its steps run out), every pause is
// virtual and a run that pauses past 10 virtual minutes is stopped (Watchdog), and nothing
// outside the process is touched (no PC/SC, no display, no helper process). A World is made per input so that inputs do not depend on each other.
#pragma once

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/atm_core.h"
#include "core/script.h"
#include "testsupport/virtual_pcsc.h"
#include "quilta_config.h"
#include "sim/bank_server.h"
#include "ui/dialogs.h"
#include "testsupport/scripted_customer.h"

namespace quilta::fuzz {

inline constexpr char kReader[] = "Fuzz Reader 0";
inline constexpr char kPadReader[] = "Fuzz PinPad 1";
// The simulated cards draw their challenges from a fixed seed: an input replays the same way.
inline constexpr uint64_t kCardSeed = 7;

// Thrown by the watchdog below.
struct Runaway : std::runtime_error {
  Runaway() : std::runtime_error("the core paused past the bound") {}
};

// Virtual time for the core's pauses that stops a run whose pauses add up past 10 minutes: a
// loop of the core that never ends (the confirmation's rounds each pause 1,000 ms before their
// second ConnectCard) is a finding.
class Watchdog final : public platform::Sleeper {
 public:
  void SleepMs(uint32_t ms) override {
    totalMs_ += ms;
    if (totalMs_ > 10 * 60 * 1000) throw Runaway();
  }

 private:
  int64_t totalMs_ = 0;
};

struct World {
  // `card` sits in the ordinary reader, `padCard` (may be null: an empty reader) in the
  // second one.
  World(std::shared_ptr<platform::CardModel> card, std::shared_ptr<platform::CardModel> padCard)
      : card_(std::move(card)), padCard_(std::move(padCard)) {
    core.channel().pcsc = &pcsc;
    core.channel().sleeper = &sleeper;
    core.InstallDialogs();
    pcsc.InsertCard(kReader, card_);
    if (padCard_) pcsc.InsertCard(kPadReader, padCard_);
    else pcsc.AddReader(kPadReader);
    person.onCard = [this](bool in) {
      if (in) pcsc.InsertCard(kReader, card_);
      else pcsc.RemoveCard(kReader);
    };
  }

  platform::VirtualPcsc pcsc;
  Watchdog sleeper;
  std::shared_ptr<platform::CardModel> card_;
  std::shared_ptr<platform::CardModel> padCard_;
  CAtmCore core;
  ui::ScriptedCustomer person;
  ui::ScopedDialogEnv scripted{&person};
};

// The page inputs the bank's server prepares, per kind (made once: the server's crypto is slow).
inline const std::vector<sim::PageInput>& BankInputs(sim::TxnKind kind) {
  static const auto all = [] {
    std::map<sim::TxnKind, std::vector<sim::PageInput>> m;
    sim::BankServer server(sim::DefaultProfile());
    server.SetDateTime("20180104093000");
    server.NewSession(7);
    for (sim::TxnKind k : {sim::TxnKind::kLogin, sim::TxnKind::kInquiry, sim::TxnKind::kTransfer,
                           sim::TxnKind::kPayTax, sim::TxnKind::kPayFee, sim::TxnKind::kPayMoney,
                           sim::TxnKind::kApply}) {
      sim::TxnRequest r = server.Prepare(k);
      r.id = "A123456789";
      r.cTelNo = "0223456789";
      m[k] = server.PageInputs(r);
    }
    return m;
  }();
  return all.at(kind);
}


// The page's opening (ConnectDriver, ReaderName, ConnectCard, SetReaderType) and the inputs
// the bank's server prepares for `kind`, written as a page writes them.
inline void OpenAndPut(CAtmCore& core, const char* reader, int readerType, sim::TxnKind kind) {
  core.ConnectDriver();
  core.PutText(Prop::ReaderName, AsciiText(reader));
  core.ConnectCard();
  if (readerType != 0) core.SetReaderType(AsciiText(std::to_string(readerType)));
  for (const sim::PageInput& pi : BankInputs(kind)) {
    Prop p{};
    if (!FindProp(pi.property, &p)) continue;
    if (Info(p).type == ValueType::Int) core.PutInt(p, std::atoi(pi.value.c_str()));
    else core.PutText(p, FromUtf8(pi.value));
  }
}

// A few texts pages really write, so that the fuzzer reaches the deeper roads quickly.
inline Text InterestingText(FuzzedDataProvider& in) {
  static const char* const kTexts[] = {
      "", "1234", "0", "-1", "1", "2", "3", "99999999999", "0081234500012345", kReader,
      kPadReader, "F0000001", "20180104093015", "2521", "2500", "00700000", "ATM",
      "000000000000000000000000000000000000000000000000", "1.5", "1e3", "Y", "N",
      "1234567890123456789012345678901234567890123456789012345"};
  return AsciiText(kTexts[in.ConsumeIntegralInRange<size_t>(0, std::size(kTexts) - 1)]);
}

// Any text: UTF-8 from the fuzzer, raw UTF-16 units (lone surrogates, escape units), or an
// interesting text.
inline Text AnyText(FuzzedDataProvider& in) {
  switch (in.ConsumeIntegralInRange(0, 2)) {
    case 0:
      return FromUtf8(in.ConsumeRandomLengthString(400));
    case 1: {
      Text t;
      const size_t n = in.ConsumeIntegralInRange<size_t>(0, 120);
      for (size_t i = 0; i < n && in.remaining_bytes() > 0; ++i) t.push_back(in.ConsumeIntegral<char16_t>());
      return FromPageUtf16(t);
    }
    default:
      return InterestingText(in);
  }
}

// A page value of any kind the NPAPI binding hands over.
inline ScriptValue AnyValue(FuzzedDataProvider& in) {
  switch (in.ConsumeIntegralInRange(0, 5)) {
    case 0: return ScriptValue{};
    case 1: return ScriptValue::OfText(AnyText(in));
    case 2: return ScriptValue::OfInt(in.ConsumeIntegral<int32_t>());
    case 3: return ScriptValue::OfInt(in.ConsumeIntegralInRange(-2, 4));
    case 4: {
      static const double kDoubles[] = {0.0, -0.0, 1.0, 2.5, 1e300, -1e-300, 2147483648.0,
                                        -2147483649.0, 3.0, 1.0 / 0.0, 0.0 / 0.0};
      return in.ConsumeBool() ? ScriptValue::OfDouble(kDoubles[in.ConsumeIntegralInRange<size_t>(0, std::size(kDoubles) - 1)])
                              : ScriptValue::OfDouble(in.ConsumeFloatingPoint<double>());
    }
    default: return ScriptValue::OfOther();
  }
}

// The URL of the calling page: the bank's, a foreign one, none, or anything.
inline std::optional<std::string> AnyPageUrl(FuzzedDataProvider& in) {
  switch (in.ConsumeIntegralInRange(0, 3)) {
    case 0: return std::string("https://") + config::kBankDomain + "/atm";
    case 1: return std::string("https://evil.test/?") + config::kBankDomain;
    case 2: return std::nullopt;
    default: return in.ConsumeRandomLengthString(200);
  }
}

// Up to `max` steps of the customer; `reenter` is run by a step of its own (page calls that
// arrive while a dialog is open).
inline void AddCustomerSteps(FuzzedDataProvider& in, ui::ScriptedCustomer& person, int max,
                             const std::function<void()>& reenter) {
  const int n = in.ConsumeIntegralInRange(0, max);
  for (int i = 0; i < n && in.remaining_bytes() > 0; ++i) {
    switch (in.ConsumeIntegralInRange(0, 10)) {
      case 0: person.Ok(); break;
      case 1: person.Cancel(); break;
      case 2: person.Esc(); break;
      case 3: person.CloseBox(); break;
      case 4: person.Wait(in.ConsumeIntegralInRange(0, 200)); break;
      case 5: person.PullCard(); break;
      case 6: person.InsertCard(); break;
      case 7: person.Digits(std::to_string(in.ConsumeIntegralInRange(0, 99999))); break;
      case 8: person.ClearKey(); break;
      case 9: person.Press(in.ConsumeIntegralInRange(-1, 1200)); break;
      default: if (reenter) person.Do(reenter); break;
    }
  }
}

}  // namespace quilta::fuzz
