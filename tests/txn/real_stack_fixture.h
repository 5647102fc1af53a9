// The real PC/SC stack for transaction tests: pcscd with vsmartcard's vpcd driver and the card
// simulator, inside tools/pcsc-sandbox (slot 0 an ordinary reader, slot 1 a PIN-pad reader
// whose customer types 1234), the scripted customer in front of the dialogs and the
// bank-server simulator. Outside the sandbox every test skips.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "core/atm_core.h"
#include "sim/bank_server.h"
#include "sim/control_client.h"
#include "sim/page_io.h"
#include "ui/dialogs.h"
#include "testsupport/scripted_customer.h"

namespace quilta {

class RealStackFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    plain_ = sim::SandboxSlotFromEnvironment(0);
    pad_ = sim::SandboxSlotFromEnvironment(1);
    if (plain_.reader.empty() || pad_.reader.empty()) GTEST_SKIP() << "not inside tools/pcsc-sandbox";
    plainControl_ = std::make_unique<sim::ControlClient>(plain_.control);
    padControl_ = std::make_unique<sim::ControlClient>(pad_.control);
    ASSERT_TRUE(plainControl_->Swap("default")) << plainControl_->Status();
    ASSERT_TRUE(padControl_->Swap("default")) << padControl_->Status();
    ASSERT_TRUE(padControl_->SetPinPad(sim::PinPadAction::kEnterPin, "1234"));
    core_.InstallDialogs();
    ASSERT_EQ(core_.ConnectDriver(), 0) << core_.errorText();
    server_.SetDateTime("20180104093015");
  }
  void TearDown() override {
    if (plain_.reader.empty()) return;
    core_.DisconnectCard();
    core_.DisconnectDriver();
  }

  void Open(const sim::SandboxSlot& slot, int readerType) {
    core_.PutText(Prop::ReaderName, AsciiText(slot.reader));
    ASSERT_EQ(core_.ConnectCard(), 0) << core_.errorText();
    ASSERT_EQ(core_.SetReaderType(AsciiText(std::to_string(readerType))), 0);
  }

  sim::SandboxSlot plain_, pad_;
  std::unique_ptr<sim::ControlClient> plainControl_, padControl_;
  CAtmCore core_;
  ui::ScriptedCustomer person_;
  ui::ScopedDialogEnv scripted_{&person_};
  sim::BankServer server_{sim::DefaultProfile()};
};

}  // namespace quilta
