#include <span>
#include <cstring>

#include "tests/card/card_fixture.h"

namespace quilta::testing {
namespace {

namespace sc = platform::scard;
using Exchange = CardFixture;

TEST_F(Exchange, BuildsCommandsFromHexFields) {
  InsertCard({{"00 B0 00 00 10", "9000"}, {"00 A4 02 00 02 10 01", "9000"}});
  Open();
  EXPECT_EQ(core.CardExchange("00", "B0", "00", "00", std::nullopt, {}, "10"), 0);
  EXPECT_EQ(core.channel().commandLength, 5u);
  CommandFields f{"00", "A4", "02", "00", "02", "1001", std::nullopt};
  EXPECT_EQ(core.CardExchange(f), 0);
  EXPECT_EQ(core.channel().commandLength, 7u);
  EXPECT_EQ(pcsc.ApduLog(), (std::vector<std::string>{"00B0000010", "00A40200021001"}));
  EXPECT_EQ(pcsc.Log().back().arg1, core.channel().activeProtocol);  // send PCI protocol
  EXPECT_EQ(Text(Prop::shSW12), "9000");
}

TEST_F(Exchange, StatusWordsAreMapped) {
  InsertCard({{"00 B2 01 04 00", "6A 82"},
              {"00 B2 01 04 00", "66 08"},
              {"00 B2 01 04 00", "66 02"},
              {"00 B2 01 04 00", "66 02 90 00"},
              {"00 B2 01 04 00", "69 F0"}});
  Open();
  auto read = [&] { return core.CardExchange("00", "B2", "01", "04", std::nullopt, {}, "00"); };
  EXPECT_EQ(read(), 27266);
  EXPECT_EQ(Text(Prop::shSW12), "6A82");
  EXPECT_EQ(Error(), "Other Error! (6a82)");
  EXPECT_EQ(read(), 5031);
  EXPECT_EQ(Error(), "PIN Error. (5031)");
  // 66 02 counts as success and leaves ErrorInfo alone, as status word or as data.
  EXPECT_EQ(read(), 0);
  EXPECT_EQ(Text(Prop::shSW12), "6602");
  EXPECT_EQ(Error(), "PIN Error. (5031)");
  EXPECT_EQ(read(), 0);
  EXPECT_EQ(Text(Prop::shSW12), "9000");
  EXPECT_EQ(Error(), "PIN Error. (5031)");
  EXPECT_EQ(read(), 5036);
  EXPECT_EQ(Error(), "User Cancel to do Txn Tac. (5036)");
}

TEST_F(Exchange, TransmitFailureIsReturnedRawAsA32BitStatus) {
  InsertCard({{"00 B0 00 00 10", "6A 82"}});
  Open();
  core.CardExchange("00", "B0", "00", "00", std::nullopt, {}, "10");
  core.Report(0);
  pcsc.RemoveCard(kReader);
  int32_t st = core.CardExchange("00", "B0", "00", "00", std::nullopt, {}, "10");
  EXPECT_EQ(st, -2146434967);  // 0x80100069
  EXPECT_EQ(Text(Prop::shSW12), "6A82");
  EXPECT_EQ(Error(), "Command successful. (0)");
  EXPECT_EQ(core.Report(st), 5035);
  EXPECT_EQ(Error(), "Card is Changed or Remove. (5035)");
}

TEST_F(Exchange, ResponseWithoutStatusWordIsAnErrorNotData) {
  const std::string record(30, 'A');
  InsertCard({{"00 B2 01 04 00", AsciiHex(record) + "9000"},
              {"00 B2 01 04 00", "66 02"},
              {"00 B2 01 04 00", "90 00"}});
  Open();
  auto read = [&] { return core.CardExchange("00", "B2", "01", "04", std::nullopt, {}, "00"); };
  ASSERT_EQ(read(), 0);
  ASSERT_EQ(core.channel().response.bytes()[5], 'A');

  for (uint32_t keep : {1u, 0u}) {
    pcsc.TruncateResponseAt(1, keep);
    int32_t st = read();
    EXPECT_EQ(st, static_cast<int32_t>(sc::kCommDataLost)) << keep;
    EXPECT_EQ(core.Report(st), st);
    EXPECT_EQ(Error(), "A communications error with the smart card has been detected. (8010002f)");
    EXPECT_EQ(Text(Prop::shSW12), "9000");
    EXPECT_EQ(core.channel().response.size(), 0u);
    // Nothing of the earlier record is left to be picked up.
    for (uint8_t b : std::span(core.channel().response.bytes(), 1028)) ASSERT_EQ(b, 0);
  }
}

TEST_F(Exchange, TruncatedAnswerOfAPulledCardReadsAsRemoved) {
  InsertCard({{"00 B2 01 04 00", "90 00"}});
  Open();
  pcsc.TruncateResponseAt(1, 0);
  // The resource manager notices the removal a little later, while we wait for it.
  pcsc.onWait = [&] { pcsc.RemoveCard(kReader); };
  int32_t st = core.CardExchange("00", "B2", "01", "04", std::nullopt, {}, "00");
  EXPECT_EQ(st, static_cast<int32_t>(sc::kRemovedCard));
  EXPECT_EQ(core.Report(st), 5035);
  ASSERT_EQ(pcsc.Count("GetStatusChange"), 2u);
  EXPECT_EQ(pcsc.Log().back().reader, kReader);
}

TEST_F(Exchange, ShorterResponseNeverExposesEarlierBytes) {
  const std::string record(30, 'A');
  InsertCard({{"00 B2 01 04 00", AsciiHex(record) + "9000"}, {"00 B2 02 04 00", "31 32 90 00"}});
  Open();
  ASSERT_EQ(core.CardExchange("00", "B2", "01", "04", std::nullopt, {}, "00"), 0);
  ASSERT_EQ(core.CardExchange("00", "B2", "02", "04", std::nullopt, {}, "00"), 0);
  EXPECT_EQ(core.channel().response.size(), 4u);
  EXPECT_EQ(TakeBytes(core.channel().response.bytes(), 0, 16), "12\x90");
  EXPECT_EQ(core.channel().response.bytes()[4], 0);
}

TEST_F(Exchange, MalformedFieldsAreRefusedBeforeSending) {
  InsertCard();
  Open();
  const std::vector<CommandFields> bad = {
      {"0", "B0", "00", "00", std::nullopt, {}, "10"},             // short CLA
      {"00", "B0", "00", "0G", std::nullopt, {}, "10"},            // non-hex P2
      {"00", "a4", "02", "00", "02", "1001", std::nullopt},        // lower case
      {"00", "A4", "02", "00", "02", "10", std::nullopt},          // data shorter than Lc
      {"00", "A4", "02", "00", "02", "100102", std::nullopt},      // data longer than Lc
      {"00", "A4", "02", "00", "0", "1001", std::nullopt},         // short Lc
      {"00", "B0", "00", "00", std::nullopt, {}, "100"},           // long Le
      {"00", "20", "00", "10", "08", "1234FFFFFFFFFF", std::nullopt}};
  for (const CommandFields& f : bad) {
    core.Report(0);
    EXPECT_EQ(core.CardExchange(f), 6002) << f.cla << f.ins << f.p1 << f.p2 << f.data;
    EXPECT_EQ(Error(), " para input error. (6002)");
  }
  EXPECT_EQ(pcsc.Count("Transmit"), 0u);
}

}  // namespace
}  // namespace quilta::testing
