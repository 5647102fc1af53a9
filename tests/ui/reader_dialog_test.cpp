#include <gtest/gtest.h>

#include "card/commands.h"
#include "core/reader_pin.h"
#include "txn/steps.h"
#include "ui_test_support.h"

namespace quilta::ui {
namespace {

using testing::DialogBench;
using Apdus = std::vector<std::string>;

constexpr char kAllFVerify[] = "0020001008FFFFFFFFFFFFFFFF";
const Text kNoPin;

card::CommandApdu TacCommand() {
  return *card::ParseCommand(
      CommandFields{"00", "E2", "10", "80", "04", "A1B2C3D4", std::string("00")});
}

// Every description: its template, where the caller's instruction goes and the rows shown. The
// exchange runs once, on the third timer message, on the site's channel, and its result ends
// the dialog.
TEST(ReaderDialog, EachDescriptionShowsItsInputsAndEndsWithTheExchangeOnTheThirdTick) {
  struct Case {
    const char* name;
    ReaderDialogKind kind;
    int32_t templateNumber, instructionId;
    int rows;
  };
  const Case cases[] = {
      {"CTwoReaderShow", CTwoReaderShow, 103, 202, 0},
      {"CTWOREADERSHOW1", CTWOREADERSHOW1, 105, 210, 0},
      {"CTWOREADERSHOW1_Accessible", CTWOREADERSHOW1_Accessible, 1051, 210, 0},
      {"CTwoReaderShowN", CTwoReaderShowN, 106, 212, 4},
      {"CDoApplyTACDlg151", CDoApplyTACDlg151, 206, -1, 3},
      {"CDoApplyTACDlg152", CDoApplyTACDlg152, 205, -1, 2},
      {"CDoApplyTACDlg251", CDoApplyTACDlg251, 207, -1, 3},
      {"CDoApplyTACDlg252", CDoApplyTACDlg252, 208, -1, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DialogBench b;
    ReaderDialog dlg(c.kind);
    dlg.title = u"轉帳確認";
    dlg.instruction = u"並依照字幕顯示需要按讀卡機上";
    dlg.label = {u"L1", u"L2", u"L3", u"L4"};
    dlg.value = {u"V1", u"V2", u"V3", u"V4"};
    int calls = 0;
    dlg.exchange = [&](card::Channel& channel) {
      ++calls;
      EXPECT_EQ(&channel, &b.core.channel());
      EXPECT_EQ(b.person.NowMs(), 2000);  // timers 1 and 2 at one second, then timer 1 again
      return 0x1234;
    };
    EXPECT_EQ(dlg.Run(b.core.dialogSite(), &b.person), 0x1234);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(dlg.Ticks(), 3);
    const auto& w = b.person.Last();
    EXPECT_EQ(w.templateNumber, c.templateNumber);
    EXPECT_EQ(w.caption, u"轉帳確認");
    // The instruction once, where the template has the line, else nowhere.
    std::vector<int32_t> instructionAt;
    for (const auto& s : w.shown)
      if (s.text == u"並依照字幕顯示需要按讀卡機上") instructionAt.push_back(s.id);
    EXPECT_EQ(instructionAt, c.instructionId == -1 ? std::vector<int32_t>{}
                                                   : std::vector<int32_t>{c.instructionId});
    for (int i = 0; i < kSummaryRows; ++i) {
      EXPECT_EQ(w.TextsOf(SummaryValueId(i)),
                i < c.rows ? std::vector<Text>{*dlg.value[i]} : std::vector<Text>{})
          << i;
    }
    EXPECT_EQ(w.TextsOf(kIdHeader1).size(), c.rows > 0 ? 1u : 0u);
  }
}

TEST(ReaderDialog, EscBeforeTheExchangeSendsNothing) {
  DialogBench b;
  b.Connect();
  int calls = 0;
  auto count = [&calls](card::Channel&) { return ++calls; };
  b.person.Wait(1).Esc();
  ReaderDialog dlg(CTwoReaderShowN);
  dlg.exchange = count;
  EXPECT_EQ(dlg.Run(b.core.dialogSite(), &b.person), result::kCancel);

  b.person.Ok();  // Enter before the exchange
  ReaderDialog enter(CTwoReaderShow);
  enter.exchange = count;
  EXPECT_EQ(enter.Run(b.core.dialogSite(), &b.person), result::kOk);

  b.person.CloseBox();
  ReaderDialog closeBox(CTWOREADERSHOW1);
  closeBox.exchange = count;
  EXPECT_EQ(closeBox.Run(b.core.dialogSite(), &b.person), result::kCancel);
  EXPECT_EQ(calls, 0);
  EXPECT_EQ(testing::Sent(b.pcsc).size(), 0u);
}

// ---- The PIN methods' exchange (core/reader_pin.h) ----

int32_t RunPinPad(DialogBench& b, const ReaderPinRequest& request) {
  ScopedDialogEnv scripted(&b.person);
  return PinPadDialog().Run(b.core, request);
}

TEST(PinPadExchange, Type3SendsThePinBlockOnTheThirdTick) {
  DialogBench b;
  b.Connect();
  ReaderPinRequest request;
  request.caption = u"密碼認證";
  request.instruction = u"並依照字幕顯示需要按讀卡機上";
  request.readerType = 3;
  request.pin = u"1234";
  EXPECT_EQ(RunPinPad(b, request), 0x9000);
  EXPECT_EQ(testing::Sent(b.pcsc), Apdus{"00200010081234FFFFFFFFFFFF"});
  EXPECT_EQ(b.person.NowMs(), 2000);
  const auto& w = b.person.Last();
  EXPECT_EQ(w.templateNumber, 103);
  EXPECT_EQ(w.caption, u"密碼認證");
  EXPECT_EQ(w.TextOf(202), u"並依照字幕顯示需要按讀卡機上");
}

TEST(PinPadExchange, ChangeWritesTheNewBlockOnlyAfterTheOldOneIsAccepted) {
  DialogBench b;
  b.Connect();
  ReaderPinRequest request;
  request.readerType = 3;
  request.pin = u"1234";
  request.newPin = u"567890";
  request.change = true;
  EXPECT_EQ(RunPinPad(b, request), 0x9000);
  EXPECT_EQ(testing::Sent(b.pcsc),
            (Apdus{"00200010081234FFFFFFFFFFFF", "00D2010408567890FFFFFFFFFF"}));

  b.pcsc.ClearLog();
  b.card->answers = {"6608"};
  ReaderPinRequest wrong;
  wrong.readerType = 3;
  wrong.pin = u"9999";
  wrong.change = true;
  EXPECT_EQ(RunPinPad(b, wrong), 0x6608);
  EXPECT_EQ(testing::Sent(b.pcsc).size(), 1u);
}

TEST(PinPadExchange, Type2SendsTheCallersCommandOnceAndKeepsThe69F0) {
  DialogBench b;
  b.Connect();
  b.card->answers = {"69F0"};
  ReaderPinRequest request;
  request.readerType = 2;
  request.command =
      card::ParseCommand(CommandFields{"80", "20", "00", "10", std::nullopt, "FFFF", std::nullopt});
  EXPECT_EQ(RunPinPad(b, request), 0x69F0);
  EXPECT_EQ(testing::Sent(b.pcsc), Apdus{"80200010"});
}

// ---- The TAC transactions' exchange (txn/steps.h) ----

// Runs `dlg` with the TAC exchange of reader type `type`.
int32_t RunTac(DialogBench& b, ReaderDialog& dlg, int32_t type, const Text& pin,
               bool verifyOnType2) {
  const card::CommandApdu tac = TacCommand();
  const txn::PadTac padTac{type, pin, tac, verifyOnType2};
  dlg.exchange = [&padTac](card::Channel& channel) { return txn::SendPadTac(channel, padTac); };
  return dlg.Run(b.core.dialogSite(), &b.person);
}

TEST(PadTacExchange, SimpleDialogTurns69F0Into5037) {
  DialogBench b;
  b.Connect();
  b.card->answers = {"69F0"};
  ReaderDialog dlg(CTWOREADERSHOW1);
  EXPECT_EQ(RunTac(b, dlg, 2, kNoPin, false), status::kConfirmTimeout);
  EXPECT_EQ(testing::Sent(b.pcsc), Apdus{"00E2108004A1B2C3D400"});
}

TEST(PadTacExchange, Type3VerifiesThenSendsTheCommandIntoTheExchangeResponse) {
  DialogBench b;
  b.Connect();
  b.card->answers = {"9000",
                     "00313233343536373800001122334455667788"
                     "9000"};
  ReaderDialog dlg(CTWOREADERSHOW1_Accessible);
  EXPECT_EQ(RunTac(b, dlg, 3, u"246810", false), 0x9000);
  EXPECT_EQ(testing::Sent(b.pcsc), (Apdus{"0020001008246810FFFFFFFFFF", "00E2108004A1B2C3D400"}));
  EXPECT_EQ(b.core.channel().response.size(), 21u);
  EXPECT_EQ(BytesToHex(b.core.channel().response.bytes(), 21),
            "003132333435363738000011223344556677889000");
}

TEST(PadTacExchange, DetailedDialogsVerifyAllFOnType2AndStopOnAFailedVerify) {
  DialogBench b;
  b.Connect();
  b.card->answers = {"63C2"};
  ReaderDialog dlg(CTwoReaderShowN);
  EXPECT_EQ(RunTac(b, dlg, 2, kNoPin, true), 0x63C2);
  EXPECT_EQ(testing::Sent(b.pcsc), Apdus{kAllFVerify});

  b.pcsc.ClearLog();
  ReaderDialog pin(CDoApplyTACDlg151);
  EXPECT_EQ(RunTac(b, pin, 3, u"1234", true), 0x9000);
  EXPECT_EQ(testing::Sent(b.pcsc), (Apdus{"00200010081234FFFFFFFFFFFF", "00E2108004A1B2C3D400"}));

  b.pcsc.ClearLog();
  b.card->answers = {"69F0"};
  ReaderDialog keys(CDoApplyTACDlg252);
  EXPECT_EQ(RunTac(b, keys, 2, kNoPin, true), status::kConfirmTimeout);
  EXPECT_EQ(testing::Sent(b.pcsc), Apdus{kAllFVerify});
}

TEST(DialogExchange, LcCountsBytesAndAnAnswerWithoutStatusWordFails) {
  DialogBench b;
  b.Connect();
  card::Channel& ch = b.core.channel();
  card::ResponseApdu rx;
  uint8_t block[0x1C];
  std::fill(std::begin(block), std::end(block), 0xAA);
  EXPECT_EQ(ch.ExchangeUnnamed(card::cmd::Tac(block), &rx, ch.handle, ch.activeProtocol).sw,
            0x9000);
  EXPECT_EQ(testing::Sent(b.pcsc).back(), "00E210801C" + std::string(56, 'A') + "00");
  // A response without a status word is a failed exchange.
  b.pcsc.TruncateResponseAt(2, 1);  // the first send, without a protocol, is refused
  EXPECT_EQ(ch.ExchangeUnnamed(card::cmd::VerifyOnReader(), &rx, ch.handle, ch.activeProtocol).rv,
            platform::scard::kCommDataLost);
}

TEST(DialogExchange, FallsBackToTheActiveProtocolWhenProtocolZeroIsRefused) {
  DialogBench b;  // the virtual reader refuses a send PCI without protocol, as pcsc-lite does
  b.Connect();
  ReaderPinRequest request;
  request.readerType = 3;
  request.pin = u"1234";
  EXPECT_EQ(RunPinPad(b, request), 0x9000);
  std::vector<std::pair<uint32_t, platform::ScardResult>> sends;
  for (const auto& call : b.pcsc.Log())
    if (call.op == "Transmit") sends.emplace_back(call.arg1, call.result);
  EXPECT_EQ(sends, (std::vector<std::pair<uint32_t, platform::ScardResult>>{
                       {0, platform::scard::kProtoMismatch},
                       {platform::scard::kProtocolT1, platform::scard::kSuccess}}));
}

}  // namespace
}  // namespace quilta::ui
