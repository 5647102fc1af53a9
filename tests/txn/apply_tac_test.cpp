// DoApplyTAC on the simulated card through the in-process virtual reader, with the bank's
// server preparing the inputs and verifying TAC, EncID and SessionTAC, and the scripted
// customer at the dialogs: every reader road with its dialog, the input checks that stop
// before any TAC command, and how each dialog outcome reads.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/hex.h"
#include "testsupport/virtual_pcsc.h"
#include "sim/bank_server.h"
#include "sim/fisc_card.h"
#include "sim/page_io.h"
#include "sim/pinpad_reader.h"
#include "ui/dialogs.h"
#include "testsupport/scripted_customer.h"

namespace quilta {
namespace {

constexpr char kPlainReader[] = "Sim Reader 0";
constexpr char kPadReader[] = "Sim PinPad 0";
constexpr char kSimpleDialogReader[] = "Todos eCode Connectable II 00 00";
constexpr char kServerTime[] = "20180104093015";
const Text kShownDate = u"2018/01/04 09:30:15";
const Text kShownId = u"A123456789      ";
const Text kShownTel = u"0912345678";

struct ApplyBench {
  ApplyBench(const char* readerName, int readerType, bool pinPad) : reader(readerName) {
    card = std::make_shared<sim::FiscCard>(profile);
    if (pinPad) pad = std::make_shared<sim::PinPadReader>(card);
    inReader = pad ? std::static_pointer_cast<platform::CardModel>(pad) : card;
    pcsc.InsertCard(reader, inReader);
    person.onCard = [this](bool in) {
      if (in) pcsc.InsertCard(reader, inReader);
      else pcsc.RemoveCard(reader);
    };
    core.channel().pcsc = &pcsc;
    core.channel().sleeper = &sleeper;
    EXPECT_EQ(core.ConnectDriver(), 0);
    core.PutText(Prop::ReaderName, AsciiText(reader));
    EXPECT_EQ(core.ConnectCard(), 0) << core.errorText();
    if (readerType >= 1 && readerType <= 3)
      EXPECT_EQ(core.SetReaderType(AsciiText(std::to_string(readerType))), 0);
    else
      core.PutInt(Prop::ReaderType, readerType);  // 0: SetReaderType never called
    server.SetDateTime(kServerTime);
    request = server.Prepare(sim::TxnKind::kApply);
  }

  // The page's writes for the request; an empty ID or CTelNo is never put.
  void Write() {
    for (const sim::PageInput& in : server.PageInputs(request)) {
      if ((in.property == "ID" || in.property == "CTelNo") && in.value.empty()) continue;
      if (in.property == "ApplyType") {
        core.PutInt(Prop::ApplyType, std::stoi(in.value));
        continue;
      }
      Prop p;
      ASSERT_TRUE(FindProp(in.property, &p)) << in.property;
      core.PutText(p, FromUtf8(in.value));
    }
  }

  int32_t Run(const std::optional<Text>& pin = u"1234") {
    Write();
    pcsc.ClearLog();
    return core.DoApplyTAC(pin);
  }

  // The TAC command the card must receive for the request: 00 E2 10 80 34 <block> 00.
  std::string ExpectedTacCommand() const {
    const auto block = server.ExpectedBlock(request).value();
    return "00E2108034" + BytesToHex(block.data(), block.size()) + "00";
  }

  bool SentAny(const std::string& prefix) const {
    for (const std::string& apdu : pcsc.ApduLog())
      if (apdu.rfind(prefix, 0) == 0) return true;
    return false;
  }

  std::string reader;
  sim::Profile profile = sim::DefaultProfile();
  std::shared_ptr<sim::FiscCard> card;
  std::shared_ptr<sim::PinPadReader> pad;
  std::shared_ptr<platform::CardModel> inReader;
  platform::VirtualPcsc pcsc;
  platform::VirtualSleeper sleeper;
  CAtmCore core;
  ui::ScriptedCustomer person;
  ui::ScopedDialogEnv env{&person};
  sim::BankServer server{profile};
  sim::TxnRequest request;
};

void TakeCardOutAndBackAndConfirm(ui::ScriptedCustomer& person) {
  person.Wait(1).PullCard().Wait(1).InsertCard().Wait(1).Ok();
}

TEST(DoApplyTAC, EveryReaderRoadGivesResultsTheBankVerifies) {
  struct Road {
    const char* name;
    int readerType;
    const char* reader;
    bool pinPad;
    int applyType;
    const char* cTelNo;        // "" : never put, the block ends with ten blanks
    int32_t templateNumber;
    const char16_t* title;
    bool telephoneRow;
    const char* verify;        // the VERIFY the card receives before the TAC command
  };
  const char* kPageVerify = "00200010081234FFFFFFFFFFFF";
  const char* kPadVerify = "0020001008FFFFFFFFFFFFFFFF";
  const std::vector<Road> roads = {
      {"plain reader, two rows", 1, kPlainReader, false, 1, "0912345678", 204, u"晶片卡申請網銀", false, kPageVerify},
      {"plain reader, three rows", 1, kPlainReader, false, 3, "0912345678", 203,
       u"網銀非約定帳號轉帳功能之申請/註銷", true, kPageVerify},
      {"plain reader, reader type never set", 0, kPlainReader, false, 1, "0912345678", 204, u"晶片卡申請網銀",
       false, kPageVerify},
      {"plain reader, reader type 4 put by the page", 4, kPlainReader, false, 3, "0912345678", 203,
       u"網銀非約定帳號轉帳功能之申請/註銷", true, kPageVerify},
      {"plain reader, reader type -1 put by the page", -1, kPlainReader, false, 2, "0912345678", 204,
       u"解除網銀密碼鎖定之線上申請", false, kPageVerify},
      {"pad, two rows", 2, kPadReader, true, 2, "0912345678", 208, u"解除網銀密碼鎖定之線上申請", false, kPadVerify},
      {"pad, three rows", 2, kPadReader, true, 4, "0912345678", 207, u"網銀非約定帳號轉帳", true, kPadVerify},
      {"pad of its own dialog", 2, kSimpleDialogReader, true, 1, "0912345678", 105, u"晶片卡申請網銀", false, nullptr},
      {"page PIN on the pad, two rows", 3, kPadReader, true, 1, "0912345678", 205, u"晶片卡申請網銀", false, kPageVerify},
      {"page PIN on the pad, three rows, no telephone", 3, kPadReader, true, 7, "", 206, u"晶片卡轉帳", true,
       kPageVerify},
  };
  for (const Road& road : roads) {
    SCOPED_TRACE(road.name);
    ApplyBench b(road.reader, road.readerType, road.pinPad);
    b.request.applyType = road.applyType;
    b.request.cTelNo = road.cTelNo;
    if (!road.pinPad) TakeCardOutAndBackAndConfirm(b.person);

    ASSERT_EQ(b.Run(), 0) << b.core.errorText();
    const sim::Verdict verdict = b.server.Verify(b.request, sim::PageOutputs(b.core));
    EXPECT_TRUE(verdict) << verdict.reason;

    const std::vector<std::string> sent = b.pcsc.ApduLog();
    EXPECT_EQ(sent.back(), b.ExpectedTacCommand());
    if (road.verify) {
      EXPECT_TRUE(b.SentAny(road.verify));
    }
    if (road.cTelNo[0] == '\0') {
      EXPECT_TRUE(sent.back().ends_with("20202020202020202020" "00"));  // ten blanks, then Le
    }

    ASSERT_EQ(b.person.Windows().size(), 1u);
    const ui::ScriptedCustomer::Window& w = b.person.Windows()[0];
    EXPECT_EQ(w.templateNumber, road.templateNumber);
    EXPECT_EQ(w.caption, road.title);
    if (road.templateNumber == 105) {
      EXPECT_EQ(w.TextOf(ui::kIdTxnInstruction), u"並依照字幕顯示需要按讀卡機上數字鍵輸入密碼並按");
      continue;
    }
    const Text tel = road.cTelNo[0] ? kShownTel : Text(10, u' ');
    const std::vector<Text> labels = road.telephoneRow ? std::vector<Text>{u"身分證號", u"手機號碼", u"交易日期"}
                                                       : std::vector<Text>{u"身分證號", u"交易日期"};
    const std::vector<Text> values = road.telephoneRow ? std::vector<Text>{kShownId, tel, kShownDate}
                                                       : std::vector<Text>{kShownId, kShownDate};
    for (size_t i = 0; i < labels.size(); ++i) {
      EXPECT_EQ(w.TextOf(ui::SummaryLabelId(static_cast<int>(i))), labels[i]) << i;
      EXPECT_EQ(w.TextOf(ui::SummaryValueId(static_cast<int>(i))), values[i]) << i;
    }
  }
}

TEST(DoApplyTAC, InputChecksStopBeforeAnyPinOrTacCommand) {
  struct Case {
    const char* name;
    std::function<void(ApplyBench&)> spoil;  // after the page's writes
    std::optional<Text> pin;
    int readerType;
    int32_t status;
    const char* errorInfo;
    bool cardRead;  // ReadBasicData ran (the checks come after it)
  };
  auto put = [](Prop p, const char* v) { return [p, v](ApplyBench& b) { b.core.props().TextOf(p) = AsciiText(v); }; };
  auto none = [](ApplyBench&) {};
  const std::vector<Case> cases = {
      {"no PIN on reader type 1", none, std::nullopt, 1, 6002, " para input error. (6002)", false},
      {"reader type never set and no PIN", none, std::nullopt, 0, 6002, " para input error. (6002)", false},
      {"PIN of 17 on reader type 3", none, u"12345678901234567", 3, 6002, " para input error. (6002)", false},
      {"FdChkCode of 7", put(Prop::FdChkCode, "1234567"), u"1234", 1, 5045, " FdChkCode is not valid. (5045)", true},
      {"FdChkCode before PCode", [](ApplyBench& b) {
         b.core.props().TextOf(Prop::FdChkCode) = u"1";
         b.core.props().TextOf(Prop::PCode) = u"1";
       }, u"1234", 1, 5045, " FdChkCode is not valid. (5045)", true},
      {"PCode of 5", put(Prop::PCode, "25900"), u"1234", 1, 5047, " PCode is not valid. (5047)", true},
      {"ServerDateTime of 13", put(Prop::ServerDateTime, "2018010409301"), u"1234", 1, 5052,
       " ServerDateTime is not valid. (5052)", true},
      {"ID never put", put(Prop::ID, ""), u"1234", 1, 6001, "Other Error! (1771)", true},
      {"CTelNo of 9", put(Prop::CTelNo, "091234567"), u"1234", 1, 6002, " para input error. (6002)", true},
      {"SessionKey of 31", put(Prop::SessionKey, "0123456789ABCDEF0123456789ABCDE"), u"1234", 1, 5043,
       " SessionKey is not valid. (5043)", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ApplyBench b(kPadReader, c.readerType, true);
    b.Write();
    c.spoil(b);
    b.pcsc.ClearLog();
    EXPECT_EQ(b.core.DoApplyTAC(c.pin), c.status);
    EXPECT_EQ(b.core.errorText(), c.errorInfo);
    EXPECT_EQ(b.SentAny("00A40200021001"), c.cardRead);
    EXPECT_FALSE(b.SentAny("002000"));
    EXPECT_FALSE(b.SentAny("00E2"));
    EXPECT_TRUE(b.person.Windows().empty());
    EXPECT_TRUE(b.core.props().TextOf(Prop::TAC).empty());
    EXPECT_TRUE(b.core.props().TextOf(Prop::EncID).empty());
  }
}

TEST(DoApplyTAC, DialogOutcomes) {
  struct Case {
    const char* name;
    int readerType;
    const char* reader;
    bool pinPad;
    std::function<void(ApplyBench&)> customer;
    int32_t status;
    const char* errorInfo;
    std::optional<Text> pin = u"1234";
  };
  auto pad = [](sim::PinPadAction action, const char* pin = "1234") {
    return [action, pin](ApplyBench& b) { b.pad->SetSettings({action, pin, "5678"}); };
  };
  const std::vector<Case> cases = {
      {"confirmation cancelled", 1, kPlainReader, false, [](ApplyBench& b) { b.person.Wait(2).Cancel(); },
       5036, "User Cancel to do Txn Tac. (5036)"},
      {"confirmation timed out", 1, kPlainReader, false, [](ApplyBench&) {}, 5037,
       "User confirm time out (2nd gen reader input pin). (5037)"},
      {"confirmation cannot be shown: not shown again", 1, kPlainReader, false,
       [](ApplyBench& b) { b.person.noDisplay = true; }, 5036, "User Cancel to do Txn Tac. (5036)"},
      {"another card put back", 1, kPlainReader, false,
       [](ApplyBench& b) {
         sim::Profile other = sim::DefaultProfile();
         other.identity[15] = 0x99;
         auto swapped = std::make_shared<sim::FiscCard>(other);
         b.person.Wait(1).PullCard().Wait(1).Do([&b, swapped] { b.pcsc.InsertCard(b.reader, swapped); })
             .Wait(1).Ok();
       },
       5035, "Card is Changed or Remove. (5035)"},
      {"Esc at the instruction", 2, kPadReader, true, [](ApplyBench& b) { b.person.Esc(); }, 5036,
       "User Cancel to do Txn Tac. (5036)"},
      {"pad time-out", 2, kPadReader, true, pad(sim::PinPadAction::kTimeout), 5037,
       "User confirm time out (2nd gen reader input pin). (5037)"},
      {"pad cancel key", 2, kPadReader, true, pad(sim::PinPadAction::kCancel), 0x6401, "Other Error! (6401)"},
      {"wrong PIN on the pad", 2, kPadReader, true, pad(sim::PinPadAction::kEnterPin, "9999"), 5031,
       "PIN Error. (5031)"},
      {"wrong PIN from the page", 3, kPadReader, true, [](ApplyBench&) {}, 5031, "PIN Error. (5031)",
       u"5555"},
      {"instruction cannot be shown", 3, kPadReader, true, [](ApplyBench& b) { b.person.noDisplay = true; }, -1,
       "Other Error! (ffffffff)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ApplyBench b(c.reader, c.readerType, c.pinPad);
    b.request.applyType = 3;
    c.customer(b);
    EXPECT_EQ(b.Run(c.pin), c.status);
    EXPECT_EQ(b.core.errorText(), c.errorInfo);
    EXPECT_FALSE(b.SentAny("00E2"));
    EXPECT_TRUE(b.core.props().TextOf(Prop::TAC).empty());
    EXPECT_TRUE(b.core.props().TextOf(Prop::EncID).empty());
  }
}

}  // namespace
}  // namespace quilta
