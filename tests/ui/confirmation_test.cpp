#include <gtest/gtest.h>

#include "ui_test_support.h"

namespace quilta::ui {
namespace {

using testing::DialogBench;
using Shown = ScriptedCustomer::Shown;

std::vector<Text> Countdown(int from, int to) {
  std::vector<Text> out;
  for (int i = from; i >= to; --i) out.push_back(AsciiText(std::to_string(i)));
  return out;
}

// The virtual time at which control `id` was enabled, or -1.
int64_t EnabledAt(const ScriptedCustomer::Window& w, int32_t id) {
  for (const Shown& s : w.shown)
    if (s.what == Shown::What::Enable && s.id == id && s.on) return s.atMs;
  return -1;
}

TEST(ConfirmationDialog, NoCardAtOpeningEndsWith4AtOnce) {
  DialogBench b;
  b.pcsc.RemoveCard(testing::kReader);
  ConfirmationDialog dlg(CTransferDlg);
  dlg.title = u"繳費稅確認";
  dlg.value[0] = u"12345678901234";
  EXPECT_EQ(dlg.Run(b.core.dialogSite(), &b.person), result::kNoCard);
  const auto& w = b.person.Last();
  EXPECT_EQ(w.templateNumber, 904);
  EXPECT_EQ(w.caption, u"繳費稅確認");
  EXPECT_EQ(w.TextOf(205), u"12345678901234");
  EXPECT_EQ(w.EnabledOf(1), false);
  EXPECT_TRUE(w.TextsOf(213).empty());
  EXPECT_EQ(b.person.NowMs(), 0);
  EXPECT_EQ(b.core.modalHost().depth(), 0);
}

TEST(ConfirmationDialog, CardLeftInTheReaderTimesOutAfter45Ticks) {
  DialogBench b;
  b.person.Ok();  // pressed while disabled: nothing happens
  ConfirmationDialog dlg(CTransferDlg);
  EXPECT_EQ(dlg.Run(b.core.dialogSite(), &b.person), result::kTimedOut);
  EXPECT_EQ(b.person.NowMs(), 45000);
  EXPECT_EQ(b.person.Last().TextsOf(213), Countdown(44, 0));
  EXPECT_EQ(b.person.Last().EnabledOf(1), false);
  // Every watch query asks for the state at once, with no time-out of its own.
  for (const auto& call : b.pcsc.Log())
    if (call.op == "GetStatusChange") {
      EXPECT_EQ(call.arg1, platform::scard::kInfinite);
    }
}

TEST(ConfirmationDialog, ApplyConfirmationCountsNinetySeconds) {
  DialogBench b;
  ConfirmationDialog dlg(CDoApplyTACDlg1);
  EXPECT_EQ(dlg.Run(b.core.dialogSite(), &b.person), result::kTimedOut);
  EXPECT_EQ(b.person.NowMs(), 90000);
  EXPECT_EQ(b.person.Last().TextsOf(213), Countdown(89, 0));
  EXPECT_EQ(b.person.Last().templateNumber, 204);
}

TEST(ConfirmationDialog, OkEnabledOnTheTickThatSeesTheCardBack) {
  DialogBench b;
  b.person.Wait(2).PullCard().Wait(1).InsertCard().Wait(2).Ok();
  ConfirmationDialog dlg(CTransferDlg_Accessible);
  EXPECT_EQ(dlg.Run(b.core.dialogSite(), &b.person), result::kOk);
  const auto& w = b.person.Last();
  EXPECT_EQ(w.templateNumber, 9041);
  EXPECT_EQ(EnabledAt(w, 1), 4000);
  // 42 and 41 are skipped: the ticks on which the card went out and came back.
  EXPECT_EQ(w.TextsOf(213), (std::vector<Text>{u"44", u"43", u"40"}));
}

TEST(ConfirmationDialog, FurtherCardChangesAfterOkAreHarmless) {
  DialogBench b;
  b.person.Wait(1).PullCard().Wait(1).InsertCard().Wait(1);
  for (int i = 0; i < 4; ++i) b.person.PullCard().Wait(1).InsertCard().Wait(1);
  b.person.Ok();
  ConfirmationDialog dlg(CDoApplyTACDlg);
  EXPECT_EQ(dlg.Run(b.core.dialogSite(), &b.person), result::kOk);
  EXPECT_TRUE(dlg.Watch().OkEnabled());
  EXPECT_EQ(b.person.Last().TextsOf(213).back(), u"34");
}

TEST(ConfirmationDialog, EscCancelsAndRerunGetsAFreshPeriod) {
  DialogBench b;
  b.person.Wait(10).Esc().Wait(1).Cancel();
  ConfirmationDialog dlg(CTransferDlg);
  EXPECT_EQ(dlg.Run(b.core.dialogSite(), &b.person), result::kCancel);
  EXPECT_EQ(dlg.Run(b.core.dialogSite(), &b.person), result::kCancel);
  EXPECT_EQ(b.person.Windows().at(1).TextsOf(213), std::vector<Text>{u"44"});
}

TEST(ConfirmationDialog, CloseBoxOnlyWhereTheTemplateHasOne) {
  DialogBench b;
  b.person.CloseBox();  // 904 has no close box: ignored, the countdown runs out
  ConfirmationDialog dlg(CTransferDlg);
  EXPECT_EQ(dlg.Run(b.core.dialogSite(), &b.person), result::kTimedOut);
}

TEST(ConfirmationDialog, FailedPresenceQueryCountsAsAbsentAtFirstThenRepeatsTheLastState) {
  DialogBench b;
  b.pcsc.StopService();
  ConfirmationDialog dlg(CTransferDlg);
  EXPECT_EQ(dlg.Run(b.core.dialogSite(), &b.person), result::kNoCard);

  DialogBench c;
  // The service stops after the opening query saw the card: the watch keeps "present".
  c.person.Do([&] { c.pcsc.StopService(); });
  ConfirmationDialog again(CTransferDlg);
  EXPECT_EQ(again.Run(c.core.dialogSite(), &c.person), result::kTimedOut);
  EXPECT_EQ(c.person.Last().TextsOf(213).size(), 45u);
}

TEST(ConfirmationDialog, HoldsTheModalMarkerWhileRunning) {
  DialogBench b;
  int depth = -1;
  b.person.Do([&] { depth = b.core.modalHost().depth(); }).Cancel();
  ConfirmationDialog dlg(CTransferDlg);
  EXPECT_EQ(dlg.Run(b.core.dialogSite(), &b.person), result::kCancel);
  EXPECT_EQ(depth, 1);
  EXPECT_EQ(b.core.modalHost().depth(), 0);
}

// The message box the transactions show between dialog runs waits on the person like a
// dialog: page calls are refused until it is closed.
TEST(MessageBoxOfItsOwn, HoldsTheModalMarkerUntilClosed) {
  DialogBench b;
  bool busy = false;
  b.person.Wait(3).Do([&] { busy = b.core.Busy(); }).Ok();
  ShowMessageBox(b.core.modalHost(), u"卡已被拔出..請確認再試!", u"訊息", &b.person);
  EXPECT_TRUE(busy);
  EXPECT_FALSE(b.core.Busy());
  ASSERT_EQ(b.person.Windows().size(), 1u);
  EXPECT_EQ(b.person.Last().templateNumber, 0);
  EXPECT_EQ(b.person.Last().caption, u"訊息");
  EXPECT_EQ(b.person.Last().Messages(), std::vector<Text>{u"卡已被拔出..請確認再試!"});
  EXPECT_TRUE(b.person.Last().closed);
}

TEST(ConfirmationDialog, NothingToShowOnEndsWithMinusOne) {
  DialogBench b;
  b.person.noDisplay = true;
  ConfirmationDialog dlg(CTransferDlg);
  EXPECT_EQ(dlg.Run(b.core.dialogSite(), &b.person), result::kNotShown);
  EXPECT_EQ(b.pcsc.Count("GetStatusChange"), 0u);
}

}  // namespace
}  // namespace quilta::ui
