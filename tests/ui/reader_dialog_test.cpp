#include "card/commands.h"
#include <gtest/gtest.h>

#include "ui_test_support.h"

namespace quilta::ui {
namespace {

using testing::DialogBench;
using Apdus = std::vector<std::string>;

constexpr char kAllFVerify[] = "0020001008FFFFFFFFFFFFFFFF";

CommandFields TacCommand() {
  return CommandFields{"00", "E2", "10", "80", "04", "A1B2C3D4", std::string("00")};
}

TEST(ReaderDialog, PinVerifyInMode3SendsThePinBlockOnTheThirdTick) {
  DialogBench b;
  b.Connect();
  CTwoReaderShow dlg;
  dlg.title = u"密碼認證";
  dlg.instruction = u"並依照字幕顯示需要按讀卡機上";
  dlg.mode = 3;
  dlg.pin = u"1234";
  EXPECT_EQ(dlg.Run(b.core.dialogSite(), &b.person), 0x9000);
  EXPECT_EQ(testing::Sent(b.pcsc), Apdus{"00200010081234FFFFFFFFFFFF"});
  EXPECT_EQ(b.person.NowMs(), 2000);  // timers 1 and 2 at one second, then timer 1 again
  EXPECT_EQ(dlg.Ticks(), 3);
  const auto& w = b.person.Last();
  EXPECT_EQ(w.templateNumber, 103);
  EXPECT_EQ(w.caption, u"密碼認證");
  EXPECT_EQ(w.TextOf(202), u"並依照字幕顯示需要按讀卡機上");
}

TEST(ReaderDialog, PinChangeWritesTheNewBlockOnlyAfterTheOldOneIsAccepted) {
  DialogBench b;
  b.Connect();
  CTwoReaderShow dlg;
  dlg.mode = 3;
  dlg.pin = u"1234";
  dlg.newPin = u"567890";
  dlg.change = true;
  EXPECT_EQ(dlg.Run(b.core.dialogSite(), &b.person), 0x9000);
  EXPECT_EQ(testing::Sent(b.pcsc),
            (Apdus{"00200010081234FFFFFFFFFFFF", "00D2010408567890FFFFFFFFFF"}));

  b.pcsc.ClearLog();
  b.card->answers = {"6608"};
  CTwoReaderShow wrong;
  wrong.mode = 3;
  wrong.pin = u"9999";
  wrong.change = true;
  EXPECT_EQ(wrong.Run(b.core.dialogSite(), &b.person), 0x6608);
  EXPECT_EQ(testing::Sent(b.pcsc).size(), 1u);
}

TEST(ReaderDialog, Mode2SendsTheCallersCommandOnceAndKeepsThe69F0) {
  DialogBench b;
  b.Connect();
  b.card->answers = {"69F0"};
  CTwoReaderShow dlg;
  dlg.mode = 2;
  dlg.command = card::ParseCommand(CommandFields{"80", "20", "00", "10", std::nullopt, "FFFF", std::nullopt});
  EXPECT_EQ(dlg.Run(b.core.dialogSite(), &b.person), 0x69F0);
  EXPECT_EQ(testing::Sent(b.pcsc), Apdus{"80200010"});
}

TEST(ReaderDialog, TransactionDialogTurns69F0Into5037) {
  DialogBench b;
  b.Connect();
  b.card->answers = {"69F0"};
  CTWOREADERSHOW1 dlg;
  dlg.mode = 2;
  dlg.command = card::ParseCommand(TacCommand());
  EXPECT_EQ(dlg.Run(b.core.dialogSite(), &b.person), status::kConfirmTimeout);
  EXPECT_EQ(testing::Sent(b.pcsc), Apdus{"00E2108004A1B2C3D400"});
}

TEST(ReaderDialog, Mode3VerifiesThenSendsTheCommandIntoTheReceiveArea) {
  DialogBench b;
  b.Connect();
  b.card->answers = {"9000", "00313233343536373800001122334455667788" "9000"};
  CTWOREADERSHOW1_Accessible dlg;
  dlg.mode = 3;
  dlg.pin = u"246810";
  dlg.command = card::ParseCommand(TacCommand());
  dlg.instruction = u"並  依  照";
  EXPECT_EQ(dlg.Run(b.core.dialogSite(), &b.person), 0x9000);
  EXPECT_EQ(testing::Sent(b.pcsc), (Apdus{"0020001008246810FFFFFFFFFF", "00E2108004A1B2C3D400"}));
  EXPECT_EQ(b.core.channel().response.size(), 21u);
  EXPECT_EQ(BytesToHex(b.core.channel().response.bytes(), 21), "003132333435363738000011223344556677889000");
  EXPECT_EQ(b.person.Last().templateNumber, 1051);
  EXPECT_EQ(b.person.Last().TextOf(210), u"並  依  照");
}

TEST(ReaderDialog, SummaryDialogVerifiesAllFInMode2AndStopsOnAFailedVerify) {
  DialogBench b;
  b.Connect();
  b.card->answers = {"63C2"};
  CTwoReaderShowN dlg;
  dlg.title = u"轉帳確認";
  dlg.label[0] = u"轉出帳號";
  dlg.value[0] = u"12345678901234";
  dlg.mode = 2;
  dlg.command = card::ParseCommand(TacCommand());
  EXPECT_EQ(dlg.Run(b.core.dialogSite(), &b.person), 0x63C2);
  EXPECT_EQ(testing::Sent(b.pcsc), Apdus{kAllFVerify});
  EXPECT_EQ(b.person.Last().TextOf(205), u"12345678901234");
  EXPECT_EQ(b.person.Last().caption, u"轉帳確認");
}

TEST(ReaderDialog, ApplyDialogs) {
  DialogBench b;
  b.Connect();
  CDoApplyTACDlg151 pin;
  pin.mode = 3;
  pin.pin = u"1234";
  pin.command = card::ParseCommand(TacCommand());
  EXPECT_EQ(pin.Run(b.core.dialogSite(), &b.person), 0x9000);
  EXPECT_EQ(testing::Sent(b.pcsc), (Apdus{"00200010081234FFFFFFFFFFFF", "00E2108004A1B2C3D400"}));
  EXPECT_EQ(b.person.Last().templateNumber, 206);

  b.pcsc.ClearLog();
  b.card->answers = {"69F0"};
  CDoApplyTACDlg252 keys;
  keys.mode = 2;
  keys.command = card::ParseCommand(TacCommand());
  EXPECT_EQ(keys.Run(b.core.dialogSite(), &b.person), status::kConfirmTimeout);
  EXPECT_EQ(testing::Sent(b.pcsc), Apdus{kAllFVerify});
  EXPECT_EQ(b.person.Last().templateNumber, 208);
}

TEST(ReaderDialog, EscBeforeTheExchangeSendsNothing) {
  DialogBench b;
  b.Connect();
  b.person.Wait(1).Esc();
  CTwoReaderShowN dlg;
  dlg.mode = 2;
  EXPECT_EQ(dlg.Run(b.core.dialogSite(), &b.person), result::kCancel);
  EXPECT_EQ(testing::Sent(b.pcsc).size(), 0u);

  b.person.Ok();  // Enter before the exchange
  CTwoReaderShow enter;
  EXPECT_EQ(enter.Run(b.core.dialogSite(), &b.person), result::kOk);

  b.person.CloseBox();
  CTWOREADERSHOW1 closeBox;
  EXPECT_EQ(closeBox.Run(b.core.dialogSite(), &b.person), result::kCancel);
  EXPECT_EQ(testing::Sent(b.pcsc).size(), 0u);
}

TEST(DialogExchange, LcCountsBytesAndAnAnswerWithoutStatusWordFails) {
  DialogBench b;
  b.Connect();
  card::Channel& ch = b.core.channel();
  card::ResponseApdu rx;
  uint8_t block[0x1C];
  std::fill(std::begin(block), std::end(block), 0xAA);
  EXPECT_EQ(ch.ExchangeUnnamed(card::cmd::Tac(block), &rx, ch.handle, ch.activeProtocol).sw, 0x9000);
  EXPECT_EQ(testing::Sent(b.pcsc).back(), "00E210801C" + std::string(56, 'A') + "00");
  // A response without a status word is a failed exchange.
  b.pcsc.TruncateResponseAt(2, 1);  // the first send, without a protocol, is refused
  EXPECT_EQ(ch.ExchangeUnnamed(card::cmd::VerifyOnReader(), &rx, ch.handle, ch.activeProtocol).rv,
            platform::scard::kCommDataLost);
}

TEST(DialogExchange, FallsBackToTheActiveProtocolWhenProtocolZeroIsRefused) {
  DialogBench b;  // the virtual reader refuses a send PCI without protocol, as pcsc-lite does
  b.Connect();
  CTwoReaderShow dlg;
  dlg.mode = 3;
  dlg.pin = u"1234";
  EXPECT_EQ(dlg.Run(b.core.dialogSite(), &b.person), 0x9000);
  std::vector<std::pair<uint32_t, platform::ScardResult>> sends;
  for (const auto& call : b.pcsc.Log())
    if (call.op == "Transmit") sends.emplace_back(call.arg1, call.result);
  EXPECT_EQ(sends, (std::vector<std::pair<uint32_t, platform::ScardResult>>{
                       {0, platform::scard::kProtoMismatch},
                       {platform::scard::kProtocolT1, platform::scard::kSuccess}}));
}

}  // namespace
}  // namespace quilta::ui
