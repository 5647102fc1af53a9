// The dialogs' texts of a transaction: amounts with thousands separators, the server's date
// with the full and the national year, accounts as "bank/account".
#include "txn/display.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace quilta::txn {
namespace {

TEST(TxnDisplay, AmountGroupsThreeDigitsFromTheRight) {
  const std::pair<int64_t, const char*> cases[] = {
      {0, "0"},         {5, "5"},           {123, "123"},       {500, "500"},
      {1000, "1,000"},  {123456, "123,456"}, {1234567, "1,234,567"},
      {-1234, "-1,234"}, {std::numeric_limits<int32_t>::max(), "2,147,483,647"},
  };
  for (const auto& [amount, shown] : cases) EXPECT_EQ(ToNarrow(AmountText(amount)), shown) << amount;
}

TEST(TxnDisplay, DateWithTheFullOrTheNationalYear) {
  struct Case {
    const char16_t* serverDateTime;
    const char* full;
    const char* national;
  };
  const Case cases[] = {
      {u"20180104093000", "2018/01/04 09:30:00", "107/01/04 09:30:00"},
      {u"20111231235959", "2011/12/31 23:59:59", "100/12/31 23:59:59"},
      {u"19120101000000", "1912/01/01 00:00:00", "1/01/01 00:00:00"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ToNarrow(DateText(c.serverDateTime, false)), c.full);
    EXPECT_EQ(ToNarrow(DateText(c.serverDateTime, true)), c.national);
  }
}

TEST(TxnDisplay, AccountTakesTheFirstThreeCharactersOfTheBank) {
  EXPECT_EQ(ToNarrow(AccountText(u"00812345", u"0081234500012345")), "008/0081234500012345");
  EXPECT_EQ(ToNarrow(AccountText(u"", u"7000000012345678")), "/7000000012345678");
}

}  // namespace
}  // namespace quilta::txn
