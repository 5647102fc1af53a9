// VerifyPIN and ChangePIN on the simulated FISC card behind the simulated PIN-pad reader,
// through the in-process virtual reader: the page's whole road (ConnectDriver, ConnectCard,
// SetReaderType) with the instruction dialog played by the scripted customer.
#include <gtest/gtest.h>

#include "core/atm_core.h"
#include "testsupport/virtual_pcsc.h"
#include "sim/fisc_card.h"
#include "sim/pinpad_reader.h"
#include "ui/dialogs.h"
#include "testsupport/scripted_customer.h"

namespace quilta::ui {
namespace {

struct SimBench {
  explicit SimBench(const char* readerName, const char* readerType) : reader(readerName) {
    card = std::make_shared<sim::FiscCard>(sim::DefaultProfile());
    pad = std::make_shared<sim::PinPadReader>(card);
    pcsc.InsertCard(reader, pad);
    core.channel().pcsc = &pcsc;
    core.channel().sleeper = &sleeper;
    core.InstallDialogs();
    EXPECT_EQ(core.ConnectDriver(), 0);
    core.PutText(Prop::ReaderName, AsciiText(reader));
    EXPECT_EQ(core.ConnectCard(), 0) << core.errorText();
    EXPECT_EQ(core.SetReaderType(AsciiText(readerType)), 0);
  }
  void Customer(sim::PinPadAction action, std::string pin = "1234", std::string newPin = "5678") {
    pad->SetSettings(sim::PinPadSettings{action, std::move(pin), std::move(newPin)});
  }

  std::string reader;
  platform::VirtualPcsc pcsc;
  platform::VirtualSleeper sleeper;
  std::shared_ptr<sim::FiscCard> card;
  std::shared_ptr<sim::PinPadReader> pad;
  CAtmCore core;
  ScriptedCustomer person;
  ScopedDialogEnv scripted{&person};
};

TEST(ReaderPinOnTheSimulator, Type3VerifiesThePageSPin) {
  SimBench b("Sim Reader 0", "3");
  EXPECT_EQ(b.core.VerifyPIN(u"1234"), 0) << b.core.errorText();
  EXPECT_TRUE(b.core.state().pinVerified);
  EXPECT_TRUE(b.card->PinVerified());

  EXPECT_EQ(b.core.VerifyPIN(u"9999"), status::kPinError);
  EXPECT_EQ(b.card->PinTriesLeft(), 2);
}

TEST(ReaderPinOnTheSimulator, Type2CustomerTypesThePinOnThePad) {
  SimBench full("Todos eCode Connectable 0", "2");
  full.Customer(sim::PinPadAction::kEnterPin, "1234");
  EXPECT_EQ(full.core.VerifyPIN(u""), 0) << full.core.errorText();
  EXPECT_EQ(full.pad->Prompts(), 1);

  SimBench other("Sim Reader 1", "2");
  other.Customer(sim::PinPadAction::kEnterPin, "0000");
  EXPECT_EQ(other.core.VerifyPIN(u""), status::kPinError);
  other.Customer(sim::PinPadAction::kTimeout);
  EXPECT_EQ(other.core.VerifyPIN(u""), status::kUserCancel);  // 69 F0 from the pad
  EXPECT_FALSE(other.core.state().pinVerified);
}

TEST(ReaderPinOnTheSimulator, ChangeOnBothTypesThenTheNewPinWorks) {
  SimBench pad("Sim Reader 0", "2");
  pad.Customer(sim::PinPadAction::kEnterPin, "1234", "2468");
  EXPECT_EQ(pad.core.ChangePIN(u"", u""), 0) << pad.core.errorText();
  EXPECT_EQ(pad.card->StoredPinBlock(), sim::PinBlockOf("2468"));

  SimBench page("Sim Reader 0", "3");
  EXPECT_EQ(page.core.ChangePIN(u"1234", u"8642"), 0) << page.core.errorText();
  EXPECT_EQ(page.card->StoredPinBlock(), sim::PinBlockOf("8642"));
  EXPECT_EQ(page.core.ChangePIN(u"1234", u"1111"), status::kPinError);
  EXPECT_EQ(page.card->StoredPinBlock(), sim::PinBlockOf("8642"));
}

TEST(ReaderPinOnTheSimulator, CancelOnTheScreenSendsNothing) {
  SimBench b("Sim Reader 0", "3");
  b.pcsc.ClearLog();
  b.person.Wait(1).Esc();
  EXPECT_EQ(b.core.VerifyPIN(u"1234"), status::kUserCancel);
  EXPECT_EQ(b.pcsc.Count("Transmit"), 0u);
  EXPECT_EQ(b.core.errorText(), "User Cancel to do Txn Tac. (5036)");
}

}  // namespace
}  // namespace quilta::ui
