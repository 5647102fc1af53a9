#include <gtest/gtest.h>

#include "base/status.h"

namespace quilta {
namespace {

struct Case {
  int64_t code;
  int32_t status;
  const char* text;
};

int32_t C(int64_t v) { return static_cast<int32_t>(static_cast<uint32_t>(v)); }

TEST(MapStatus, EveryRowFamily) {
  const Case cases[] = {
      {0, 0, "Command successful. (0)"},
      {36864, 0, "Command successful. (0)"},
      {6, 5021, "Card is not connect (139d)"},
      {5021, 5021, "Card is not connect (139d)"},
      {23, 5036, "User Cancel to do Txn Tac. (5036)"},
      {27120, 5036, "User Cancel to do Txn Tac. (5036)"},
      {5003, 5003, "Illegal Access Component. (5003)"},
      {5004, 5004, "IE Url No Support! (5004)"},
      {26120, 5031, "PIN Error. (5031)"},
      {26144, 5032, "FISC Card Locked (over error try 3 times). (5032)"},
      {26128, 5033, "PIN is not verifyed. (5033)"},
      {5034, 5034, "Web Server is not Bank's (check 'ATM'). (5034)"},
      {5035, 5035, "Card is Changed or Remove. (5035)"},
      {5037, 5037, "User confirm time out (2nd gen reader input pin). (5037)"},
      {5038, 5038, "No this AccountNo. (5038)"},
      {5041, 5041, "ReaderName is not valid. (5041)"},
      {5042, 5042, "ReaderType is not valid. (5042)"},
      {5043, 5043, " SessionKey is not valid. (5043)"},
      {5048, 5048, " AgentBankNo is not valid. (5048)"},
      {5053, 5053, " FeeType  is not valid. (5053)"},
      {5057, 5057, " MerchantId is not valid. (5057)"},
      {6002, 6002, " para input error. (6002)"},
      {6001, 6001, "Other Error! (1771)"},
      {5011, 5011, "Other Error! (1393)"},
      {5060, 5060, "Other Error! (13c4)"},
      {27266, 27266, "Other Error! (6a82)"},
      {1, 1, "Other Error! (1)"},
      {C(0x80100003), C(0x80100003), "The supplied handle was invalid. (80100003)"},
      {C(0x80100009), 5012, "No this reader. (5012)"},
      {C(0x8010000B), 5014, " Card is already connect and locked. (5014)"},
      {C(0x8010001D), 5001, "no pc/sc reader driver installed. (5001)"},
      {C(0x8010002E), 5002, "no pc/sc reader plugged in. (138a)"},
      {C(0x80100069), 5035, "Card is Changed or Remove. (5035)"},
      {C(0x80100067), C(0x80100067), "Other Error! (80100067)"},
      {C(0x80100030), C(0x80100030), "Other Error! (80100030)"},
      {C(0x8010006E), C(0x8010006E), "The action was canceled by the user. (8010006e)"},
      {-1, -1, "Other Error! (ffffffff)"},
  };
  for (const auto& c : cases) {
    std::string text;
    EXPECT_EQ(MapStatus(static_cast<int32_t>(c.code), &text), c.status) << c.code;
    EXPECT_EQ(text, c.text) << c.code;
  }
}

TEST(MapStatus, RemappingIsStableExceptForPcscOnlyCodes) {
  for (int32_t code : {0, 5021, 5031, 5032, 5033, 5035, 5036, 5043, 6002, 27266}) {
    std::string first, second;
    int32_t s = MapStatus(code, &first);
    EXPECT_EQ(MapStatus(s, &second), s);
    EXPECT_EQ(first, second);
  }
  std::string text;
  EXPECT_EQ(MapStatus(5002, &text), 5002);
  EXPECT_EQ(text, "Other Error! (138a)");
}

TEST(MapStatus, LongestTextFitsTheBuffer) {
  std::string text;
  MapStatus(C(0x8010006C), &text);
  EXPECT_LT(text.size(), kErrorTextSize);
  EXPECT_EQ(text,
            "The card cannot be accessed because the maximum number of PIN entry attempts has "
            "been reached. (8010006c)");
}

// The status path: each kind of outcome reaches the page through one conversion, and only
// ErrorInfo::Report writes the text.
TEST(StatusPath, EachKindOfOutcomeReadsAsThePageExpects) {
  struct Case {
    Outcome outcome;
    int32_t status;
    const char* text;  // nullptr: ErrorInfo keeps its text
  };
  const Case cases[] = {
      {Outcome::Own(status::kBadParameter), 6002, " para input error. (6002)"},
      {Outcome::Pcsc(0x80100069u), 5035, "Card is Changed or Remove. (5035)"},
      {Outcome::Pcsc(0), 0, "Command successful. (0)"},
      {Outcome::Card(0x9000), 0, "Command successful. (0)"},
      {Outcome::Card(0x6608), 5031, "PIN Error. (5031)"},
      {Outcome::Card(0x6A82), 27266, "Other Error! (6a82)"},
      {Outcome::Card(0x6602, true), 0, nullptr},
      {Outcome::Dialog(dialog_end::kCancel, DialogRule::CancelIs5036), 5036, "User Cancel to do Txn Tac. (5036)"},
      {Outcome::Dialog(dialog_end::kCancel, DialogRule::Table), 2, "Other Error! (2)"},
      {Outcome::Dialog(0x9000, DialogRule::CancelIs5036), 0, "Command successful. (0)"},
      {Outcome::Dialog(status::kConfirmTimeout, DialogRule::CancelIs5036), 5037,
       "User confirm time out (2nd gen reader input pin). (5037)"},
      {Outcome::Own(status::kCardNotInserted), 5013, "Fisc card is not inserted. (5013)"},
  };
  for (const Case& c : cases) {
    ErrorInfo info;
    info.Report(Outcome::Own(status::kBadReaderName));
    EXPECT_EQ(c.outcome.PageStatus(), c.status);
    EXPECT_EQ(info.Report(c.outcome), c.status);
    EXPECT_EQ(info.text(), c.text ? c.text : "ReaderName is not valid. (5041)") << c.status;
  }
  // The unmapped value of the old contract: the PC/SC result as its signed 32-bit value.
  EXPECT_EQ(Outcome::Pcsc(0x80100069u).raw(), static_cast<int32_t>(0x80100069u));
  EXPECT_EQ(Outcome::Card(0x6602, true).raw(), 0);
}

}  // namespace
}  // namespace quilta
