// The card's on-line services that write under the bank's authorisation (SetCardActive,
// SetPinActive, SetCardData) and the challenge (DoActiveTAC): exact command conversations
// with a scripted card, the input checks that send nothing, the PC/SC results handed on
// as they are, and the whole road on the simulated card with the bank-server simulator
// supplying `Key` and `aPIN`.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "sim/bank_server.h"
#include "sim/fisc_card.h"
#include "tests/card/card_fixture.h"

namespace quilta::testing {
namespace {

constexpr char kKey[] = "1122334455667788";
constexpr char kNewPinBlock[] = "5678FFFFFFFFFFFF";
constexpr char kAuth[] = "00 82 00 18 08 11 22 33 44 55 66 77 88";
constexpr char kSelectPin[] = "00 A4 02 00 02 00 C2";
constexpr char kResetCounter[] = "00 2C 00 00 02 00 C2";
constexpr char kWritePin[] = "00 D2 01 04 08 56 78 FF FF FF FF FF FF";
constexpr char kOk[] = "90 00";

enum class Method { kSetCardActive, kSetPinActive, kSetCardData };
const char* NameOf(Method m) {
  switch (m) {
    case Method::kSetCardActive: return "SetCardActive";
    case Method::kSetPinActive: return "SetPinActive";
    case Method::kSetCardData: return "SetCardData";
  }
  return "?";
}

// Account lists the page writes in the scripted cases.
std::string AccountOf(int k) { return "00812345000" + std::to_string(10000 + k); }
std::string AuthInOf(int k) { return "00700000" + AccountOf(k); }

// The list write as the card must see it: SELECT 10 01, records 03..0A with the accounts,
// SELECT 10 02, records 01..08 with bank and account.
std::vector<Step> ListWrite(const std::string& answerOfLast = kOk) {
  std::vector<Step> s{{"00 A4 02 00 02 10 01", kOk}};
  for (int k = 0; k < 8; ++k)
    s.push_back({"00 D2 0" + std::string(1, "3456789A"[k]) + " 04 10 " + AsciiHex(AccountOf(k)), kOk});
  s.push_back({"00 A4 02 00 02 10 02", kOk});
  for (int k = 0; k < 8; ++k)
    s.push_back({"00 D2 0" + std::to_string(k + 1) + " 04 18 " + AsciiHex(AuthInOf(k)), kOk});
  s.back().response = answerOfLast;
  return s;
}

std::vector<Step> Join(std::vector<Step> a, const std::vector<Step>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

class CardWrites : public CardFixture {
 protected:
  void Put(Prop p, const std::string& v) { core.PutText(p, AsciiText(v)); }
  void PutLists() {
    for (int k = 0; k < 8; ++k) {
      Put(Prop::aAccountNo0 + k, AccountOf(k));
      Put(Prop::aAuthInAccountNo0 + k, AuthInOf(k));
    }
  }
  int32_t Run(Method m) {
    switch (m) {
      case Method::kSetCardActive: return core.SetCardActive();
      case Method::kSetPinActive: return core.SetPinActive();
      case Method::kSetCardData: return core.SetCardData();
    }
    return -1;
  }
};

TEST_F(CardWrites, CommandConversations) {
  struct Case {
    const char* name;
    Method method;
    const char* setData;
    std::vector<Step> script;  // after the application selection
    int32_t status;
    const char* errorInfo;
  };
  const std::vector<Case> cases = {
      {"PIN only", Method::kSetCardActive, "N",
       {{kAuth, kOk}, {kSelectPin, kOk}, {kWritePin, kOk}}, 0, "Command successful. (0)"},
      {"locked PIN: counter reset, file selected again", Method::kSetCardActive, "N",
       {{kAuth, kOk}, {kSelectPin, "66 20"}, {kResetCounter, kOk}, {kSelectPin, kOk}, {kWritePin, kOk}},
       0, "Command successful. (0)"},
      {"counter reset refused", Method::kSetCardActive, "N",
       {{kAuth, kOk}, {kSelectPin, "66 20"}, {kResetCounter, "69 82"}}, 0x6982, "Other Error! (6982)"},
      {"still locked after the reset", Method::kSetCardActive, "N",
       {{kAuth, kOk}, {kSelectPin, "66 20"}, {kResetCounter, kOk}, {kSelectPin, "66 20"}},
       5032, "FISC Card Locked (over error try 3 times). (5032)"},
      {"PIN and lists", Method::kSetCardActive, "Y",
       Join({{kAuth, kOk}, {kSelectPin, kOk}, {kWritePin, kOk}}, ListWrite()), 0, "Command successful. (0)"},
      {"lists only on exactly Y", Method::kSetCardActive, "y",
       {{kAuth, kOk}, {kSelectPin, kOk}, {kWritePin, kOk}}, 0, "Command successful. (0)"},
      {"SetPinActive writes no lists", Method::kSetPinActive, "Y",
       {{kAuth, kOk}, {kSelectPin, kOk}, {kWritePin, kOk}}, 0, "Command successful. (0)"},
      {"wrong key: nothing written", Method::kSetCardActive, "Y", {{kAuth, "63 00"}}, 0x6300,
       "Other Error! (6300)"},
      {"66 02 to the authentication ends the run with 0", Method::kSetCardData, "N",
       {{kAuth, "66 02"}}, 0, "User Cancel to do Txn Tac. (5036)"},
      {"a write fails part-way", Method::kSetCardData, "N",
       {{kAuth, kOk}, {"00 A4 02 00 02 10 01", kOk},
        {"00 D2 03 04 10 " + AsciiHex(AccountOf(0)), kOk},
        {"00 D2 04 04 10 " + AsciiHex(AccountOf(1)), "6A 83"}},
       0x6A83, "Other Error! (6a83)"},
      {"lists written, then read back", Method::kSetCardData, "N",
       Join(Join({{kAuth, kOk}}, ListWrite()), {{"00 A4 02 00 02 10 01", "69 82"}}), 0x6982,
       "Other Error! (6982)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    pcsc.RemoveCard(kReader);
    auto card = InsertCard(c.script);
    Open();
    Put(Prop::Key, kKey);
    Put(Prop::aPIN, kNewPinBlock);
    Put(Prop::aSetData, c.setData);
    PutLists();
    core.Report(status::kUserCancel);
    EXPECT_EQ(Run(c.method), c.status) << NameOf(c.method);
    EXPECT_EQ(Error(), c.errorInfo);
    EXPECT_TRUE(card->Finished()) << (card->offScript.empty() ? "steps left" : card->offScript[0]);
  }
}

TEST_F(CardWrites, InputsThatDoNotFitSendNothing) {
  struct Case {
    const char* name;
    Prop prop;
    std::u16string value;
    std::vector<Method> methods;  // the methods that read it
  };
  const std::vector<Method> all = {Method::kSetCardActive, Method::kSetPinActive, Method::kSetCardData};
  const std::vector<Method> pin = {Method::kSetCardActive, Method::kSetPinActive};
  const std::vector<Method> lists = {Method::kSetCardActive, Method::kSetCardData};
  const std::vector<Case> cases = {
      {"Key never put", Prop::Key, u"", all},
      {"Key of 15", Prop::Key, u"112233445566778", all},
      {"Key of 17", Prop::Key, u"11223344556677889", all},
      {"Key in lower case", Prop::Key, u"112233445566778a", all},
      {"Key not hex", Prop::Key, u"11223344556677G8", all},
      {"aPIN never put", Prop::aPIN, u"", pin},
      {"aPIN of 15", Prop::aPIN, u"5678FFFFFFFFFFF", pin},
      {"aPIN in lower case", Prop::aPIN, u"5678ffffffffffff", pin},
      {"aAccountNo0 of 15", Prop::aAccountNo0, u"008123450001234", lists},
      {"aAccountNo7 of 17", Prop::aAccountNo7, u"00812345000123456", lists},
      {"aAccountNo3 of 16 characters, 17 bytes", Prop::aAccountNo3, u"008123450001234\u5E33", lists},
      {"aAuthInAccountNo0 of 23", Prop::aAuthInAccountNo0, u"00700000008123450001234", lists},
      {"aAuthInAccountNo7 of 25", Prop::aAuthInAccountNo7, u"0070000000812345000123456", lists},
  };
  InsertCard();
  Open();
  for (const Case& c : cases) {
    for (Method m : c.methods) {
      SCOPED_TRACE(std::string(c.name) + " " + NameOf(m));
      Put(Prop::Key, kKey);
      Put(Prop::aPIN, kNewPinBlock);
      Put(Prop::aSetData, "Y");
      PutLists();
      core.PutText(c.prop, c.value);
      EXPECT_EQ(Run(m), 6002);
      EXPECT_EQ(Error(), " para input error. (6002)");
      EXPECT_EQ(pcsc.Count("Transmit"), 0u);
    }
  }
}

TEST_F(CardWrites, UnusedListsAreNotChecked) {
  auto card = InsertCard({{kAuth, kOk}, {kSelectPin, kOk}, {kWritePin, kOk}});
  Open();
  Put(Prop::Key, kKey);
  Put(Prop::aPIN, kNewPinBlock);
  Put(Prop::aAccountNo0, "short");
  EXPECT_EQ(core.SetCardActive(), 0);  // aSetData keeps its "N"
  EXPECT_TRUE(card->Finished());
}

TEST_F(CardWrites, FailedTransmitHandsOnThePcscResultAndKeepsErrorInfo) {
  struct Case {
    const char* name;
    std::function<int32_t()> run;
    std::vector<Step> answered;  // the commands before the card goes
  };
  const std::vector<Case> cases = {
      {"DoActiveTAC", [this] { return core.DoActiveTAC(); }, {}},
      {"SetPinActive at the authentication", [this] { return core.SetPinActive(); }, {}},
      {"SetPinActive at the PIN file", [this] { return core.SetPinActive(); }, {{kAuth, kOk}}},
      {"SetCardData at a record", [this] { return core.SetCardData(); },
       {{kAuth, kOk}, {"00 A4 02 00 02 10 01", kOk}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    pcsc.RemoveCard(kReader);
    InsertCard(c.answered);
    Open();
    Put(Prop::Key, kKey);
    Put(Prop::aPIN, kNewPinBlock);
    PutLists();
    core.Report(status::kUserCancel);
    pcsc.RemoveCardAtCommand(kReader, static_cast<int>(c.answered.size()) + 1);
    // The last text written stays: the previous status, or the last command that answered.
    const std::string expected =
        c.answered.empty() ? "User Cancel to do Txn Tac. (5036)" : "Command successful. (0)";
    EXPECT_EQ(c.run(), static_cast<int32_t>(platform::scard::kRemovedCard));
    EXPECT_EQ(Error(), expected);
  }
}

TEST_F(CardWrites, ChallengeAnswers) {
  struct Case {
    const char* answer;
    int32_t status;
    const char* randomNo;  // after the call (it starts empty)
  };
  const std::vector<Case> cases = {
      {"01 02 03 04 05 06 A7 F8 90 00", 0, "010203040506A7F8"},
      {"6A 86", 0x6A86, ""},
      // Success without 8 challenge bytes gives no challenge.
      {"66 02", static_cast<int32_t>(platform::scard::kCommDataLost), ""},
      {"01 02 03 04 90 00", static_cast<int32_t>(platform::scard::kCommDataLost), ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.answer);
    pcsc.RemoveCard(kReader);
    auto card = InsertCard({{"00 86 00 00 08", c.answer}});
    Open();
    core.props().TextOf(Prop::RandomNo).clear();
    EXPECT_EQ(core.DoActiveTAC(), c.status);
    EXPECT_EQ(Text(Prop::RandomNo), c.randomNo);
    EXPECT_TRUE(card->Finished());
  }
}

// ---- On the simulated card, with the bank's server supplying Key and aPIN ----

class CardWritesOnSimulator : public CardFixture {
 protected:
  void Insert(sim::Profile profile) {
    card = std::make_shared<sim::FiscCard>(profile);
    server.emplace(profile);
    pcsc.InsertCard(kReader, card);
    Open();
  }
  void Put(Prop p, const std::string& v) { core.PutText(p, AsciiText(v)); }

  std::shared_ptr<sim::FiscCard> card;
  std::optional<sim::BankServer> server;
};

TEST_F(CardWritesOnSimulator, ChallengeKeyActivatesTheCardWithNewPinAndLists) {
  sim::Profile profile = sim::DefaultProfile();
  profile.authMode = sim::AuthMode::kChallenge;
  Insert(profile);

  ASSERT_EQ(core.DoActiveTAC(), 0) << Error();
  const std::string randomNo = Text(Prop::RandomNo);
  ASSERT_EQ(randomNo.size(), 16u);
  Put(Prop::Key, server->ExternalAuthKey(randomNo).value());
  Put(Prop::aPIN, sim::BankServer::PinBlockHex("5678"));
  Put(Prop::aSetData, "Y");
  Put(Prop::aAccountNo0, "0081234500099991");
  Put(Prop::aAuthInAccountNo0, "007000000070000011112222");
  ASSERT_EQ(core.SetCardActive(), 0) << Error();

  EXPECT_EQ(card->StoredPinBlock(), sim::PinBlockOf("5678"));
  ASSERT_EQ(core.ReadBasicData(), 0);
  EXPECT_EQ(Text(Prop::AccountNo0), "0081234500099991");
  EXPECT_EQ(core.props().NumberOf(Prop::AccountCount), 1);  // the other slots were written as 16 '0'
  ASSERT_EQ(core.ReadAuthInAcctNo(), 0);
  EXPECT_EQ(Text(Prop::AuthInBankNo0), "00700000");
  EXPECT_EQ(Text(Prop::AuthInAccountNo0), "0070000011112222");
  EXPECT_EQ(core.VerifyPIN(u"5678"), 0);

  // The answer to a used challenge opens nothing.
  Put(Prop::aPIN, sim::BankServer::PinBlockHex("1111"));
  EXPECT_EQ(core.SetPinActive(), 0x6300);
  EXPECT_EQ(card->StoredPinBlock(), sim::PinBlockOf("5678"));
}

TEST_F(CardWritesOnSimulator, LockedPinIsResetAndReplaced) {
  sim::Profile profile = sim::DefaultProfile();
  profile.pinTries = 0;
  Insert(profile);
  EXPECT_EQ(core.VerifyPIN(u"1234"), 5032);

  Put(Prop::Key, server->ExternalAuthKey("").value());
  Put(Prop::aPIN, sim::BankServer::PinBlockHex("2468"));
  ASSERT_EQ(core.SetPinActive(), 0) << Error();
  EXPECT_EQ(card->PinTriesLeft(), sim::kMaxPinTries);
  EXPECT_EQ(core.VerifyPIN(u"2468"), 0);
}

TEST_F(CardWritesOnSimulator, SetCardDataWithDefaultInputsClearsBothLists) {
  Insert(sim::DefaultProfile());
  Put(Prop::Key, server->ExternalAuthKey("").value());
  ASSERT_EQ(core.SetCardData(), 0) << Error();

  for (int r = 3; r <= 10; ++r) {
    auto rec = card->Record(fisc::kFileAccounts, r);
    ASSERT_TRUE(rec);
    EXPECT_EQ(std::string(rec->begin() + 2, rec->end()), std::string(16, '0')) << r;
  }
  for (int r = 1; r <= 8; ++r) {
    auto rec = card->Record(fisc::kFileRegistered, r);
    ASSERT_TRUE(rec);
    EXPECT_EQ(std::string(rec->begin() + 2, rec->end()), std::string(24, '0')) << r;
  }
  // Read back by the method itself.
  EXPECT_EQ(core.props().NumberOf(Prop::AccountCount), 0);
  EXPECT_EQ(core.props().NumberOf(Prop::AuthInCount), 0);
}

}  // namespace
}  // namespace quilta::testing
