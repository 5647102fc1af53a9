// The dialogs on the real PC/SC stack: pcscd with vsmartcard's vpcd driver and the card
// simulator behind a PIN-pad reader, inside tools/pcsc-sandbox (which sets QUILTA_SIM_*).
// pcsc-lite refuses a send PCI without a protocol, so every reader-dialog exchange here
// goes through the active-protocol fallback. Outside the sandbox every test skips.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "core/atm_core.h"
#include "sim/control_client.h"
#include "ui/dialogs.h"
#include "testsupport/scripted_customer.h"

namespace quilta::ui {
namespace {

class RealStackDialogs : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::SandboxSlot slot = sim::SandboxSlotFromEnvironment(0);
    reader_ = slot.reader;
    if (reader_.empty()) GTEST_SKIP() << "not inside tools/pcsc-sandbox";
    control_ = std::make_unique<sim::ControlClient>(slot.control);
    ASSERT_TRUE(control_->Swap("default")) << control_->Status();
    ASSERT_TRUE(control_->SetPinPad(sim::PinPadAction::kEnterPin, "1234", "5678"));
    core_.InstallDialogs();
    ASSERT_EQ(core_.ConnectDriver(), 0) << core_.errorText();
    core_.PutText(Prop::ReaderName, AsciiText(reader_));
  }
  void TearDown() override {
    if (reader_.empty()) return;
    core_.DisconnectCard();
    core_.DisconnectDriver();
  }

  std::string reader_;
  std::unique_ptr<sim::ControlClient> control_;
  CAtmCore core_;
  ScriptedCustomer person_;
  ScopedDialogEnv scripted_{&person_};
};

TEST_F(RealStackDialogs, PinOnTheReaderPadForBothReaderTypes) {
  ASSERT_EQ(core_.ConnectCard(), 0) << core_.errorText();
  ASSERT_EQ(core_.SetReaderType(u"2"), 0);
  EXPECT_EQ(core_.VerifyPIN(u""), 0) << core_.errorText();

  ASSERT_EQ(core_.SetReaderType(u"3"), 0);
  EXPECT_EQ(core_.VerifyPIN(u"4321"), status::kPinError) << core_.errorText();
  EXPECT_EQ(core_.VerifyPIN(u"1234"), 0) << core_.errorText();
  EXPECT_EQ(core_.ChangePIN(u"1234", u"2580"), 0) << core_.errorText();

  ASSERT_EQ(core_.SetReaderType(u"1"), 0);
  EXPECT_EQ(core_.VerifyPIN(u"2580"), 0) << core_.errorText();
}

TEST_F(RealStackDialogs, ConfirmationWatchesTheRealReader) {
  person_.Wait(1)
      .Do([&] { ASSERT_TRUE(control_->Remove(true)); })
      .Wait(1)
      .Do([&] { ASSERT_TRUE(control_->Insert(true)); })
      .Wait(1)
      .Ok();
  ConfirmationDialog dlg(CTransferDlg);
  dlg.title = u"繳費稅確認";
  EXPECT_EQ(dlg.Run(core_.dialogSite()), result::kOk);
  EXPECT_EQ(person_.Last().EnabledOf(kIdOk), true);

  ASSERT_TRUE(control_->Remove(true));
  ConfirmationDialog noCard(CTransferDlg);
  EXPECT_EQ(noCard.Run(core_.dialogSite()), result::kNoCard);
  ASSERT_TRUE(control_->Insert(true));
}

}  // namespace
}  // namespace quilta::ui
