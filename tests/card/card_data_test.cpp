#include "tests/card/card_fixture.h"

namespace quilta::testing {
namespace {

using CardData = CardFixture;

constexpr char kSelect1001[] = "00 A4 02 00 02 10 01";
constexpr char kSelect1002[] = "00 A4 02 00 02 10 02";
constexpr char kReadId[] = "00 B0 00 00 10";
constexpr char kId[] = "0102030405060708090A0B0C0D0E0F10";

std::string ReadRecord(int r) { return "00 B2 " + Hex({static_cast<uint8_t>(r)}) + " 04 00"; }

// A record of file 10 01 / 10 02: two unused bytes, then the fields.
std::string Record(const std::string& fieldsHex) { return "0000" + fieldsHex + "9000"; }

// The twelve commands of ReadBasicData with the given account fields (records 3..10).
std::vector<Step> BasicDataScript(const std::vector<std::string>& accountsHex,
                                  const std::string& remarkHex = std::string(60, 'C')) {
  std::vector<Step> s = {{kSelect1001, "9000"},
                         {ReadRecord(1), Record(AsciiHex("00812345"))},
                         {ReadRecord(2), Record(remarkHex)}};
  for (int r = 3; r <= 10; ++r) s.push_back({ReadRecord(r), Record(accountsHex[r - 3])});
  s.push_back({kReadId, std::string(kId) + "9000"});
  return s;
}

TEST_F(CardData, ReadBasicDataSendsTwelveCommandsAndFillsSlotsByPosition) {
  std::vector<std::string> accounts = {
      AsciiHex(std::string(16, ' ')),        // record 3: all blanks, unusable
      AsciiHex("0123456789012345"),          // record 4
      AsciiHex(std::string(16, '0')),        // all '0': unusable
      AsciiHex(std::string(15, '0') + "1"),  // usable
      std::string(32, '0'),                  // all zero bytes: unusable
      AsciiHex("        00000000"),          // a mixture: usable
      AsciiHex("1111222233334444"),
      AsciiHex("9999888877776666")};
  auto card = InsertCard(BasicDataScript(accounts, "00FF10" + std::string(54, '0')));
  Open();
  core.props().TextOf(Prop::MasterAccountNo) = u"earlier";

  EXPECT_EQ(core.ReadBasicData(), 0) << Error();
  EXPECT_TRUE(card->Finished()) << card->offScript.size();
  EXPECT_EQ(pcsc.Count("Transmit"), 12u);
  EXPECT_EQ(Text(Prop::IssuerBankNo), "00812345");
  EXPECT_EQ(Text(Prop::CardRemark), "00FF10" + std::string(54, '0'));
  EXPECT_EQ(Text(Prop::AccountNo0), "0000000000000000");
  EXPECT_EQ(Text(Prop::AccountNo1), "0123456789012345");
  EXPECT_EQ(Text(Prop::AccountNo2), "0000000000000000");
  EXPECT_EQ(Text(Prop::AccountNo3), "0000000000000001");
  EXPECT_EQ(Text(Prop::AccountNo4), "0000000000000000");
  EXPECT_EQ(Text(Prop::AccountNo5), "        00000000");
  EXPECT_EQ(Text(Prop::AccountNo6), "1111222233334444");
  EXPECT_EQ(Text(Prop::AccountNo7), "9999888877776666");
  EXPECT_EQ(core.props().NumberOf(Prop::AccountCount), 5);
  EXPECT_EQ(Text(Prop::MasterAccountNo), "earlier");  // record 3 unusable
  EXPECT_EQ(Text(Prop::CardNo), kId);
}

TEST_F(CardData, MasterAccountFollowsAUsableRecordThree) {
  std::vector<std::string> accounts(8, std::string(32, '0'));
  accounts[0] = AsciiHex("5555666677778888");
  InsertCard(BasicDataScript(accounts));
  Open();
  EXPECT_EQ(core.ReadBasicData(), 0);
  EXPECT_EQ(Text(Prop::MasterAccountNo), "5555666677778888");
  EXPECT_EQ(core.props().NumberOf(Prop::AccountCount), 1);
}

TEST_F(CardData, FailureAtRecordSevenKeepsWhatWasReadAndTheOldCount) {
  std::vector<std::string> all(8);
  for (int k = 0; k < 8; ++k) all[k] = AsciiHex(std::string(15, '1') + char('0' + k));
  std::vector<Step> first = BasicDataScript(all);
  std::vector<Step> second(first.begin(), first.begin() + 7);  // select, records 1..6
  second.push_back({ReadRecord(7), "6A 83"});
  first.insert(first.end(), second.begin(), second.end());
  InsertCard(first);
  Open();
  ASSERT_EQ(core.ReadBasicData(), 0);
  ASSERT_EQ(core.props().NumberOf(Prop::AccountCount), 8);

  EXPECT_EQ(core.ReadBasicData(), 27267);
  EXPECT_EQ(Error(), "Other Error! (6a83)");
  for (int k = 0; k < 4; ++k) EXPECT_EQ(Text(Prop::AccountNo0 + k), std::string(15, '1') + char('0' + k));
  for (int k = 4; k < 8; ++k) EXPECT_EQ(Text(Prop::AccountNo0 + k), "0000000000000000");
  EXPECT_EQ(core.props().NumberOf(Prop::AccountCount), 8);
}

TEST_F(CardData, CardPulledAtAnyCommandGivesTheMappedStatus) {
  std::vector<std::string> all(8, AsciiHex("1234567890123456"));
  for (int k = 1; k <= 12; ++k) {
    auto card = std::make_shared<ScriptedCard>(std::vector<Step>{{kSelectApp, "9000"}});
    card->Append(BasicDataScript(all));
    pcsc.InsertCard(kReader, card);
    Open();
    core.props().NumberOf(Prop::AccountCount) = 3;
    core.props().TextOf(Prop::CardNo) = u"before";
    pcsc.RemoveCardAtCommand(kReader, k);
    EXPECT_EQ(core.ReadBasicData(), 5035) << k;
    EXPECT_EQ(Error(), "Card is Changed or Remove. (5035)");
    EXPECT_EQ(core.props().NumberOf(Prop::AccountCount), 3);
    EXPECT_EQ(Text(Prop::CardNo), "before");
  }
}

// A read of several commands leaves ErrorInfo as reporting each command in turn did: the
// card's 66 02 keeps the text, which after an earlier command's 90 00 is the success text.
TEST_F(CardData, AcceptedLastAnswerKeepsTheSuccessTextOfTheCommandsBefore) {
  std::vector<std::string> all(8, AsciiHex("1234567890123456"));
  std::vector<Step> s = BasicDataScript(all);
  s.back().response = "66 02";
  InsertCard(s);
  Open();
  core.Report(status::kCardChanged);
  EXPECT_EQ(core.ReadBasicData(), 0);
  EXPECT_EQ(Error(), "Command successful. (0)");

  std::vector<Step> accepted = {{kSelect1002, "66 02"}};
  for (int r = 1; r <= 8; ++r) accepted.push_back({ReadRecord(r), "66 02"});
  InsertCard(accepted);
  Open();
  core.Report(status::kCardChanged);
  EXPECT_EQ(core.ReadAuthInAcctNo(), 0);
  EXPECT_EQ(Error(), "Card is Changed or Remove. (5035)");  // nothing wrote it
}

TEST_F(CardData, ShortRecordsAndAnIdentityWithoutStatusWordTakeNothing) {
  std::vector<Step> s = {{kSelect1001, "9000"},
                         {ReadRecord(1), "0000 3030 9000"},  // bank number cut short
                         {ReadRecord(2), "9000"}};
  for (int r = 3; r <= 10; ++r) s.push_back({ReadRecord(r), "0000 31 9000"});
  s.push_back({kReadId, std::string(kId) + "9000"});
  InsertCard(s);
  Open();
  core.props().TextOf(Prop::IssuerBankNo) = u"old bank";
  core.props().TextOf(Prop::CardRemark) = u"old remark";
  core.props().TextOf(Prop::CardNo) = u"old id";
  pcsc.TruncateResponseAt(12, 1);
  EXPECT_EQ(core.ReadBasicData(), static_cast<int32_t>(platform::scard::kCommDataLost));
  EXPECT_EQ(Text(Prop::IssuerBankNo), "old bank");
  EXPECT_EQ(Text(Prop::CardRemark), "old remark");
  EXPECT_EQ(Text(Prop::AccountNo0), "0000000000000000");
  EXPECT_EQ(Text(Prop::CardNo), "old id");
}

TEST_F(CardData, ReadAuthInAcctNoTakesBankAndAccount) {
  std::vector<Step> s = {{kSelect1002, "9000"}};
  for (int r = 1; r <= 8; ++r)
    s.push_back({ReadRecord(r), Record(AsciiHex("0081234" + std::to_string(r)) +
                                       AsciiHex("12345678901234" + std::to_string(10 + r)))});
  s.push_back({kSelect1002, "9000"});
  for (int r = 1; r <= 8; ++r)
    s.push_back({ReadRecord(r), r == 2 ? Record(AsciiHex("008123454444333322221111"))
                                       : Record(AsciiHex("00000000") + std::string(32, '0'))});
  auto card = InsertCard(s);
  Open();
  EXPECT_EQ(core.ReadAuthInAcctNo(), 0);
  EXPECT_EQ(core.props().NumberOf(Prop::AuthInCount), 8);
  EXPECT_EQ(Text(Prop::AuthInBankNo0), "00812341");
  EXPECT_EQ(Text(Prop::AuthInAccountNo7), "1234567890123418");

  EXPECT_EQ(core.ReadAuthInAcctNo(), 0);
  EXPECT_EQ(core.props().NumberOf(Prop::AuthInCount), 1);
  EXPECT_EQ(Text(Prop::AuthInBankNo0), "00000000");
  EXPECT_EQ(Text(Prop::AuthInAccountNo0), "0000000000000000");
  EXPECT_EQ(Text(Prop::AuthInBankNo1), "00812345");
  EXPECT_EQ(Text(Prop::AuthInAccountNo1), "4444333322221111");
  EXPECT_TRUE(card->Finished());
}

}  // namespace
}  // namespace quilta::testing
