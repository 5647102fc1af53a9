#include <gtest/gtest.h>

#include <set>

#include "base/member_table.h"

namespace quilta {
namespace {

TEST(MemberTable, DispatchIdsAreUniqueAndSkipReservedOnes) {
  std::set<int32_t> ids;
  for (const auto& m : kMethods) {
    if (m.scope == Scope::VtableOnly) {  // the policy-loan transfer: no dispatch id
      EXPECT_EQ(m.dispid, kNoDispid) << m.name;
      continue;
    }
    EXPECT_TRUE(ids.insert(m.dispid).second) << m.name;
  }
  for (const auto& p : kProps) EXPECT_TRUE(ids.insert(p.dispid).second) << p.name;
  EXPECT_EQ(ids.size(), 133u);
  EXPECT_EQ(ids.count(19), 0u);
  EXPECT_EQ(ids.count(103), 0u);
}

TEST(MemberTable, NpapiSeesTwentyEightMethods) {
  int both = 0;
  for (const auto& m : kMethods) both += m.scope == Scope::Both;
  EXPECT_EQ(both, 28);
  EXPECT_EQ(Info(Method::DoAccessibleTransferTAC).scope, Scope::AxOnly);
  EXPECT_EQ(Info(Method::DoAccessibleInquiryTAC).scope, Scope::AxOnly);
}

TEST(MemberTable, LookupsAreExactAndCaseSensitive) {
  Prop p;
  Method m;
  ASSERT_TRUE(FindProp("shSW12", &p));
  EXPECT_EQ(Info(p).dispid, 38);
  EXPECT_FALSE(FindProp("SHSW12", &p));
  EXPECT_FALSE(FindProp("nonO", &p));
  ASSERT_TRUE(FindMethod("DoPayMoneyTAC", &m));
  EXPECT_EQ(Info(m).dispid, 95);
  EXPECT_FALSE(FindMethod("getcomversion", &m));
  ASSERT_TRUE(FindPropByDispid(130, &p));
  EXPECT_EQ(Info(p).name, "aAuthInAccountNo7");
  EXPECT_FALSE(FindPropByDispid(103, &p));
  ASSERT_TRUE(FindMethodByDispid(135, &m));
  EXPECT_EQ(m, Method::DoAccessibleTransferTAC);
  EXPECT_FALSE(FindMethodByDispid(19, &m));
}

TEST(MemberTable, FamiliesAreConsecutive) {
  for (int k = 0; k < 10; ++k) EXPECT_EQ(Info(Prop::Reader0 + k).dispid, 24 + k);
  for (int k = 0; k < 8; ++k) {
    EXPECT_EQ(Info(Prop::AccountNo0 + k).dispid, 41 + k);
    EXPECT_EQ(Info(Prop::aAuthInAccountNo0 + k).dispid, 123 + k);
  }
  for (int k = 0; k < 10; ++k) EXPECT_EQ(Info(Prop::TACLog0 + k).dispid, 83 + k);
}

TEST(MemberTable, LimitsAndArguments) {
  EXPECT_EQ(Info(Prop::ReaderName).limit, 100);
  EXPECT_EQ(Info(Prop::nono).limit, 200);
  EXPECT_EQ(Info(Prop::PCode).limit, 50);
  EXPECT_EQ(Info(Prop::FeeName).limit, kNoLimit);
  EXPECT_EQ(Info(Prop::aAccountNo4).limit, kNoLimit);
  EXPECT_EQ(Info(Prop::aAccountNo3).limit, 50);
  EXPECT_EQ(Info(Method::ChangePIN).argc, 2);
  EXPECT_EQ(Info(Method::ChangePIN).args[1], "newPIN");
  EXPECT_EQ(Info(Method::GetAtmCode).args[2], "wkSessionKey");
}

}  // namespace
}  // namespace quilta
