// Every TAC member on every reader type, on the simulated card with the scripted customer:
// the exact commands the card receives, the dialogs the customer sees, and the outputs, which
// the bank-server simulator must accept (it rebuilds the block and recomputes the TAC with
// the card's key, and decrypts SessionTAC and EncOutAccountNo).
#include <gtest/gtest.h>

#include "tests/card/scripted_card.h"
#include "tests/txn/txn_bench.h"
#include "txn/policy_loan.h"

namespace quilta::txn::testing {
namespace {

using quilta::testing::AsciiHex;
using sim::TxnKind;

// The inputs, chosen so that every field is told apart in the block; the account is the
// card's first.
sim::TxnRequest Request(TxnKind kind, std::string pCode) {
  sim::TxnRequest r;
  r.kind = kind;
  r.pCode = std::move(pCode);
  r.fdId = "F0000001";
  r.fdChkCode = "C0000002";
  r.accountNo = "0081234500012345";
  r.inBankNo = "00700000";
  r.inAccountNo = "7000000012345678";
  r.amount = "1234567";
  r.serverDateTime = "20180104093015";
  r.feeType = "11001";
  r.feeName = "房屋稅";
  r.merchantId = "M23456789012345678901234567890";
  return r;
}

// The commands of ReadBasicData, the PIN and the application selection of ConnectCard.
const std::vector<std::string> kReadBasicData = {
    "00A40200021001", "00B2010400", "00B2020400", "00B2030400", "00B2040400", "00B2050400",
    "00B2060400", "00B2070400", "00B2080400", "00B2090400", "00B20A0400", "00B0000010"};
constexpr char kVerify1234[] = "00200010081234FFFFFFFFFFFF";
constexpr char kSelectApp[] = "00A4040008A00000017295000100";

struct MemberCase {
  const char* name;
  Member member;
  TxnKind kind;
  const char* simplePCode;    // the simple instruction dialog on types 2 and 3
  const char* detailPCode;    // the detailed one (nullptr: always simple)
  int32_t confirmTemplate;    // reader type 1: 0 none, 104 with keypad, 904, 9041
  const char* title;
  // The TAC command, written out field by field in the member's order.
  std::string tacCommand;
};

std::vector<MemberCase> Members() {
  const std::string common = "F0000001" "C0000002" "20180104093015";
  auto tac = [](const char* lc, const std::string& fields) {
    return std::string("00E21080") + lc + AsciiHex(fields) + "00";
  };
  const std::string amount = "000001234567" "00";  // Amount right-aligned in 12, then "00"
  const std::string transfer = tac("50", "2521" + amount + common + "7000000012345678" "0081234500012345");
  return {
      {"DoInquiryTAC", &CAtmCore::DoInquiryTAC, TxnKind::kInquiry, "2500", nullptr, 0, "餘額查詢",
       tac("1C", "2500" "C0000002" "0081234500012345")},
      {"DoAccessibleInquiryTAC", &CAtmCore::DoAccessibleInquiryTAC, TxnKind::kInquiry, "2500",
       nullptr, 0, "餘額查詢", tac("1C", "2500" "C0000002" "0081234500012345")},
      {"DoTransferTAC", &CAtmCore::DoTransferTAC, TxnKind::kTransfer, "2521", "2599", 104,
       "轉帳確認", transfer},
      {"DoNBTransferTAC", &CAtmCore::DoNBTransferTAC, TxnKind::kTransfer, "2521", "2599", 104,
       "轉帳確認", transfer},
      {"DoAccessibleTransferTAC", &CAtmCore::DoAccessibleTransferTAC, TxnKind::kTransfer, "2521",
       "2599", 9041, "轉帳確認", transfer},
      {"DoPayTaxTAC", &CAtmCore::DoPayTaxTAC, TxnKind::kPayTax, "2531", "2539", 904, "繳費稅確認",
       tac("55", "2531" + amount + common + "11001" "0081234500012345" "7000000012345678")},
      {"DoPayFeeTAC", &CAtmCore::DoPayFeeTAC, TxnKind::kPayFee, "2561", "2569", 904,
       "全國繳費稅確認", tac("40", "2561" + amount + common + "0081234500012345")},
      {"DoPayMoneyTAC", &CAtmCore::DoPayMoneyTAC, TxnKind::kPayMoney, "2541", "2549", 904,
       "購貨轉帳確認",
       tac("5E", "2541" + amount + common + "M23456789012345678901234567890" "0081234500012345")},
  };
}

TEST(TxnRoads, ReaderType1SendsExactlyTheMembersCommandsAndTheServerAcceptsTheResults) {
  for (const MemberCase& m : Members()) {
    SCOPED_TRACE(m.name);
    TxnBench b;
    b.Open(1);
    const sim::TxnRequest request = Request(m.kind, m.simplePCode);
    b.Put(request);
    if (m.confirmTemplate != 0) b.ConfirmsWithReinsert(m.confirmTemplate == 104 ? "678" : "");

    ASSERT_EQ((b.core.*m.member)(AsciiText(kPin)), 0) << b.core.errorText();

    std::vector<std::string> expected = kReadBasicData;
    if (m.confirmTemplate != 0) expected.push_back(kSelectApp);
    expected.push_back(kVerify1234);
    if (m.confirmTemplate != 0) expected.insert(expected.end(), kReadBasicData.begin(), kReadBasicData.end());
    expected.push_back(m.tacCommand);
    EXPECT_EQ(b.Sent(), expected);
    EXPECT_EQ(b.core.errorText(), "Command successful. (0)");

    const sim::Verdict verdict = b.server.Verify(request, b.Outputs());
    EXPECT_TRUE(verdict) << verdict.reason;
    EXPECT_EQ(b.Outputs().tac.size(), 16u);

    if (m.confirmTemplate == 0) {
      EXPECT_TRUE(b.person.Windows().empty());
      continue;
    }
    ASSERT_EQ(b.person.Windows().size(), 1u);
    const ui::ScriptedCustomer::Window& w = b.person.Last();
    EXPECT_EQ(w.templateNumber, m.confirmTemplate);
    EXPECT_EQ(ToUtf8(w.caption), m.title);
    EXPECT_EQ(ToUtf8(w.TextOf(ui::SummaryValueId(0))), "008/0081234500012345");
    EXPECT_EQ(ToUtf8(w.TextOf(ui::SummaryValueId(3))), "1,234,567");
    EXPECT_EQ(ToUtf8(w.TextOf(ui::SummaryLabelId(3))), "金    額");
  }
}

TEST(TxnRoads, PinPadReadersRunTheInstructionDialogChosenByPCode) {
  for (const MemberCase& m : Members()) {
    for (int type : {2, 3}) {
      for (const char* pCode : {m.simplePCode, m.detailPCode}) {
        if (!pCode) continue;
        const bool simple = pCode == m.simplePCode;
        SCOPED_TRACE(std::string(m.name) + " type " + std::to_string(type) + " PCode " + pCode);
        TxnBench b;
        b.Open(type);
        const sim::TxnRequest request = Request(m.kind, pCode);
        b.Put(request);

        ASSERT_EQ((b.core.*m.member)(type == 3 ? std::optional<Text>(AsciiText(kPin)) : std::nullopt), 0)
            << b.core.errorText();
        const sim::Verdict verdict = b.server.Verify(request, b.Outputs());
        EXPECT_TRUE(verdict) << verdict.reason;
        EXPECT_EQ(b.Sent().back(), std::string(m.tacCommand).replace(10, 8, AsciiHex(pCode)))
            << "the TAC command goes out as the dialog's last command";

        ASSERT_EQ(b.person.Windows().size(), 1u);
        const ui::ScriptedCustomer::Window& w = b.person.Last();
        const bool accessible = type == 2 && std::string(m.name).find("Accessible") != std::string::npos;
        EXPECT_EQ(w.templateNumber, simple ? (accessible ? 1051 : 105) : 106);
        std::string title = m.title;
        if (m.kind == TxnKind::kPayMoney && simple) title = type == 2 ? "購貨確認" : "轉帳確認";
        EXPECT_EQ(ToUtf8(w.caption), title);
        const std::string instruction =
            type == 3 ? "並  依  照  字  幕  顯  示  需  要  按  讀  卡  機  上"
                      : simple ? "並依照字幕顯示需要按讀卡機上數字鍵輸入密碼並按"
                               : "並依照字幕顯示需要按讀卡機上數字鍵輸入密";
        EXPECT_EQ(ToUtf8(w.TextOf(simple ? ui::kIdTxnInstruction : ui::kIdSummaryInstruction)), instruction);
        if (!simple) {
          EXPECT_EQ(ToUtf8(w.TextOf(ui::SummaryValueId(0))), "008/0081234500012345");
          EXPECT_EQ(ToUtf8(w.TextOf(ui::SummaryValueId(3))), "1,234,567");
        }
        EXPECT_EQ(b.core.state().readerPinDone, m.kind == TxnKind::kInquiry && type == 2);
      }
    }
  }
}

// What the detailed dialogs show in rows 2 and 3 (captions and values), per member.
TEST(TxnRoads, DetailedDialogRowsShowTheNationalYearAndTheMembersOwnFields) {
  struct Case {
    Member member;
    TxnKind kind;
    const char* pCode;
    const char* labels[2];
    const char* values[2];
  };
  const Case cases[] = {
      {&CAtmCore::DoTransferTAC, TxnKind::kTransfer, "2599", {"轉入帳號", "交易日期"},
       {"007/7000000012345678", "107/01/04 09:30:15"}},
      {&CAtmCore::DoPayTaxTAC, TxnKind::kPayTax, "2539", {"繳款類別", "銷帳編號"},
       {"11001", "7000000012345678"}},
      {&CAtmCore::DoPayFeeTAC, TxnKind::kPayFee, "2569", {"繳款類別", "銷帳編號"},
       {"房屋稅", "7000000012345678"}},
      {&CAtmCore::DoPayMoneyTAC, TxnKind::kPayMoney, "2549", {"特約商店", "交易日期"},
       {"M23456789012345678901234567890", "107/01/04 09:30:15"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pCode);
    TxnBench b;
    b.Open(2);
    b.Put(Request(c.kind, c.pCode));
    ASSERT_EQ((b.core.*c.member)(std::nullopt), 0) << b.core.errorText();
    const ui::ScriptedCustomer::Window& w = b.person.Last();
    for (int row = 1; row <= 2; ++row) {
      EXPECT_EQ(ToUtf8(w.TextOf(ui::SummaryLabelId(row))), c.labels[row - 1]);
      EXPECT_EQ(ToUtf8(w.TextOf(ui::SummaryValueId(row))), c.values[row - 1]);
    }
  }
}

// The reader-type-1 summaries: the full year, the tax dialog's FeeName, the merchant code.
TEST(TxnRoads, ConfirmationRowsShowTheFullYearAndTheMembersOwnFields) {
  struct Case {
    Member member;
    TxnKind kind;
    const char* pCode;
    const char* tail;
    const char* labels[2];
    const char* values[2];
  };
  const Case cases[] = {
      {&CAtmCore::DoTransferTAC, TxnKind::kTransfer, "2521", "678", {"轉入帳號", "交易日期"},
       {"007/7000000012345678", "2018/01/04 09:30:15"}},
      {&CAtmCore::DoPayTaxTAC, TxnKind::kPayTax, "2531", "", {"繳款類別", "銷帳編號"},
       {"房屋稅", "7000000012345678"}},
      {&CAtmCore::DoPayMoneyTAC, TxnKind::kPayMoney, "2541", "", {"特店代號", "交易日期"},
       {"M23456789012345678901234567890", "2018/01/04 09:30:15"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pCode);
    TxnBench b;
    b.Open(1);
    b.Put(Request(c.kind, c.pCode));
    b.ConfirmsWithReinsert(c.tail);
    ASSERT_EQ((b.core.*c.member)(AsciiText(kPin)), 0) << b.core.errorText();
    const ui::ScriptedCustomer::Window& w = b.person.Last();
    for (int row = 1; row <= 2; ++row) {
      EXPECT_EQ(ToUtf8(w.TextOf(ui::SummaryLabelId(row))), c.labels[row - 1]);
      EXPECT_EQ(ToUtf8(w.TextOf(ui::SummaryValueId(row))), c.values[row - 1]);
    }
  }
}

TEST(TxnRoads, LoginAfterThePinGivesTheSessionTextTheServerExpects) {
  TxnBench b;
  b.Open(1);
  ASSERT_EQ(b.core.VerifyPIN(AsciiText(kPin)), 0);
  b.pcsc.ClearLog();
  sim::TxnRequest login;
  login.kind = TxnKind::kLogin;
  b.Put(login);
  b.core.props().TextOf(Prop::TAC) = u"untouched";
  ASSERT_EQ(b.core.DoLoginTAC(), 0) << b.core.errorText();
  EXPECT_EQ(b.core.props().TextOf(Prop::SessionTAC).size(), 352u);
  const sim::Verdict verdict = b.server.Verify(login, b.Outputs());
  EXPECT_TRUE(verdict) << verdict.reason;
  EXPECT_EQ(b.Sent(), kReadBasicData);
  EXPECT_EQ(b.core.props().TextOf(Prop::TAC), u"untouched");
}

// A type-2 inquiry (the PIN typed on the reader) opens log-in and the TAC log, whose records
// the server recognises as the transactions it verified.
TEST(TxnRoads, ReaderPinInquiryOpensLoginAndTheTacLogHoldsTheVerifiedTransactions) {
  TxnBench b;
  b.Open(2);
  const sim::TxnRequest inquiry = Request(TxnKind::kInquiry, "2500");
  b.Put(inquiry);
  ASSERT_EQ(b.core.DoInquiryTAC(std::nullopt), 0) << b.core.errorText();
  const sim::TxnOutputs inquiryOut = b.Outputs();
  const sim::TxnRequest tax = Request(TxnKind::kPayTax, "2531");
  b.Put(tax);
  ASSERT_EQ(b.core.DoPayTaxTAC(std::nullopt), 0) << b.core.errorText();
  const sim::TxnOutputs taxOut = b.Outputs();

  sim::TxnRequest login;
  login.kind = TxnKind::kLogin;
  ASSERT_EQ(b.core.DoLoginTAC(), 0) << b.core.errorText();
  EXPECT_TRUE(b.server.Verify(login, b.Outputs()));

  b.pcsc.ClearLog();
  ASSERT_EQ(b.core.ReadTACLog(), 0) << b.core.errorText();
  EXPECT_EQ(b.Sent().front(), "00A40200021080");
  EXPECT_EQ(b.Sent().back(), "00B20A0400");
  EXPECT_EQ(b.Sent().size(), 11u);
  EXPECT_EQ(b.core.props().TextOf(Prop::TACLog0).size(), 60u);
  EXPECT_TRUE(b.server.VerifyTacLogRecord(ToNarrow(b.core.props().TextOf(Prop::TACLog0)), tax, taxOut));
  EXPECT_TRUE(b.server.VerifyTacLogRecord(ToNarrow(b.core.props().TextOf(Prop::TACLog1)), inquiry, inquiryOut));
}

// A card of issuer 95100000 pays from any account.
TEST(TxnRoads, IssuerOfOwnAccountsPaysFromAnyAccount) {
  sim::Profile profile = sim::DefaultProfile();
  profile.issuer = "95100000";
  TxnBench b(profile);
  b.Open(3);
  sim::TxnRequest request = Request(TxnKind::kPayTax, "2531");
  request.accountNo = "9999000011112222";
  b.Put(request);
  ASSERT_EQ(b.core.DoPayTaxTAC(AsciiText(kPin)), 0) << b.core.errorText();
  EXPECT_TRUE(b.server.Verify(request, b.Outputs()));
}

TEST(TxnRoads, PolicyLoanChecksBeforeTheCardAndConfirmsOnce) {
  const sim::TxnRequest request = Request(TxnKind::kTransfer, "2521");
  auto put = [&](TxnBench& b, const char* kind, const char* accountNo) {
    sim::TxnRequest r = request;
    r.accountNo = accountNo;
    b.Put(r);
    b.core.PutText(Prop::Kind, AsciiText(kind));
    b.core.PutText(Prop::AccountName, u"王小明");
    return r;
  };
  {
    SCOPED_TRACE("a loan from an account the card does not hold, confirmed");
    TxnBench b;
    b.Open(1);
    const sim::TxnRequest r = put(b, "1", "9999000011112222");
    b.ConfirmsWithReinsert();
    ASSERT_EQ(DoPolicyLoanTAC(b.core, AsciiText(kPin)), 0) << b.core.errorText();
    EXPECT_EQ(b.person.Last().templateNumber, 904);
    EXPECT_EQ(ToUtf8(b.person.Last().caption), "保單借款確認");
    EXPECT_TRUE(b.server.Verify(r, b.Outputs()));
  }
  {
    SCOPED_TRACE("no AccountName: nothing reaches the card");
    TxnBench b;
    b.Open(1);
    put(b, "1", "0081234500012345");
    b.core.PutText(Prop::AccountName, u"");
    EXPECT_EQ(DoPolicyLoanTAC(b.core, AsciiText(kPin)), status::kBadAccountName);
    EXPECT_TRUE(b.Sent().empty());
  }
  {
    SCOPED_TRACE("a repayment (Kind 2) checks the account after reading the card");
    TxnBench b;
    b.Open(1);
    put(b, "2", "9999000011112222");
    EXPECT_EQ(DoPolicyLoanTAC(b.core, AsciiText(kPin)), status::kNoSuchAccount);
    EXPECT_EQ(b.Sent(), kReadBasicData);
  }
  {
    SCOPED_TRACE("shown once: confirmed, but the card did not come back");
    TxnBench b;
    b.Open(1);
    put(b, "2", "0081234500012345");
    b.person.Wait(1).PullCard().Wait(1).InsertCard().Wait(1).PullCard().Ok();
    EXPECT_EQ(DoPolicyLoanTAC(b.core, AsciiText(kPin)), status::kCardNotConnected);
    EXPECT_EQ(b.person.Windows().size(), 1u);
    EXPECT_EQ(ToUtf8(b.person.Last().caption), "保單還款確認");
  }
}

}  // namespace
}  // namespace quilta::txn::testing
