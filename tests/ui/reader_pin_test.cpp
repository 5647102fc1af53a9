// VerifyPIN and ChangePIN with a reader that has its own PIN pad (reader types 2 and 3): the
// card engine runs the instruction dialog through the seam the dialogs install.
#include <gtest/gtest.h>

#include "ui_test_support.h"

namespace quilta::ui {
namespace {

using testing::DialogBench;
using Apdus = std::vector<std::string>;

struct PinBench : DialogBench {
  PinBench(int32_t readerType, const char16_t* readerName = u"Test Reader 0") {
    InstallDialogs(core);
    Connect();
    core.N(Prop::ReaderType) = readerType;
    core.T(Prop::ReaderName) = readerName;
  }
  ScopedDialogEnv scripted{&person};
};

TEST(ReaderPin, VerifyOnAType3ReaderSendsThePageSPin) {
  PinBench b(3);
  EXPECT_EQ(b.core.VerifyPIN(u"1234"), 0);
  EXPECT_TRUE(b.core.pinVerified);
  EXPECT_EQ(testing::Sent(b.pcsc), Apdus{"00200010081234FFFFFFFFFFFF"});
  const auto& w = b.person.Last();
  EXPECT_EQ(w.templateNumber, 103);
  EXPECT_EQ(w.caption, u"密碼認證");
  EXPECT_EQ(w.TextOf(202), u"並依照字幕顯示需要按讀卡機上");
}

TEST(ReaderPin, VerifyOnAType2ReaderUsesTheCommandOfItsName) {
  PinBench full(2, u"Todos eCode Connectable 0");
  EXPECT_EQ(full.core.VerifyPIN(u""), 0);
  EXPECT_EQ(testing::Sent(full.pcsc), Apdus{"0020001008FFFFFFFFFFFFFFFF"});
  EXPECT_EQ(full.person.Last().TextOf(202), u"並依照字幕顯示需要按讀卡機上數字鍵輸入密碼並按");

  PinBench other(2);
  EXPECT_EQ(other.core.VerifyPIN(u""), 0);
  EXPECT_EQ(testing::Sent(other.pcsc), Apdus{"80200010"});
}

TEST(ReaderPin, ChangeOnAType3ReaderVerifiesAndWrites) {
  PinBench b(3);
  EXPECT_EQ(b.core.ChangePIN(u"1234", u"5678"), 0);
  EXPECT_EQ(testing::Sent(b.pcsc), (Apdus{"00A4020002" "00C2", "00200010081234FFFFFFFFFFFF",
                                     "00D20104085678FFFFFFFFFFFF"}));
  EXPECT_EQ(b.person.Last().caption, u"密碼變更");
}

TEST(ReaderPin, ChangeOnAType2ReaderLetsThePadAskForBoth) {
  PinBench b(2);
  EXPECT_EQ(b.core.ChangePIN(u"", u""), 0);
  EXPECT_EQ(testing::Sent(b.pcsc), (Apdus{"00A4020002" "00C2", "0020001008F0F0F0F0F0F0F0F0"}));
}

TEST(ReaderPin, EndCodesBecomeStatuses) {
  PinBench wrong(3);
  wrong.card->answers = {"6608"};
  EXPECT_EQ(wrong.core.VerifyPIN(u"9999"), status::kPinError);
  EXPECT_FALSE(wrong.core.pinVerified);

  PinBench cancelled(3);
  cancelled.person.Esc();
  EXPECT_EQ(cancelled.core.VerifyPIN(u"1234"), status::kUserCancel);
  EXPECT_EQ(testing::Sent(cancelled.pcsc).size(), 0u);

  PinBench padTimeout(2);
  padTimeout.card->answers = {"69F0"};
  EXPECT_EQ(padTimeout.core.VerifyPIN(u""), status::kUserCancel);

  PinBench noDisplay(3);
  noDisplay.person.noDisplay = true;
  EXPECT_NE(noDisplay.core.VerifyPIN(u"1234"), 0);
  EXPECT_EQ(testing::Sent(noDisplay.pcsc).size(), 0u);
}

}  // namespace
}  // namespace quilta::ui
