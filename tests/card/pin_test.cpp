#include "card/pin.h"
#include "base/hex.h"
#include "tests/card/card_fixture.h"

namespace quilta::testing {
namespace {

using quilta::ReaderPinDialog;
using quilta::ReaderPinRequest;

// The command a request carries, as hex ("" when it carries none).
std::string Hex(const ReaderPinRequest& r) {
  if (!r.command) return "";
  uint8_t bytes[card::CommandApdu::kMaxSize];
  return BytesToHex(bytes, r.command->Serialize(bytes));
}

using Pin = CardFixture;

constexpr char kSelectPinFile[] = "00 A4 02 00 02 00 C2";

// Records what the card engine asks of the reader-instruction dialog and ends with a
// chosen code.
class FakeReaderDialog final : public ReaderPinDialog {
 public:
  int32_t Run(CAtmCore&, const ReaderPinRequest& request) override {
    requests.push_back(request);
    return endCode;
  }
  int32_t endCode = 0x9000;
  std::vector<ReaderPinRequest> requests;
};

TEST_F(Pin, PinBlockPutsDigitsIntoNibbles) {
  InsertCard({{"00 20 00 10 08 12 34 FF FF FF FF FF FF", "90 00"},
              {"00 20 00 10 08 12 34 56 78 90 12 34 56", "90 00"}});
  Open();
  EXPECT_EQ(core.VerifyPIN(u"1234"), 0);
  EXPECT_EQ(core.VerifyPIN(u"1234567890123456"), 0);
  EXPECT_TRUE(core.state().pinVerified);
}

TEST_F(Pin, EmptyOverlongOrUnencodablePinIsRefusedBeforeAnythingIsSent) {
  InsertCard();
  Open();
  FakeReaderDialog dialog;
  core.SetReaderPinDialog(&dialog);
  struct Case {
    const char16_t* pin;
    std::vector<int> types;
  };
  // Over 16 characters on every reader type. Empty or not hex wherever the PIN comes from the
  // page (type 2 takes it on the reader's pad): an empty PIN would be the all-F block, a wrong
  // PIN that costs one of the card's tries, and as the new PIN it would replace the customer's.
  const Case cases[] = {
      {u"12345678901234567", {0, 1, 2, 3}},
      {u"", {0, 1, 3}},
      {u"12a4", {0, 1, 3}},
      {u"12\u0131", {0, 1, 3}},  // low byte '1', yet no digit
      {u"12 4", {0, 1, 3}},
  };
  for (const Case& c : cases) {
    for (int type : c.types) {
      SCOPED_TRACE(::testing::Message() << "type " << type << ", PIN \"" << ToNarrow(c.pin) << "\"");
      core.props().NumberOf(Prop::ReaderType) = type;
      EXPECT_EQ(core.VerifyPIN(c.pin), 6002);
      EXPECT_EQ(Error(), " para input error. (6002)");
      EXPECT_EQ(core.ChangePIN(c.pin, u"1234"), 6002);
      EXPECT_EQ(core.ChangePIN(u"1234", c.pin), 6002);
    }
  }
  EXPECT_EQ(pcsc.Count("Transmit"), 0u);
  EXPECT_TRUE(dialog.requests.empty());
  EXPECT_FALSE(core.state().pinVerified);
  EXPECT_EQ(card::PinBlockText("1234"), "1234FFFFFFFFFFFF");
}

TEST_F(Pin, WrongPinThreeTimesLocksAndNeverClearsTheFlag) {
  const char* verify1111 = "00 20 00 10 08 11 11 FF FF FF FF FF FF";
  InsertCard({{"00 20 00 10 08 12 34 FF FF FF FF FF FF", "90 00"},
              {verify1111, "66 08"},
              {verify1111, "66 08"},
              {verify1111, "66 20"},
              {"00 20 00 10 08 12 34 FF FF FF FF FF FF", "66 20"}});
  Open();
  EXPECT_EQ(core.VerifyPIN(u"1234"), 0);
  EXPECT_EQ(core.VerifyPIN(u"1111"), 5031);
  EXPECT_EQ(Error(), "PIN Error. (5031)");
  EXPECT_EQ(core.VerifyPIN(u"1111"), 5031);
  EXPECT_EQ(core.VerifyPIN(u"1111"), 5032);
  EXPECT_EQ(Error(), "FISC Card Locked (over error try 3 times). (5032)");
  EXPECT_EQ(core.VerifyPIN(u"1234"), 5032);
  EXPECT_TRUE(core.state().pinVerified);
}

TEST_F(Pin, ChangePinSelectsVerifiesThenWrites) {
  auto card = InsertCard({{kSelectPinFile, "90 00"},
                          {"00 20 00 10 08 12 34 FF FF FF FF FF FF", "90 00"},
                          {"00 D2 01 04 08 56 78 FF FF FF FF FF FF", "90 00"},
                          {kSelectPinFile, "90 00"},
                          {"00 20 00 10 08 56 79 FF FF FF FF FF FF", "66 08"}});
  Open();
  EXPECT_EQ(core.ChangePIN(u"1234", u"5678"), 0);
  EXPECT_TRUE(core.state().pinVerified);
  EXPECT_EQ(core.ChangePIN(u"5679", u"0000"), 5031);  // nothing written
  EXPECT_TRUE(card->Finished());
}

TEST_F(Pin, CardPulledDuringChangePin) {
  InsertCard({{kSelectPinFile, "90 00"}, {"00 20 00 10 08 12 34 FF FF FF FF FF FF", "90 00"}});
  Open();
  pcsc.RemoveCardAtCommand(kReader, 3);
  EXPECT_EQ(core.ChangePIN(u"1234", u"5678"), 5035);
  EXPECT_EQ(Error(), "Card is Changed or Remove. (5035)");
}

TEST_F(Pin, ReaderTypeTwoHandsTheDialogTheCommandTemplate) {
  InsertCard({{kSelectPinFile, "90 00"}}, "Todos eCode Connectable 0");
  FakeReaderDialog dialog;
  core.SetReaderPinDialog(&dialog);
  Open("Todos eCode Connectable 0");
  core.props().NumberOf(Prop::ReaderType) = 2;
  EXPECT_EQ(core.VerifyPIN(u"9999"), 0);
  SetReaderName("Todos eCode Connectable II 0");
  EXPECT_EQ(core.VerifyPIN(u""), 0);
  EXPECT_EQ(core.ChangePIN(u"", u""), 0);
  ASSERT_EQ(dialog.requests.size(), 3u);

  const ReaderPinRequest& full = dialog.requests[0];
  EXPECT_EQ(full.caption, u"密碼認證");
  EXPECT_EQ(full.instruction, u"並依照字幕顯示需要按讀卡機上數字鍵輸入密碼並按");
  EXPECT_EQ(full.readerType, 2);
  EXPECT_EQ(Hex(full), "00200010" "08" "FFFFFFFFFFFFFFFF");  // Lc 08 and the block, no Le

  const ReaderPinRequest& pad = dialog.requests[1];
  EXPECT_EQ(Hex(pad), "80200010");  // no Lc, no Le

  const ReaderPinRequest& change = dialog.requests[2];
  EXPECT_EQ(change.caption, u"密碼變更");
  EXPECT_EQ(change.instruction, u"並依照字幕顯示需要按讀卡機上數字鍵輸入密碼並按");
  EXPECT_EQ(Hex(change), "00200010" "08" "F0F0F0F0F0F0F0F0");
  EXPECT_EQ(pcsc.ApduLog(), std::vector<std::string>{"00A4020002" "00C2"});  // the dialog sends the rest
}

TEST_F(Pin, ReaderTypeThreePassesThePins) {
  InsertCard({{kSelectPinFile, "90 00"}});
  FakeReaderDialog dialog;
  core.SetReaderPinDialog(&dialog);
  Open();
  core.props().NumberOf(Prop::ReaderType) = 3;
  EXPECT_EQ(core.VerifyPIN(u"1234"), 0);
  EXPECT_EQ(core.ChangePIN(u"1234", u"5678"), 0);
  ASSERT_EQ(dialog.requests.size(), 2u);
  EXPECT_EQ(dialog.requests[0].instruction, u"並依照字幕顯示需要按讀卡機上");
  EXPECT_EQ(dialog.requests[0].pin.value(), u"1234");
  EXPECT_FALSE(dialog.requests[0].change);
  EXPECT_EQ(dialog.requests[1].instruction, u"並依照字幕顯示需要按讀卡機上數字鍵輸入密碼並按");
  EXPECT_EQ(dialog.requests[1].pin.value(), u"1234");
  EXPECT_EQ(dialog.requests[1].newPin.value(), u"5678");
  EXPECT_TRUE(dialog.requests[1].change);
}

TEST_F(Pin, DialogEndCodesBecomeStatuses) {
  InsertCard();
  FakeReaderDialog dialog;
  core.SetReaderPinDialog(&dialog);
  Open();
  core.props().NumberOf(Prop::ReaderType) = 2;
  struct Case {
    int32_t end;
    int32_t status;
    const char* text;
  };
  for (const Case& c : {Case{2, 5036, "User Cancel to do Txn Tac. (5036)"},
                        Case{0x69F0, 5036, "User Cancel to do Txn Tac. (5036)"},
                        Case{1, 1, "Other Error! (1)"},
                        Case{0x6608, 5031, "PIN Error. (5031)"},
                        Case{-2146434967, 5035, "Card is Changed or Remove. (5035)"}}) {
    dialog.endCode = c.end;
    EXPECT_EQ(core.VerifyPIN(u""), c.status) << c.end;
    EXPECT_EQ(Error(), c.text);
  }
  EXPECT_FALSE(core.state().pinVerified);
  dialog.endCode = 0x9000;
  EXPECT_EQ(core.VerifyPIN(u""), 0);
  EXPECT_TRUE(core.state().pinVerified);

  core.SetReaderPinDialog(nullptr);  // no dialog available: not shown
  EXPECT_EQ(core.VerifyPIN(u""), -1);
  EXPECT_EQ(Error(), "Other Error! (ffffffff)");
}

}  // namespace
}  // namespace quilta::testing
