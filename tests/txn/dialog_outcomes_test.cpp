// How the dialogs' outcomes end a transaction: the reader-type-1 confirmation loop (card not
// back, no card, cancel, time-out, nothing can be shown, the reader gone) and DoInput's
// keypad.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/txn/txn_bench.h"

namespace quilta::txn::testing {
namespace {

using sim::TxnKind;

size_t Pauses(const TxnBench& b, uint32_t ms) {
  return static_cast<size_t>(std::count(b.sleeper.sleeps.begin(), b.sleeper.sleeps.end(), ms));
}

TEST(ConfirmationLoop, CardNotBackAndNoCardShowTheDialogAgainUntilTheCustomerConfirms) {
  TxnBench b;
  b.Open(1);
  const sim::TxnRequest request = b.server.Prepare(TxnKind::kPayTax);
  b.Put(request);
  // Confirmed, but pulled again before the reconnect; the second run finds no card and the
  // message box tells so; the third run goes through.
  b.person.Wait(1).PullCard().Wait(1).InsertCard().Wait(1).PullCard().Ok();
  b.person.InsertCard().Press(ui::kIdCountdown);  // closes the box; the dialog ignores it
  b.ConfirmsWithReinsert();

  ASSERT_EQ(b.core.DoPayTaxTAC(AsciiText(kPin)), 0) << b.core.errorText();
  EXPECT_TRUE(b.server.Verify(request, b.Outputs()));

  const auto& w = b.person.Windows();
  ASSERT_EQ(w.size(), 4u);
  EXPECT_EQ(w[0].templateNumber, 904);
  EXPECT_EQ(w[1].templateNumber, 904);
  EXPECT_EQ(w[2].templateNumber, 0);
  EXPECT_EQ(ToUtf8(w[2].caption), "訊息");
  EXPECT_EQ(w[2].Messages(), std::vector<Text>{u"卡已被拔出..請確認再試!"});
  EXPECT_EQ(w[3].templateNumber, 904);
  EXPECT_EQ(Pauses(b, 1000), 2u) << "one retry of ConnectCard after each run without the card";
  EXPECT_EQ(b.pcsc.OpenContexts(), 1u) << "each round's ConnectDriver releases the context before";
}

TEST(ConfirmationLoop, ACardThatNeverComesBackEndsTheLoopAfterTheThirdTelling) {
  TxnBench b;
  b.Open(1);
  b.Put(b.server.Prepare(TxnKind::kPayTax));
  // Confirmed, then pulled before the reconnect and never put back.
  b.person.Wait(1).PullCard().Wait(1).InsertCard().Wait(1).PullCard().Ok();

  EXPECT_EQ(b.core.DoPayTaxTAC(AsciiText(kPin)), status::kCardNotConnected);
  std::vector<int32_t> shown;
  for (const auto& w : b.person.Windows()) shown.push_back(w.templateNumber);
  EXPECT_EQ(shown, (std::vector<int32_t>{904, 904, 0, 904, 0, 904, 0}));
  EXPECT_FALSE(b.Sent("00E21080"));
  EXPECT_TRUE(b.core.props().TextOf(Prop::TAC).empty());
}

TEST(ConfirmationLoop, DecidedOutcomesEndTheTransactionWithTheCardConnectedAgain) {
  struct Case {
    const char* what;
    std::function<void(TxnBench&)> customer;
    int32_t expected;
  };
  const Case cases[] = {
      {"cancel", [](TxnBench& b) { b.person.Wait(2).Cancel(); }, status::kUserCancel},
      {"the countdown runs out", [](TxnBench& b) { b.person.Wait(50); }, status::kConfirmTimeout},
      {"no dialog can be shown", [](TxnBench& b) { b.person.noDisplay = true; }, status::kUserCancel},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TxnBench b;
    b.Open(1);
    b.Put(b.server.Prepare(TxnKind::kTransfer));
    c.customer(b);
    EXPECT_EQ(b.core.DoTransferTAC(AsciiText(kPin)), c.expected);
    EXPECT_LE(b.person.Windows().size(), 1u);
    EXPECT_FALSE(b.Sent("0020")) << "no PIN sent";
    EXPECT_FALSE(b.Sent("00E21080"));
    EXPECT_TRUE(b.core.props().TextOf(Prop::TAC).empty());
    EXPECT_EQ(b.pcsc.OpenConnections(), 1u);
  }
}

TEST(ConfirmationLoop, ReaderOutOfReachEndsTheLoopWithItsPcscStatus) {
  struct Case {
    const char* what;
    std::function<void(TxnBench&)> fault;
    int32_t expected;
    const char* text;
  };
  const Case cases[] = {
      {"the resource manager stopped", [](TxnBench& b) { b.pcsc.StopService(); }, status::kNoService,
       "no pc/sc reader driver installed. (5001)"},
      {"the reader unplugged", [](TxnBench& b) { b.pcsc.RemoveReader(kReader); },
       status::kUnknownReader, "No this reader. (5012)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TxnBench b;
    b.Open(1);
    b.Put(b.server.Prepare(TxnKind::kPayFee));
    b.person.Wait(1).PullCard().Wait(1).InsertCard().Wait(1).Do([&] { c.fault(b); }).Ok();
    EXPECT_EQ(b.core.DoPayFeeTAC(AsciiText(kPin)), c.expected);
    EXPECT_EQ(b.core.errorText(), c.text);
    EXPECT_EQ(b.person.Windows().size(), 1u) << "not shown again";
  }
}

TEST(KeypadInput, DigitsComeBackAsValueAndValueTacOnlyWhenEntered) {
  struct Case {
    const char* what;
    std::function<void(TxnBench&)> customer;
    int32_t expected;
    const char* value;  // nullptr: Value and ValueTAC unchanged
  };
  const Case cases[] = {
      {"keys 1 2 3 and OK", [](TxnBench& b) { b.person.Digits("123").Ok(); }, 0, "123"},
      {"4 5, clear, 6", [](TxnBench& b) { b.person.Digits("45").ClearKey().Digits("6").Ok(); }, 0, "6"},
      {"OK with nothing entered", [](TxnBench& b) { b.person.Ok(); }, 0, ""},
      {"cancel", [](TxnBench& b) { b.person.Digits("9").Cancel(); }, status::kUserCancel, nullptr},
      {"no dialog can be shown", [](TxnBench& b) { b.person.noDisplay = true; }, status::kUserCancel, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TxnBench b;
    b.Put(b.server.Prepare(TxnKind::kLogin));
    b.core.props().TextOf(Prop::Value) = u"old";
    b.core.props().TextOf(Prop::ValueTAC) = u"old";
    c.customer(b);
    EXPECT_EQ(b.core.DoInput(), c.expected) << b.core.errorText();
    if (!c.value) {
      EXPECT_EQ(b.core.props().TextOf(Prop::Value), u"old");
      EXPECT_EQ(b.core.props().TextOf(Prop::ValueTAC), u"old");
      EXPECT_EQ(b.core.errorText(), "User Cancel to do Txn Tac. (5036)");
      continue;
    }
    EXPECT_EQ(ToNarrow(b.core.props().TextOf(Prop::Value)), c.value);
    const sim::Verdict verdict = b.server.VerifyValueTac(ToNarrow(b.core.props().TextOf(Prop::ValueTAC)), c.value);
    EXPECT_TRUE(verdict) << verdict.reason;
  }

  TxnBench noKey;
  noKey.core.PutText(Prop::SessionKey, u"0123");
  EXPECT_EQ(noKey.core.DoInput(), status::kBadSessionKey);
  EXPECT_TRUE(noKey.person.Windows().empty());
}

}  // namespace
}  // namespace quilta::txn::testing
