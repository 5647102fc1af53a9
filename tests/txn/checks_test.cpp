// What a transaction refuses, and in which order: each method's input checks stop it before
// any PIN, dialog or TAC command (after ReadBasicData); the reader type and the PIN are
// checked before any card command at all; the PIN proof does not carry over to another
// card; a swapped card is caught after the confirmation; a short TAC answer is no result.
#include <gtest/gtest.h>

#include <functional>

#include "testsupport/bank_session.h"
#include "tests/txn/txn_bench.h"

namespace quilta::txn::testing {
namespace {

using sim::TxnKind;
constexpr char kForeignAccount[] = "9999000011112222";

struct OrderCase {
  const char* what;
  Member member;
  TxnKind kind;
  std::function<void(sim::TxnRequest&, TxnBench&)> change;
  int32_t expected;
};

TEST(TxnChecks, InputsAreCheckedInEachMembersOrderBeforeAnythingIsConfirmed) {
  const OrderCase cases[] = {
      {"transfer: the account check comes before the bank check", &CAtmCore::DoTransferTAC,
       TxnKind::kTransfer,
       [](auto& r, auto&) { r.inBankNo = "0070000", r.accountNo = kForeignAccount; },
       status::kNoSuchAccount},
      {"NB transfer: no account check, so the bank check fails", &CAtmCore::DoNBTransferTAC,
       TxnKind::kTransfer,
       [](auto& r, auto&) { r.inBankNo = "0070000", r.accountNo = kForeignAccount; },
       status::kBadInBankNo},
      {"transfer: the checks come before the session key", &CAtmCore::DoTransferTAC,
       TxnKind::kTransfer,
       [](auto& r, auto& b) { r.accountNo = kForeignAccount, b.server.session().SetPlainKey("XTM4567890ABCDEF"); },
       status::kNoSuchAccount},
      {"transfer: a 13-digit Amount", &CAtmCore::DoTransferTAC, TxnKind::kTransfer,
       [](auto& r, auto&) { r.amount = "1234567890123"; }, status::kBadAmount},
      {"transfer: an Amount the dialog would show as 1", &CAtmCore::DoTransferTAC,
       TxnKind::kTransfer, [](auto& r, auto&) { r.amount = "1,000"; }, status::kBadAmount},
      {"tax: FeeType before PCode", &CAtmCore::DoPayTaxTAC, TxnKind::kPayTax,
       [](auto& r, auto&) { r.feeType = "1100", r.pCode = "253"; }, status::kBadFeeType},
      {"fee: the account check before FeeName", &CAtmCore::DoPayFeeTAC, TxnKind::kPayFee,
       [](auto& r, auto&) { r.feeName = "", r.accountNo = kForeignAccount; }, status::kNoSuchAccount},
      {"fee: FeeName once the account passed", &CAtmCore::DoPayFeeTAC, TxnKind::kPayFee,
       [](auto& r, auto&) { r.feeName = ""; }, status::kBadFeeName},
      {"fee: a session key that is not the bank's", &CAtmCore::DoPayFeeTAC, TxnKind::kPayFee,
       [](auto&, auto& b) { b.server.session().SetPlainKey("XTM4567890ABCDEF"); }, status::kNotBankServer},
      {"merchant: MerchantId before AccountNo", &CAtmCore::DoPayMoneyTAC, TxnKind::kPayMoney,
       [](auto& r, auto&) { r.merchantId = std::string(29, 'M'), r.accountNo = "008123450001234"; },
       status::kBadMerchantId},
      {"inquiry: FdChkCode first", &CAtmCore::DoInquiryTAC, TxnKind::kInquiry,
       [](auto& r, auto&) { r.fdChkCode = "C000000", r.accountNo = "008123450001234"; },
       status::kBadFdChkCode},
      {"inquiry: the session key comes before the account check", &CAtmCore::DoInquiryTAC,
       TxnKind::kInquiry,
       [](auto& r, auto& b) { r.accountNo = kForeignAccount, b.server.session().SetPlainKey("XTM4567890ABCDEF"); },
       status::kNotBankServer},
      {"inquiry: one digit off the card's account", &CAtmCore::DoInquiryTAC, TxnKind::kInquiry,
       [](auto& r, auto&) { r.accountNo = "0081234500012346"; }, status::kNoSuchAccount},
  };
  for (const OrderCase& c : cases) {
    SCOPED_TRACE(c.what);
    TxnBench b;
    b.Open(1);
    sim::TxnRequest request = b.server.Prepare(c.kind);
    c.change(request, b);
    b.Put(request);
    b.core.props().TextOf(Prop::TAC) = u"before";
    EXPECT_EQ((b.core.*c.member)(AsciiText(kPin)), c.expected) << b.core.errorText();
    EXPECT_EQ(b.Sent().size(), 12u) << "ReadBasicData and nothing else";
    EXPECT_TRUE(b.person.Windows().empty());
    EXPECT_EQ(b.core.props().TextOf(Prop::TAC), u"before");
  }
}

TEST(TxnChecks, ReaderTypeAndPinAreCheckedBeforeAnyCardCommand) {
  const Member members[] = {&CAtmCore::DoInquiryTAC,    &CAtmCore::DoAccessibleInquiryTAC,
                            &CAtmCore::DoTransferTAC,   &CAtmCore::DoNBTransferTAC,
                            &CAtmCore::DoAccessibleTransferTAC, &CAtmCore::DoPayTaxTAC,
                            &CAtmCore::DoPayFeeTAC,     &CAtmCore::DoPayMoneyTAC};
  struct Case {
    const char* what;
    int readerType;  // 0: SetReaderType never called; 4: put directly
    std::optional<Text> pin;
    int32_t expected;
  };
  const Case cases[] = {
      {"no reader type", 0, u"1234", status::kBadReaderType},
      {"reader type 4 put by the page", 4, u"1234", status::kBadReaderType},
      {"type 1 without a PIN", 1, std::nullopt, status::kBadParameter},
      {"type 1 with an empty PIN", 1, u"", status::kBadParameter},
      {"type 3 without a PIN", 3, std::nullopt, status::kBadParameter},
      {"type 1 with 17 characters", 1, u"12345678901234567", status::kBadParameter},
      {"type 3 with 17 characters", 3, u"12345678901234567", status::kBadParameter},
      {"type 3 with a PIN no block can hold", 3, u"12G4", status::kBadParameter},
  };
  for (const Case& c : cases) {
    for (Member m : members) {
      SCOPED_TRACE(c.what);
      TxnBench b;
      b.Open(c.readerType == 4 ? 0 : c.readerType);
      if (c.readerType == 4) b.core.PutInt(Prop::ReaderType, 4);
      b.Put(b.server.Prepare(TxnKind::kTransfer));
      EXPECT_EQ((b.core.*m)(c.pin), c.expected);
      EXPECT_TRUE(b.Sent().empty());
      EXPECT_TRUE(b.person.Windows().empty());
    }
  }
}

// The proof: VerifyPIN on an ordinary reader (type 1), or an inquiry with the PIN typed on
// the reader's pad (type 2). ConnectCard power-cycles the card, which forgets it either way.
TEST(TxnChecks, PinProofDoesNotCarryOverToAnotherCard) {
  for (int type : {1, 2}) {
    SCOPED_TRACE(type);
    TxnBench b;
    b.Open(type);
    EXPECT_EQ(b.core.ReadTACLog(), status::kPinNotVerified);
    EXPECT_EQ(b.core.DoLoginTAC(), status::kPinNotVerified);
    EXPECT_TRUE(b.Sent().empty());

    if (type == 1) {
      ASSERT_EQ(b.core.VerifyPIN(AsciiText(kPin)), 0);
    } else {
      b.Put(b.server.Prepare(TxnKind::kInquiry));
      ASSERT_EQ(b.core.DoInquiryTAC(std::nullopt), 0) << b.core.errorText();
    }
    sim::Profile other = sim::DefaultProfile();
    other.identity[0] = 0x77;
    b.pcsc.InsertCard(kReader, std::make_shared<sim::FiscCard>(other));
    ASSERT_EQ(b.core.ConnectCard(), 0);
    b.Put(b.server.Prepare(TxnKind::kLogin));
    b.pcsc.ClearLog();
    EXPECT_EQ(b.core.DoLoginTAC(), status::kPinNotVerified);
    EXPECT_EQ(b.core.errorText(), "PIN is not verifyed. (5033)");
    EXPECT_EQ(b.core.ReadTACLog(), status::kPinNotVerified);
    EXPECT_TRUE(b.Sent().empty());
  }
}

TEST(TxnChecks, CardSwappedAtTheConfirmationIsCaughtAfterThePinWasVerifiedOnTheNewCard) {
  TxnBench b;
  b.Open(1);
  sim::Profile otherProfile = sim::DefaultProfile();
  otherProfile.identity[15] = 0x99;
  auto other = std::make_shared<sim::FiscCard>(otherProfile);
  b.Put(b.server.Prepare(TxnKind::kPayTax));
  b.person.Wait(1).PullCard().Wait(1).Do([&] { b.pcsc.InsertCard(kReader, other); }).Wait(1).Ok();

  EXPECT_EQ(b.core.DoPayTaxTAC(AsciiText(kPin)), status::kCardChanged);
  EXPECT_EQ(b.core.errorText(), "Card is Changed or Remove. (5035)");
  EXPECT_TRUE(other->PinVerified());
  EXPECT_FALSE(b.Sent("00E21080"));
  EXPECT_TRUE(b.core.props().TextOf(Prop::TAC).empty());
}

// The card (or a reader in front of it) answers the TAC command with fewer than 19 bytes.
class ShortTacAnswer final : public platform::CardModel {
 public:
  explicit ShortTacAnswer(std::shared_ptr<platform::CardModel> card) : card_(std::move(card)) {}
  std::vector<uint8_t> Atr() const override { return card_->Atr(); }
  void PowerOn() override { card_->PowerOn(); }
  void PowerOff() override { card_->PowerOff(); }
  void Reset() override { card_->Reset(); }
  std::vector<uint8_t> Transmit(const uint8_t* apdu, size_t length) override {
    std::vector<uint8_t> answer = card_->Transmit(apdu, length);
    if (length > 1 && apdu[1] == 0xE2 && answer.size() == 21) answer.erase(answer.begin() + 18);
    return answer;
  }

 private:
  std::shared_ptr<platform::CardModel> card_;
};

TEST(TxnChecks, TacAnswerShorterThanNineteenBytesIsNoResult) {
  for (int type : {1, 2}) {
    SCOPED_TRACE(type);
    TxnBench b;
    b.pcsc.InsertCard(kReader, std::make_shared<ShortTacAnswer>(b.pad));
    b.Open(type);
    b.Put(b.server.Prepare(TxnKind::kInquiry));
    for (Prop p : {Prop::TAC, Prop::IccSeqNo, Prop::EncOutAccountNo, Prop::SessionTAC}) b.core.props().TextOf(p) = u"old";

    EXPECT_EQ(b.core.DoInquiryTAC(AsciiText(kPin)), static_cast<int32_t>(platform::scard::kCommDataLost));
    EXPECT_EQ(b.core.errorText(), "A communications error with the smart card has been detected. (8010002f)");
    EXPECT_TRUE(b.Sent("00E21080"));
    for (Prop p : {Prop::TAC, Prop::IccSeqNo, Prop::EncOutAccountNo, Prop::SessionTAC})
      EXPECT_EQ(b.core.props().TextOf(p), u"old");
    EXPECT_FALSE(b.core.state().readerPinDone);
  }
}

TEST(TxnChecks, AtmCodeChecksOnlyTheLengthsOfItsArguments) {
  TxnBench b;
  b.Open(1);
  b.core.Report(status::kCardChanged);
  EXPECT_EQ(b.core.GetAtmCode(u"1234567890", u"1234567890", u"1234567890"), 0);
  EXPECT_EQ(b.core.errorText(), "Card is Changed or Remove. (5035)") << "ErrorInfo untouched";
  EXPECT_EQ(b.core.GetAtmCode(u"1234567890", u"1", u"12345678901"), status::kBadParameter);
  EXPECT_EQ(b.core.errorText(), " para input error. (6002)");
  EXPECT_TRUE(b.Sent().empty());
}

}  // namespace
}  // namespace quilta::txn::testing
