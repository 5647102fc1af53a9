#include <gtest/gtest.h>

#include "core/atm_core.h"

namespace quilta {
namespace {

Text Read(const CAtmCore& core, Prop p) {
  PropValue v;
  EXPECT_TRUE(core.GetProperty(p, &v)) << Info(p).name;
  return v.text;
}
int32_t ReadInt(const CAtmCore& core, Prop p) {
  PropValue v;
  EXPECT_TRUE(core.GetProperty(p, &v));
  EXPECT_EQ(v.type, ValueType::Int);
  return v.number;
}

TEST(Properties, Defaults) {
  CAtmCore core;
  EXPECT_EQ(Read(core, Prop::Reader3), u"");
  EXPECT_EQ(Read(core, Prop::AccountNo5), u"0000000000000000");
  EXPECT_EQ(Read(core, Prop::AuthInBankNo2), u"00000000");
  EXPECT_EQ(Read(core, Prop::aAuthInAccountNo0), u"000000000000000000000000");
  EXPECT_EQ(Read(core, Prop::aSetData), u"N");
  EXPECT_EQ(Read(core, Prop::Value), u"");
  EXPECT_EQ(Read(core, Prop::ReaderInsert), u"N");
  EXPECT_EQ(Read(core, Prop::CardChange), u"N");
  EXPECT_EQ(Read(core, Prop::ErrorInfo), u"");
  EXPECT_EQ(ReadInt(core, Prop::ReaderCount), 0);
  EXPECT_EQ(core.channel().activeProtocol, 2u);
}

TEST(Properties, WriteOnlyAndReadOnly) {
  CAtmCore core;
  PropValue v;
  EXPECT_FALSE(core.GetProperty(Prop::SessionKey, &v));
  EXPECT_FALSE(core.GetProperty(Prop::PCode, &v));
  EXPECT_FALSE(core.PutText(Prop::Reader0, u"x"));
  EXPECT_FALSE(core.PutText(Prop::TACLog5, u"x"));
  EXPECT_FALSE(core.PutText(Prop::ReaderType, u"2"));
  EXPECT_FALSE(core.PutInt(Prop::ReaderCount, 3));
  EXPECT_TRUE(core.PutText(Prop::ReaderInsert, u"Y"));
  EXPECT_EQ(Read(core, Prop::ReaderInsert), u"N");
}

TEST(Properties, ByteLimits) {
  CAtmCore core;
  Text fifty(50, u'1');
  ASSERT_TRUE(core.PutText(Prop::PCode, fifty));
  EXPECT_EQ(core.props().TextOf(Prop::PCode), fifty);
  ASSERT_TRUE(core.PutText(Prop::PCode, Text(51, u'2')));  // dropped silently
  EXPECT_EQ(core.props().TextOf(Prop::PCode), fifty);
  // A Chinese character counts two bytes: 49 + 2 = 51 is over the limit.
  core.PutText(Prop::PCode, Text(49, u'3') + u"轉");
  EXPECT_EQ(core.props().TextOf(Prop::PCode), fifty);
  core.PutText(Prop::PCode, Text(48, u'3') + u"轉");
  EXPECT_EQ(core.props().TextOf(Prop::PCode), Text(48, u'3') + u"轉");

  core.PutText(Prop::ReaderName, Text(100, u'r'));
  EXPECT_EQ(core.props().TextOf(Prop::ReaderName).size(), 100u);
  core.PutText(Prop::ReaderName, Text(101, u's'));
  EXPECT_EQ(core.props().TextOf(Prop::ReaderName), Text(100, u'r'));

  core.PutText(Prop::FeeName, Text(300, u'f'));
  EXPECT_EQ(core.props().TextOf(Prop::FeeName).size(), 300u);
  core.PutText(Prop::aAccountNo4, Text(70, u'4'));
  EXPECT_EQ(core.props().TextOf(Prop::aAccountNo4).size(), 70u);
  core.PutText(Prop::aAccountNo3, Text(70, u'4'));
  EXPECT_EQ(core.props().TextOf(Prop::aAccountNo3), u"0000000000000000");
}

TEST(Properties, Amount) {
  CAtmCore core;
  core.PutText(Prop::Amount, u"1500");
  EXPECT_EQ(core.props().AmountValue(), 1500);
  EXPECT_EQ(core.props().Amount14(), u"00000000150000");
  core.PutText(Prop::Amount, u"");
  EXPECT_EQ(core.props().AmountValue(), 0);
  EXPECT_EQ(core.props().Amount14(), u"00000000000000");
  core.PutText(Prop::Amount, u"12a");
  EXPECT_EQ(core.props().AmountValue(), 12);
  EXPECT_EQ(core.props().Amount14(), u"00000000012a00");
  // What the confirmation shows is what the card signs, beyond 32 bits too.
  core.PutText(Prop::Amount, u"300000000000");
  EXPECT_EQ(core.props().AmountValue(), 300000000000);
  core.PutText(Prop::Amount, Text(30, u'9'));
  EXPECT_EQ(core.props().AmountValue(), INT64_MAX);
  core.PutText(Prop::Amount, u"1234567890123");  // 13 digits: not cut
  EXPECT_EQ(core.props().Amount14(), u"123456789012300");
  core.PutText(Prop::Amount, u" -42x");
  EXPECT_EQ(core.props().AmountValue(), -42);
  core.PutText(Prop::Amount, Text(51, u'9'));  // too long: neither member changes
  EXPECT_EQ(core.props().AmountValue(), -42);
  EXPECT_EQ(core.props().Amount14(), u"0000000 -42x00");
}

TEST(Properties, FixedWidthsReadEmpty) {
  CAtmCore core;
  core.PutText(Prop::ID, u"A123");
  EXPECT_EQ(core.props().TextOf(Prop::ID), u"A123            ");
  core.PutText(Prop::ID, u"ABCDEFGHIJKLMNOPQRST");
  EXPECT_EQ(core.props().TextOf(Prop::ID), u"ABCDEFGHIJKLMNOP");
  core.PutText(Prop::CTelNo, u"1234567890123");
  EXPECT_EQ(core.props().TextOf(Prop::CTelNo), u"1234567890");
  core.PutText(Prop::CTelNo, u"");
  EXPECT_EQ(core.props().TextOf(Prop::CTelNo), u"          ");
  EXPECT_EQ(Read(core, Prop::ID), u"");
  EXPECT_EQ(Read(core, Prop::CTelNo), u"");
  EXPECT_TRUE(core.PutInt(Prop::ApplyType, 3));
  EXPECT_EQ(core.props().NumberOf(Prop::ApplyType), 3);
  EXPECT_EQ(ReadInt(core, Prop::ApplyType), 0);
  EXPECT_TRUE(core.PutInt(Prop::ReaderType, 7));
  EXPECT_EQ(ReadInt(core, Prop::ReaderType), 7);
}

TEST(Methods, GetComVersionLeavesErrorInfo) {
  CAtmCore core;
  core.Report(5041);
  CallResult r = core.Call(Method::GetComVersion, {});
  EXPECT_TRUE(r.isText);
  EXPECT_EQ(r.text, u"1,0,0,1");
  EXPECT_EQ(core.errorText(), "ReaderName is not valid. (5041)");
}

TEST(Methods, MissingArgumentsAreRefusedBeforeAnythingRuns) {
  CAtmCore core;
  EXPECT_EQ(core.Call(Method::VerifyPIN, {}).status, 6002);
  EXPECT_EQ(core.errorText(), " para input error. (6002)");
  std::optional<Text> one[] = {Text(u"1234")};
  EXPECT_EQ(core.Call(Method::ChangePIN, one).status, 6002);
  EXPECT_EQ(core.Call(Method::GetAtmCode, one).status, 6002);
  EXPECT_EQ(core.Call(Method::SetReaderType, {}).status, 5042);
}

}  // namespace
}  // namespace quilta
