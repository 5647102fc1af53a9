#include <gtest/gtest.h>

#include "ui_test_support.h"

namespace quilta::ui {
namespace {

using testing::DialogBench;
constexpr int32_t kKey0 = kInputKeypad.firstKeyId;

TEST(InputDialog, DigitsAsTypedAndTheTemplateCaption) {
  DialogBench b;
  b.person.Ok().Keys("123", kKey0).Ok();
  InputDialog empty(CInputDlg);
  EXPECT_EQ(empty.Run(b.core.dialogSite(), &b.person), result::kOk);
  EXPECT_EQ(empty.Entry(), "");
  InputDialog dlg(CInputDlg);
  EXPECT_EQ(dlg.Run(b.core.dialogSite(), &b.person), result::kOk);
  EXPECT_EQ(dlg.Entry(), "123");
  EXPECT_EQ(b.person.Last().caption, u"輸入資料");
  EXPECT_EQ(b.person.Last().TextsOf(CInputDlg.entryId),
            (std::vector<Text>{u"", u"1", u"12", u"123"}));
}

TEST(InputDialog, ClearStartsOverAndTwentyDigitsAreTheLimit) {
  DialogBench b;
  b.person.Keys("45", kKey0).Press(kInputKeypad.clearId).Keys("6", kKey0).Ok();
  InputDialog cleared(CInputDlg);
  EXPECT_EQ(cleared.Run(b.core.dialogSite(), &b.person), result::kOk);
  EXPECT_EQ(cleared.Entry(), "6");

  b.person.Keys(std::string(25, '7'), kKey0).Ok();
  InputDialog full(CInputDlg);
  EXPECT_EQ(full.Run(b.core.dialogSite(), &b.person), result::kOk);
  EXPECT_EQ(full.Entry(), std::string(20, '7'));
}

TEST(InputDialog, CancelEscAndCloseBoxAllCancel) {
  DialogBench b;
  b.person.Keys("1", kKey0).Cancel().Esc().CloseBox();
  for (int i = 0; i < 3; ++i) {
    InputDialog dlg(CInputDlg);
    EXPECT_EQ(dlg.Run(b.core.dialogSite(), &b.person), result::kCancel);
  }
}

class TamperedInput : public InputDialog {
 public:
  TamperedInput() : InputDialog(CInputDlg) {}

 protected:
  void OnCommand(int32_t id) override {
    if (id == 999) entry_[0] = '9';
    else InputDialog::OnCommand(id);
  }
};

TEST(InputDialog, EntryChangedBehindTheKeypadFailsTheCheck) {
  DialogBench b;
  b.person.Keys("12", kKey0).Press(999).Ok();
  TamperedInput dlg;
  EXPECT_EQ(dlg.Run(b.core.dialogSite(), &b.person), result::kEntryRejected);
}

}  // namespace
}  // namespace quilta::ui

namespace quilta::ui {
namespace {

TEST(ScriptedCustomerText, StepsWrittenAsTextFindTheOpenKeypad) {
  testing::DialogBench b;
  ASSERT_TRUE(b.person.AppendScript("digits 4509; clear\ndigits 12;ok"));
  InputDialog input(CInputDlg);
  EXPECT_EQ(input.Run(b.core.dialogSite(), &b.person), result::kOk);
  EXPECT_EQ(input.Entry(), "12");

  ASSERT_TRUE(b.person.AppendScript("digits 678; pull; wait 1; insert; wait 1; ok"));
  CTransferDlgNew transfer;
  transfer.value[1] = u"12345678";
  EXPECT_EQ(transfer.Run(b.core.dialogSite(), &b.person), result::kOk);

  std::string error;
  EXPECT_FALSE(b.person.AppendScript("wait 2; jump", &error));
  EXPECT_EQ(error, "unknown step: jump");
  EXPECT_EQ(b.person.StepsLeft(), 0u);
}

}  // namespace
}  // namespace quilta::ui
