#include "tests/card/card_fixture.h"

namespace quilta::testing {
namespace {

namespace sc = platform::scard;
using Session = CardFixture;

TEST_F(Session, ConnectDriverMapsTheContextResult) {
  EXPECT_EQ(core.ConnectDriver(), 0);
  EXPECT_EQ(Error(), "Command successful. (0)");
  pcsc.StopService();
  EXPECT_EQ(core.ConnectDriver(), 5001);
  EXPECT_EQ(Error(), "no pc/sc reader driver installed. (5001)");
}

TEST_F(Session, ListReadersCountsSegmentsAndKeepsHigherSlots) {
  ASSERT_EQ(core.ConnectDriver(), 0);
  for (int i = 0; i < 12; ++i) pcsc.AddReader("Reader " + std::to_string(i));
  EXPECT_EQ(core.ListReadersName(), 0);
  EXPECT_EQ(core.props().NumberOf(Prop::ReaderCount), 12);
  EXPECT_EQ(Text(Prop::Reader0), "Reader 0");
  EXPECT_EQ(Text(Prop::Reader9), "Reader 9");

  for (int i = 2; i < 12; ++i) pcsc.RemoveReader("Reader " + std::to_string(i));
  EXPECT_EQ(core.ListReadersName(), 0);
  EXPECT_EQ(core.props().NumberOf(Prop::ReaderCount), 2);
  EXPECT_EQ(Text(Prop::Reader0), "Reader 0");
  EXPECT_EQ(Text(Prop::Reader1), "Reader 1");
  EXPECT_EQ(Text(Prop::Reader2), "");          // the closing empty name
  EXPECT_EQ(Text(Prop::Reader3), "Reader 3");  // left from the earlier call

  pcsc.RemoveReader("Reader 0");
  pcsc.RemoveReader("Reader 1");
  EXPECT_EQ(core.ListReadersName(), 5002);
  EXPECT_EQ(Error(), "no pc/sc reader plugged in. (138a)");
  EXPECT_EQ(core.props().NumberOf(Prop::ReaderCount), 2);
  EXPECT_EQ(Text(Prop::Reader0), "Reader 0");
}

TEST_F(Session, ListReadersRefusesMoreNamesThanTheBufferHolds) {
  ASSERT_EQ(core.ConnectDriver(), 0);
  pcsc.AddReader("short");
  ASSERT_EQ(core.ListReadersName(), 0);
  pcsc.AddReader(std::string(1023, 'x'));
  pcsc.AddReader(std::string(1023, 'y'));
  EXPECT_EQ(core.ListReadersName(), static_cast<int32_t>(sc::kInsufficientBuffer));
  EXPECT_EQ(Error(), "The data buffer for returned data is too small for the returned data. (80100008)");
  EXPECT_EQ(core.props().NumberOf(Prop::ReaderCount), 1);
}

TEST_F(Session, ShortReaderNameIsRefusedWithoutAnyPcscCall) {
  ASSERT_EQ(core.ConnectDriver(), 0);
  pcsc.ClearLog();
  SetReaderName("A");
  EXPECT_EQ(core.CheckCardInsert(), 5041);
  EXPECT_EQ(Error(), "ReaderName is not valid. (5041)");
  EXPECT_EQ(core.ConnectCard(), 5041);
  EXPECT_TRUE(pcsc.Log().empty());
}

TEST_F(Session, CheckCardInsertReportsPresence) {
  ASSERT_EQ(core.ConnectDriver(), 0);
  pcsc.AddReader(kReader);
  SetReaderName(kReader);
  EXPECT_EQ(core.CheckCardInsert(), 0);
  EXPECT_EQ(core.props().NumberOf(Prop::ReaderInsert), 0);
  InsertCard();
  EXPECT_EQ(core.CheckCardInsert(), 0);
  EXPECT_EQ(core.props().NumberOf(Prop::ReaderInsert), 1);
  ASSERT_FALSE(pcsc.Log().empty());
  EXPECT_EQ(pcsc.Log().back().arg1, 1000u);  // the time-out

  pcsc.StopService();
  EXPECT_EQ(core.CheckCardInsert(), 5001);
  EXPECT_EQ(core.props().NumberOf(Prop::ReaderInsert), 1);  // unchanged on failure
}

TEST_F(Session, ConnectCardPowerCyclesThenConnectsExclusivelyAndSelects) {
  auto card = InsertCard();
  ASSERT_EQ(core.ConnectDriver(), 0);
  SetReaderName(kReader);
  pcsc.ClearLog();
  EXPECT_EQ(core.ConnectCard(), 0);
  EXPECT_EQ(Error(), "Command successful. (0)");

  const auto& log = pcsc.Log();
  ASSERT_EQ(log.size(), 5u);
  EXPECT_EQ(log[0].op, "Connect");
  EXPECT_EQ(log[0].arg1, sc::kShareShared);
  EXPECT_EQ(log[0].arg2, sc::kProtocolT0 | sc::kProtocolT1);
  EXPECT_EQ(log[1].op, "Disconnect");
  EXPECT_EQ(log[1].arg1, sc::kUnpowerCard);
  EXPECT_EQ(log[2].op, "Disconnect");
  EXPECT_EQ(log[2].arg1, sc::kUnpowerCard);
  EXPECT_EQ(log[3].op, "Connect");
  EXPECT_EQ(log[3].arg1, sc::kShareExclusive);
  EXPECT_EQ(log[3].arg2, sc::kProtocolT1);
  EXPECT_EQ(pcsc.ApduLog(), std::vector<std::string>{"00A4040008A00000017295000100"});
  EXPECT_EQ(sleeper.sleeps, (std::vector<uint32_t>{200, 200}));
  EXPECT_EQ(card->powerOns, 2);  // powered by the shared connect, again after the unpower
  EXPECT_EQ(core.channel().activeProtocol, sc::kProtocolT1);
  EXPECT_TRUE(card->Finished());
}

TEST_F(Session, SecondConnectCardInOneProcessReconnects) {
  auto card = InsertCard({{kSelectApp, "90 00"}});
  Open();
  platform::ScardHandle first = core.channel().handle;
  // The exclusive connection is still ours: the shared connect fails, the kept handle is
  // released by the unpowering disconnect and the exclusive connect succeeds.
  EXPECT_EQ(core.ConnectCard(), 0) << Error();
  EXPECT_NE(core.channel().handle, first);
  EXPECT_EQ(pcsc.Log()[0].result, sc::kSharingViolation);
  EXPECT_EQ(pcsc.Log()[1].handle, first);
  EXPECT_EQ(pcsc.Log()[1].result, sc::kSuccess);
  EXPECT_EQ(pcsc.OpenConnections(), 1u);
  EXPECT_TRUE(card->Finished());
}

TEST_F(Session, ConnectCardWithoutCardIsNotInserted) {
  pcsc.AddReader(kReader);
  ASSERT_EQ(core.ConnectDriver(), 0);
  SetReaderName(kReader);
  EXPECT_EQ(core.ConnectCard(), 5013);
  EXPECT_EQ(Error(), "Fisc card is not inserted. (5013)");
  EXPECT_EQ(pcsc.Count("Transmit"), 0u);
}

TEST_F(Session, ConnectCardAfterThePullReportsNotInsertedThenReconnects) {
  InsertCard({{kSelectApp, "90 00"}});
  Open();
  // Our exclusive handle outlives the pull and still claims the reader; the power-cycle
  // releases it, so the page sees "not inserted" rather than "locked".
  auto kept = std::make_shared<ScriptedCard>(std::vector<Step>{{kSelectApp, "90 00"}});
  pcsc.RemoveCard(kReader);
  EXPECT_EQ(core.ConnectCard(), 5013);
  EXPECT_EQ(Error(), "Fisc card is not inserted. (5013)");
  pcsc.InsertCard(kReader, kept);
  EXPECT_EQ(core.ConnectCard(), 0) << Error();
  EXPECT_TRUE(kept->Finished());
}

TEST_F(Session, ConnectCardReportsOtherFailures) {
  ASSERT_EQ(core.ConnectDriver(), 0);
  SetReaderName("No Such Reader");
  EXPECT_EQ(core.ConnectCard(), 5012);
  EXPECT_EQ(Error(), "No this reader. (5012)");

  // Another program holds the card exclusively.
  InsertCard();
  platform::ScardContext other = 0;
  platform::ScardHandle otherHandle = 0;
  uint32_t proto = 0;
  ASSERT_EQ(pcsc.EstablishContext(0, &other), 0u);
  ASSERT_EQ(pcsc.Connect(other, kReader, sc::kShareExclusive, sc::kProtocolT1, &otherHandle, &proto), 0u);
  SetReaderName(kReader);
  EXPECT_EQ(core.ConnectCard(), 5014);
  EXPECT_EQ(Error(), " Card is already connect and locked. (5014)");
}

TEST_F(Session, SelectRefusedLeavesTheConnectionOpen) {
  auto card = std::make_shared<ScriptedCard>(std::vector<Step>{{kSelectApp, "6A 82"}});
  pcsc.InsertCard(kReader, card);
  ASSERT_EQ(core.ConnectDriver(), 0);
  SetReaderName(kReader);
  EXPECT_EQ(core.ConnectCard(), 27266);
  EXPECT_EQ(Error(), "Other Error! (6a82)");
  EXPECT_EQ(pcsc.OpenConnections(), 1u);
}

TEST_F(Session, DisconnectCardEjectsAndKeepsTheStaleHandle) {
  InsertCard();
  Open();
  platform::ScardHandle handle = core.channel().handle;
  EXPECT_EQ(core.DisconnectCard(), 0);
  EXPECT_EQ(pcsc.Log().back().arg1, sc::kEjectCard);
  EXPECT_EQ(core.channel().handle, handle);
  EXPECT_EQ(core.ReadBasicData(), static_cast<int32_t>(sc::kInvalidHandle));
  EXPECT_EQ(Error(), "The supplied handle was invalid. (80100003)");
  EXPECT_EQ(core.DisconnectDriver(), 0);
  EXPECT_EQ(core.DisconnectDriver(), static_cast<int32_t>(sc::kInvalidHandle));
}

TEST_F(Session, CheckCardChangeComparesTheIdentity) {
  const std::string idA = "11223344556677889900AABBCCDDEEFF";
  InsertCard({{"00 B0 00 00 10", idA + "9000"}, {"00 B0 00 00 10", idA + "9000"}});
  Open();
  EXPECT_EQ(core.CheckCardChange(), 0);
  EXPECT_EQ(core.props().NumberOf(Prop::CardChange), 0);
  EXPECT_EQ(Text(Prop::CardNo), idA);
  EXPECT_EQ(core.CheckCardChange(), 0);
  EXPECT_EQ(core.props().NumberOf(Prop::CardChange), 0);

  const std::string idB = "FFEEDDCCBBAA00998877665544332211";
  InsertCard({{"00 B0 00 00 10", idB + "9000"}, {"00 B0 00 00 10", "9000"}});
  ASSERT_EQ(core.ConnectCard(), 0);
  EXPECT_EQ(core.CheckCardChange(), 0);
  EXPECT_EQ(core.props().NumberOf(Prop::CardChange), 1);
  EXPECT_EQ(Text(Prop::CardNo), idA);  // not replaced here
  EXPECT_EQ(core.CheckCardChange(), 0);  // no data: no change
  EXPECT_EQ(core.props().NumberOf(Prop::CardChange), 0);

  core.props().NumberOf(Prop::CardChange) = 1;
  pcsc.RemoveCard(kReader);
  EXPECT_EQ(core.CheckCardChange(), 5035);
  EXPECT_EQ(core.props().NumberOf(Prop::CardChange), 1);
}

TEST_F(Session, SetReaderTypeAcceptsOneTwoThree) {
  core.Report(0);
  EXPECT_EQ(core.SetReaderType(u"2"), 0);
  EXPECT_EQ(core.props().NumberOf(Prop::ReaderType), 2);
  EXPECT_EQ(Error(), "Command successful. (0)");
  core.Report(5035);
  EXPECT_EQ(core.SetReaderType(u"3"), 0);
  EXPECT_EQ(Error(), "Card is Changed or Remove. (5035)");  // untouched on success
  for (const char16_t* bad : {u"12", u"4", u"", u"0", u"123"}) {
    EXPECT_EQ(core.SetReaderType(bad), 5042);
    EXPECT_EQ(Error(), "ReaderType is not valid. (5042)");
  }
  EXPECT_EQ(core.props().NumberOf(Prop::ReaderType), 3);
  EXPECT_EQ(core.GetComVersion(), u"1,0,0,1");
  EXPECT_EQ(Error(), "ReaderType is not valid. (5042)");
}

TEST_F(Session, ServiceStoppedUnderALiveContextAndBack) {
  InsertCard({{kSelectApp, "9000"}, {"00 A4 02 00 02 10 01", "9000"}});
  Open();
  pcsc.StopService();
  EXPECT_EQ(core.ListReadersName(), 5001);
  EXPECT_EQ(core.ReadBasicData(), 5001);
  EXPECT_EQ(core.ConnectCard(), 5001);
  EXPECT_EQ(core.DisconnectCard(), 5001);
  pcsc.StartService();
  // The old context died with the service.
  EXPECT_EQ(core.ListReadersName(), 5001);
  EXPECT_EQ(core.ConnectDriver(), 0);
  EXPECT_EQ(core.ConnectCard(), 0) << Error();
  EXPECT_EQ(core.CardExchange("00", "A4", "02", "00", "02", "1001"), 0);
}

}  // namespace
}  // namespace quilta::testing
