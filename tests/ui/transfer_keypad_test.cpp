#include <gtest/gtest.h>

#include <functional>

#include "ui_test_support.h"

namespace quilta::ui {
namespace {

using testing::DialogBench;

constexpr int32_t kKey0 = kTransferKeypad.firstKeyId;
constexpr int32_t kClear = kTransferKeypad.clearId;
constexpr char16_t kLiveMismatch[] = u"您輸入的 轉入帳號 末三碼不正確!!";
constexpr char16_t kTampered[] =
    u"(1024)-轉入帳號疑遭竄改，為確保交易安全，暫停您於本電腦進行轉帳交易!!";

// Pull and re-insert the card so that OK becomes usable (ticks 1 and 2).
void Reinsert(ScriptedCustomer& p) { p.PullCard().Wait(1).InsertCard().Wait(1); }

TEST(TransferKeypad, RightDigitsConfirmAndOkAccepts) {
  DialogBench b;
  b.person.Keys("678", kKey0);
  Reinsert(b.person);
  b.person.Ok();
  CTransferDlgNew dlg;
  dlg.value[1] = u"00012345678";
  EXPECT_EQ(dlg.Run(b.core.dialogSite(), &b.person), result::kOk);
  EXPECT_TRUE(dlg.Confirmed());
  EXPECT_EQ(b.person.Last().TextsOf(CTransferDlgNew::kEntryDisplayId),
            (std::vector<Text>{u"", u"6", u"67", u"678"}));
  EXPECT_TRUE(b.person.Last().Messages().empty());
}

TEST(TransferKeypad, WrongThirdDigitShowsTheMessageAndEmptiesTheEntry) {
  DialogBench b;
  b.person.Keys("679", kKey0).Cancel();
  CTransferDlgNew dlg;
  dlg.value[1] = u"12345678";
  EXPECT_EQ(dlg.Run(b.core.dialogSite(), &b.person), result::kCancel);
  EXPECT_EQ(b.person.Last().Messages(), std::vector<Text>{kLiveMismatch});
  EXPECT_EQ(b.person.Last().TextOf(CTransferDlgNew::kEntryDisplayId), u"");
  EXPECT_EQ(dlg.Entry(), "");
}

TEST(TransferKeypad, MessagesForNothingAndTwoDigits) {
  DialogBench b;
  Reinsert(b.person);
  b.person.Ok().Keys("67", kKey0).Ok().Cancel();
  CTransferDlgNew dlg;
  dlg.value[1] = u"12345678";
  EXPECT_EQ(dlg.Run(b.core.dialogSite(), &b.person), result::kCancel);
  EXPECT_EQ(b.person.Last().Messages(),
            (std::vector<Text>{u"您的轉入帳號末三碼未輸入!!", u"您輸入的轉入帳號末三碼不正確!!"}));
}

TEST(TransferKeypad, ConfirmedEntryIgnoresKeysAndClear) {
  DialogBench b;
  b.person.Keys("678", kKey0).Press(kClear).Keys("12", kKey0);
  Reinsert(b.person);
  b.person.Ok();
  CTransferDlgNew dlg;
  dlg.value[1] = u"5678";
  EXPECT_EQ(dlg.Run(b.core.dialogSite(), &b.person), result::kOk);
  EXPECT_EQ(dlg.Entry(), "678");
}

TEST(TransferKeypad, DigitsWithoutReinsertLeaveOkDisabledUntilTimeOut) {
  DialogBench b;
  b.person.Keys("678", kKey0).Ok();
  CTransferDlgNew dlg;
  dlg.value[1] = u"678";
  EXPECT_EQ(dlg.Run(b.core.dialogSite(), &b.person), result::kTimedOut);
  EXPECT_TRUE(dlg.Confirmed());
}

TEST(TransferKeypad, InAccountShorterThanThreeNeverMatches) {
  DialogBench b;
  b.person.Keys("078", kKey0).Cancel();
  CTransferDlgNew dlg;
  dlg.value[1] = u"78";
  EXPECT_EQ(dlg.Run(b.core.dialogSite(), &b.person), result::kCancel);
  EXPECT_FALSE(dlg.Confirmed());
  EXPECT_EQ(b.person.Last().Messages(), std::vector<Text>{kLiveMismatch});
}

// Something other than the keypad changes the entry's running total (command 999 here).
class TamperedTransfer : public CTransferDlgNew {
 protected:
  void OnCommand(int32_t id) override {
    if (id == 999) runningTotal_ += 1;
    else CTransferDlgNew::OnCommand(id);
  }
};

TEST(TransferKeypad, TamperedEntryIsNeverConfirmedAndOkEndsWith5) {
  DialogBench b;
  b.person.Press(999).Keys("678", kKey0).Keys("9", kKey0);
  Reinsert(b.person);
  b.person.Ok();
  TamperedTransfer dlg;
  dlg.value[1] = u"12345678";
  EXPECT_EQ(dlg.Run(b.core.dialogSite(), &b.person), result::kEntryRejected);
  EXPECT_FALSE(dlg.Confirmed());
  EXPECT_EQ(dlg.Entry(), "678");  // the fourth digit went nowhere
  EXPECT_EQ(b.person.Last().Messages(), (std::vector<Text>{kTampered, kTampered}));
}

TEST(TransferKeypad, WrongEntryAtOkEndsWith5) {
  DialogBench b;
  // After the tamper message the entry stays; the shown in-account no longer matches it at
  // OK because the caller's account text changed meanwhile.
  b.person.Press(999).Keys("678", kKey0);
  Reinsert(b.person);
  TamperedTransfer dlg;
  dlg.value[1] = u"12345678";
  b.person.Do([&] { dlg.value[1] = u"12345600"; }).Ok();
  EXPECT_EQ(dlg.Run(b.core.dialogSite(), &b.person), result::kEntryRejected);
  EXPECT_EQ(b.person.Last().Messages().back(), u"您輸入的轉入帳號末三碼不正確!");
}

// A message box of the dialog stops neither its countdown nor its card watch: the limit
// stays 45 seconds however long the box is up, and a card pulled and put back meanwhile
// counts.
TEST(TransferKeypad, TimersRunOnUnderAMessageBox) {
  struct Case {
    const char* what;
    std::function<void(ScriptedCustomer&)> script;  // the box comes up at once ("679")
    int32_t result;
    int64_t endsAtMs;
  };
  const Case cases[] = {
      {"box left open 30 s", [](ScriptedCustomer& p) { p.Keys("679", kKey0).Wait(30); },
       result::kTimedOut, 45000},
      {"card out and back in under the box",
       [](ScriptedCustomer& p) {
         p.Keys("679", kKey0).Wait(1);
         Reinsert(p);
         p.Keys("678", kKey0).Ok();
       },
       result::kOk, 3000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    DialogBench b;
    c.script(b.person);
    CTransferDlgNew dlg;
    dlg.value[1] = u"12345678";
    EXPECT_EQ(dlg.Run(b.core.dialogSite(), &b.person), c.result);
    EXPECT_EQ(b.person.NowMs(), c.endsAtMs);
    EXPECT_EQ(b.person.Last().Messages(), std::vector<Text>{kLiveMismatch});
  }
}

}  // namespace
}  // namespace quilta::ui
