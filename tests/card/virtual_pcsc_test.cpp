// The virtual reader itself: the PC/SC rules the card-engine tests rely on.
#include <gtest/gtest.h>

#include "testsupport/virtual_pcsc.h"
#include "tests/card/scripted_card.h"

namespace quilta::testing {
namespace {

namespace sc = platform::scard;

TEST(VirtualPcsc, SharingRulesAndStaleHandles) {
  platform::VirtualPcsc pcsc;
  pcsc.InsertCard("R", std::make_shared<ScriptedCard>());
  platform::ScardContext a = 0, b = 0;
  ASSERT_EQ(pcsc.EstablishContext(0, &a), 0u);
  ASSERT_EQ(pcsc.EstablishContext(0, &b), 0u);
  platform::ScardHandle h1 = 0, h2 = 0, h3 = 99;
  uint32_t p = 0;
  EXPECT_EQ(pcsc.Connect(a, "R", sc::kShareShared, 3, &h1, &p), 0u);
  EXPECT_EQ(p, sc::kProtocolT1);
  EXPECT_EQ(pcsc.Connect(b, "R", sc::kShareShared, 3, &h2, &p), 0u);
  EXPECT_EQ(pcsc.Connect(b, "R", sc::kShareExclusive, 2, &h3, &p), sc::kSharingViolation);
  EXPECT_EQ(h3, 0u);  // zeroed on failure
  EXPECT_EQ(pcsc.Disconnect(h2, sc::kLeaveCard), 0u);
  EXPECT_EQ(pcsc.Disconnect(h2, sc::kLeaveCard), sc::kInvalidHandle);

  uint8_t cmd[5] = {0, 0xB0, 0, 0, 0x10}, rsp[272];
  uint32_t len = sizeof rsp;
  pcsc.RemoveCard("R");
  EXPECT_EQ(pcsc.Transmit(h1, sc::kProtocolT1, cmd, 5, rsp, &len), sc::kRemovedCard);
  EXPECT_EQ(pcsc.Connect(a, "R", sc::kShareShared, 3, &h3, &p), sc::kNoSmartcard);
  pcsc.InsertCard("R", std::make_shared<ScriptedCard>());
  EXPECT_EQ(pcsc.Transmit(h1, sc::kProtocolT1, cmd, 5, rsp, &len), sc::kRemovedCard);
  // The stale shared handle still claims the reader.
  EXPECT_EQ(pcsc.Connect(b, "R", sc::kShareExclusive, 2, &h3, &p), sc::kSharingViolation);
  EXPECT_EQ(pcsc.Disconnect(h1, sc::kUnpowerCard), 0u);
  EXPECT_EQ(pcsc.Connect(b, "R", sc::kShareExclusive, 2, &h3, &p), 0u);

  EXPECT_EQ(pcsc.ReleaseContext(b), 0u);  // drops its connection
  EXPECT_EQ(pcsc.Transmit(h3, sc::kProtocolT1, cmd, 5, rsp, &len), sc::kInvalidHandle);
  EXPECT_EQ(pcsc.ReleaseContext(b), sc::kInvalidHandle);
}

TEST(VirtualPcsc, StatusChangeAnswersAtOnceForUnawareAndWaitsOtherwise) {
  platform::VirtualPcsc pcsc;
  pcsc.AddReader("R");
  platform::ScardContext c = 0;
  ASSERT_EQ(pcsc.EstablishContext(0, &c), 0u);
  platform::ReaderState s{"R", sc::kStateUnaware, 0};
  EXPECT_EQ(pcsc.GetStatusChange(c, sc::kInfinite, &s, 1), 0u);
  EXPECT_TRUE(s.eventState & sc::kStateEmpty);

  s.currentState = s.eventState;
  EXPECT_EQ(pcsc.GetStatusChange(c, 1000, &s, 1), sc::kTimeout);
  pcsc.onWait = [&] { pcsc.InsertCard("R", std::make_shared<ScriptedCard>()); };
  EXPECT_EQ(pcsc.GetStatusChange(c, sc::kInfinite, &s, 1), 0u);
  EXPECT_TRUE(s.eventState & sc::kStatePresent);
}

TEST(VirtualPcsc, ProtocolOfTheSendPci) {
  platform::VirtualPcsc pcsc;
  pcsc.InsertCard("R", std::make_shared<ScriptedCard>(std::vector<Step>{{"00B0000010", "9000"},
                                                                       {"00B0000010", "9000"}}));
  platform::ScardContext c = 0;
  platform::ScardHandle h = 0;
  uint32_t p = 0;
  ASSERT_EQ(pcsc.EstablishContext(0, &c), 0u);
  ASSERT_EQ(pcsc.Connect(c, "R", sc::kShareExclusive, sc::kProtocolT1, &h, &p), 0u);
  uint8_t cmd[5] = {0, 0xB0, 0, 0, 0x10}, rsp[272];
  uint32_t len = sizeof rsp;
  EXPECT_EQ(pcsc.Transmit(h, 0, cmd, 5, rsp, &len), sc::kProtoMismatch);
  len = sizeof rsp;
  EXPECT_EQ(pcsc.Transmit(h, 4, cmd, 5, rsp, &len), 0u);  // raw
  len = sizeof rsp;
  EXPECT_EQ(pcsc.Transmit(h, sc::kProtocolT0, cmd, 5, rsp, &len), sc::kProtoMismatch);
  len = sizeof rsp;
  EXPECT_EQ(pcsc.Transmit(h, sc::kProtocolT1, cmd, 5, rsp, &len), 0u);
}

}  // namespace
}  // namespace quilta::testing
