// The second-generation reader model in front of the simulated card.
#include "sim/pinpad_reader.h"

#include <gtest/gtest.h>

#include "sim/fisc_card.h"
#include "tests/sim/apdu_script.h"

namespace quilta::sim {
namespace {

using test::RunScript;

constexpr const char* kSelectApp = "00 A4 04 00 08 A0 00 00 01 72 95 00 01 00";
constexpr const char* kPadVerify = "80 20 00 10";
constexpr const char* kPadVerifyFF = "00 20 00 10 08 FF FF FF FF FF FF FF FF";
constexpr const char* kPadChange = "00 20 00 10 08 F0 F0 F0 F0 F0 F0 F0 F0";
constexpr const char* kTac = "00 E2 10 80 04 31 32 33 34 00";

struct PinPadTest : ::testing::Test {
  std::shared_ptr<FiscCard> card = std::make_shared<FiscCard>(DefaultProfile());
  PinPadReader reader{card, {PinPadAction::kEnterPin, "1234", "5678"}};
  PinPadTest() {
    reader.PowerOn();
    RunScript(reader, {{kSelectApp, "90 00"}});
  }
};

TEST_F(PinPadTest, CustomerTypesThePinForBothPadCommandForms) {
  RunScript(reader, {{kPadVerify, "90 00"}});
  EXPECT_TRUE(card->PinVerified());
  reader.Reset();
  RunScript(reader, {{kSelectApp, "90 00"}, {kPadVerifyFF, "90 00"}});
  EXPECT_TRUE(card->PinVerified());
  EXPECT_EQ(reader.Prompts(), 2);
}

TEST_F(PinPadTest, AWrongPinTypedOnThePadCostsACardTry) {
  reader.SetSettings({PinPadAction::kEnterPin, "9999", ""});
  RunScript(reader, {{kPadVerify, "66 08"}, {kPadVerifyFF, "66 08"}, {kPadVerify, "66 20"}});
  EXPECT_TRUE(card->PinLocked());
}

TEST_F(PinPadTest, TimeoutAndCancelSendNothingToTheCard) {
  reader.SetSettings({PinPadAction::kTimeout, "1234", ""});
  RunScript(reader, {{kPadVerify, "69 F0"}, {kPadChange, "69 F0"}, {kTac, "69 F0"}});
  reader.SetSettings({PinPadAction::kCancel, "1234", ""});
  RunScript(reader, {{kPadVerifyFF, "64 01"}, {kTac, "64 01"}});
  EXPECT_FALSE(card->PinVerified());
  EXPECT_EQ(card->PinTriesLeft(), kMaxPinTries);
  EXPECT_EQ(card->NextSequence(), 1u);
  EXPECT_EQ(reader.Prompts(), 5);
}

TEST_F(PinPadTest, PinChangeVerifiesTheOldPinThenWritesTheNew) {
  RunScript(reader, {{"00 A4 02 00 02 00 C2", "90 00"}, {kPadChange, "90 00"}});
  EXPECT_EQ(card->StoredPinBlock(), PinBlockOf("5678"));
  reader.SetSettings({PinPadAction::kEnterPin, "1234", "1111"});  // the old PIN is now wrong
  RunScript(reader, {{kPadChange, "66 08"}});
  EXPECT_EQ(card->StoredPinBlock(), PinBlockOf("5678"));
}

TEST_F(PinPadTest, TacCommandAsksForThePinOnlyWhenTheCardWantsIt) {
  RunScript(reader, {{kTac, "00 3030303030303031 0000 ???????????????? 90 00"}});
  EXPECT_TRUE(card->PinVerified());
  // Already verified: the command goes through after the customer confirms.
  reader.SetSettings({PinPadAction::kEnterPin, "9999", ""});
  RunScript(reader, {{kTac, "00 3030303030303032 0000 ???????????????? 90 00"}});
  EXPECT_EQ(card->PinTriesLeft(), kMaxPinTries);
  reader.Reset();
  RunScript(reader, {{kSelectApp, "90 00"}, {kTac, "66 08"}});  // the typed PIN is wrong
  EXPECT_EQ(card->NextSequence(), 3u);
}

TEST_F(PinPadTest, OrdinaryCommandsAndPassThroughReachTheCardUnchanged) {
  // A VERIFY with a real PIN block (the page's PIN) is not a pad command.
  RunScript(reader, {{"00 20 00 10 08 12 34 FF FF FF FF FF FF", "90 00"},
                     {"00 B0 00 00 10", "0102030405060708090A0B0C0D0E0F10 9000"}});
  EXPECT_EQ(reader.Prompts(), 0);
  reader.SetSettings({PinPadAction::kPassThrough, "1234", ""});
  RunScript(reader, {{kPadVerify, "6E 00"}, {kPadVerifyFF, "66 08"}});
}

TEST_F(PinPadTest, WithoutACardEveryCommandFails) {
  reader.SetCard(nullptr);
  EXPECT_TRUE(reader.Atr().empty());
  RunScript(reader, {{kSelectApp, "6F 00"}});
}

TEST(PinPadActionNames, RoundTrip) {
  for (auto a : {PinPadAction::kPassThrough, PinPadAction::kEnterPin, PinPadAction::kTimeout, PinPadAction::kCancel}) {
    PinPadAction back{};
    ASSERT_TRUE(ParsePinPadAction(PinPadActionName(a), &back));
    EXPECT_EQ(back, a);
  }
  PinPadAction x{};
  EXPECT_FALSE(ParsePinPadAction("Enter", &x));
}

}  // namespace
}  // namespace quilta::sim
