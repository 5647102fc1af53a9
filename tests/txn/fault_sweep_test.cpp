// The fault sweep: every TAC method on every reader type, on the virtual reader with the
// simulated card behind the PIN-pad reader, with the fault placed at the 1st, 2nd, ... nth card
// command the method sends (n counted on a clean run): once the card is pulled just before that
// command reaches it, once PC/SC stops there (SCARD_E_NO_SERVICE to that command and every
// later call). Every run must end with a non-zero status, leave the outputs (TAC, IccSeqNo,
// SessionTAC, EncOutAccountNo, EncID) as they were and the card's TAC counter where it stood,
// end within bounded virtual time, and the page's next ConnectDriver and ConnectCard (the card
// back, the service running again) must succeed and the card read.
//
// The statuses each mode may end with (asserted; 1,050 faults over 10 methods, 3 reader
// types, 2 modes):
//   card pulled:  5035 ("Card is Changed or Remove.") from the command that met the empty
//                 reader, and 5036 on reader type 1 when the pull came inside the
//                 confirmation: the confirmation then finds no card, says "卡已被拔出..請確認再試!"
//                 and runs again (three times at most), and the person puts the card back
//                 and cancels.
//   no service:   5001 ("no pc/sc reader driver installed.") from the command that met the
//                 stopped service; inside the confirmation, ConnectDriver's 5001 ends it.
// Bounded: the core's pauses run on a watchdog that throws past 10 virtual minutes, and the
// customer's clock must stay below the same bound.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <set>
#include <stdexcept>

#include "tests/txn/txn_bench.h"

namespace quilta::txn::testing {
namespace {

struct Method {
  const char* name;
  std::function<int32_t(CAtmCore&, const std::optional<Text>&)> run;
  sim::TxnKind kind;
  bool keypad;  // reader type 1: the confirmation asks for the in-account's last digits
};

std::vector<Method> Methods() {
  auto pinned = [](Member m) {
    return [m](CAtmCore& c, const std::optional<Text>& pin) { return (c.*m)(pin); };
  };
  return {
      {"DoLoginTAC", [](CAtmCore& c, const std::optional<Text>&) { return c.DoLoginTAC(); },
       sim::TxnKind::kLogin, false},
      {"DoInquiryTAC", pinned(&CAtmCore::DoInquiryTAC), sim::TxnKind::kInquiry, false},
      {"DoAccessibleInquiryTAC", pinned(&CAtmCore::DoAccessibleInquiryTAC), sim::TxnKind::kInquiry, false},
      {"DoTransferTAC", pinned(&CAtmCore::DoTransferTAC), sim::TxnKind::kTransfer, true},
      {"DoNBTransferTAC", pinned(&CAtmCore::DoNBTransferTAC), sim::TxnKind::kTransfer, true},
      {"DoAccessibleTransferTAC", pinned(&CAtmCore::DoAccessibleTransferTAC), sim::TxnKind::kTransfer, false},
      {"DoPayTaxTAC", pinned(&CAtmCore::DoPayTaxTAC), sim::TxnKind::kPayTax, false},
      {"DoPayFeeTAC", pinned(&CAtmCore::DoPayFeeTAC), sim::TxnKind::kPayFee, false},
      {"DoPayMoneyTAC", pinned(&CAtmCore::DoPayMoneyTAC), sim::TxnKind::kPayMoney, false},
      {"DoApplyTAC", pinned(&CAtmCore::DoApplyTAC), sim::TxnKind::kApply, false},
  };
}

enum class Fault { None, PullCard, StopService };

constexpr Prop kOutputs[] = {Prop::TAC, Prop::IccSeqNo, Prop::SessionTAC, Prop::EncOutAccountNo,
                             Prop::EncID};
// Far above the longest road (a 45-second confirmation and the reader's PIN entry).
constexpr int64_t kBoundMs = 10 * 60 * 1000;

// Virtual time for the core's pauses that ends a run whose pauses add up past the bound (a
// loop that would never end) by throwing out of the method.
class Watchdog final : public platform::Sleeper {
 public:
  void SleepMs(uint32_t ms) override {
    totalMs_ += ms;
    if (totalMs_ > kBoundMs) throw std::runtime_error("the method paused past the bound");
  }

 private:
  int64_t totalMs_ = 0;
};

struct Result {
  int32_t status = 0;
  size_t commands = 0;  // card commands the method sent
};

// One run of `m` on reader type `type` with the fault at card command `k`.
Result RunOnce(const Method& m, int type, Fault fault, int k) {
  TxnBench b;
  b.Open(type);
  sim::TxnRequest request = b.server.Prepare(m.kind);
  request.id = "A123456789";
  request.cTelNo = "0223456789";
  b.Put(request);
  if (m.kind == sim::TxnKind::kLogin) {  // log-in follows the page's PIN check
    EXPECT_EQ(b.core.VerifyPIN(AsciiText(kPin)), 0) << b.core.errorText();
    b.pcsc.ClearLog();
  }
  // Type 1's confirmation: the card out and back in, the in-account's tail, OK (unused where
  // the method shows none). The PIN pad's own dialog needs no one.
  // When the fault leaves the reader empty the confirmation finds no card and says so in a
  // message box, round and round until the card is back: the person puts it back and
  // cancels the confirmation that follows.
  if (type == 1) {
    b.ConfirmsWithReinsert(m.keypad ? request.inAccountNo.substr(13) : "");
    b.person.InsertCard().Wait(1).Cancel();
  }
  Watchdog watchdog;
  b.core.channel().sleeper = &watchdog;

  std::vector<Text> before;
  for (Prop p : kOutputs) before.push_back(b.core.props().TextOf(p));
  const uint32_t sequence = b.card->NextSequence();
  if (fault == Fault::PullCard) b.pcsc.RemoveCardAtCommand(kReader, k);
  if (fault == Fault::StopService) b.pcsc.StopServiceAtCommand(k);

  Result r;
  r.status = m.run(b.core, type == 2 ? std::nullopt : std::optional<Text>(AsciiText(kPin)));
  r.commands = b.pcsc.Count("Transmit");
  EXPECT_LE(b.person.NowMs(), kBoundMs);
  b.core.channel().sleeper = &b.sleeper;
  if (fault == Fault::None) {
    EXPECT_EQ(r.status, 0) << b.core.errorText();
    return r;
  }
  EXPECT_NE(r.status, 0) << "the fault at command " << k << " passed as success";
  for (size_t i = 0; i < std::size(kOutputs); ++i)
    EXPECT_EQ(b.core.props().TextOf(kOutputs[i]), before[i]) << Info(kOutputs[i]).name << " written";
  EXPECT_EQ(b.card->NextSequence(), sequence) << "the card computed a TAC";

  // The page starts again: the card back in the reader, the service running.
  b.pcsc.StartService();
  if (!b.pcsc.HasCard(kReader)) b.pcsc.InsertCard(kReader, b.pad);
  EXPECT_EQ(b.core.ConnectDriver(), 0) << b.core.errorText();
  EXPECT_EQ(b.core.ConnectCard(), 0) << b.core.errorText();
  EXPECT_EQ(b.core.ReadBasicData(), 0) << b.core.errorText();
  return r;
}

TEST(FaultSweep, EveryTacMethodOnEveryReaderTypeSurvivesAFaultAtEveryCardCommand) {
  std::map<std::string, std::set<int32_t>> seen;
  int runs = 0;
  for (const Method& m : Methods()) {
    for (int type : {1, 2, 3}) {
      SCOPED_TRACE(std::string(m.name) + " type " + std::to_string(type));
      const Result clean = RunOnce(m, type, Fault::None, 0);
      ASSERT_GT(clean.commands, 0u) << m.name << " type " << type;
      for (Fault fault : {Fault::PullCard, Fault::StopService}) {
        const char* mode = fault == Fault::PullCard ? "card pulled" : "no service";
        for (int k = 1; k <= static_cast<int>(clean.commands); ++k) {
          SCOPED_TRACE(std::string(m.name) + " type " + std::to_string(type) + ", " + mode +
                       " at command " + std::to_string(k));
          seen[mode].insert(RunOnce(m, type, fault, k).status);
          ++runs;
          if (::testing::Test::HasFatalFailure()) return;
        }
      }
    }
  }
  const std::map<std::string, std::set<int32_t>> expected = {
      {"card pulled", {5035, 5036}}, {"no service", {5001}}};
  EXPECT_EQ(seen, expected);
  std::printf("fault sweep: %d faults injected\n", runs);
}

}  // namespace
}  // namespace quilta::txn::testing
