// The simulated FISC card, driven by APDU scripts.
#include "sim/fisc_card.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>

#include "tests/sim/apdu_script.h"
#include "tests/sim/tac_oracle.h"

namespace quilta::sim {
namespace {

using test::Bytes;
using test::RunScript;
using test::Send;
using test::SpacedHex;

constexpr const char* kSelectApp = "00 A4 04 00 08 A0 00 00 01 72 95 00 01 00";
constexpr const char* kVerify1234 = "00 20 00 10 08 12 34 FF FF FF FF FF FF";
constexpr const char* kVerify9999 = "00 20 00 10 08 99 99 FF FF FF FF FF FF";
constexpr const char* kExtAuthOk = "00 82 00 18 08 11 22 33 44 55 66 77 88";
// An inquiry-sized block (28 bytes).
constexpr const char* kTacInquiry =
    "00 E2 10 80 1C 32 35 32 31 31 32 33 34 35 36 37 38 41 42 43 44 45 46 47 48 30 30 38 31 32 33 34 35 00";

struct CardTest : ::testing::Test {
  FiscCard card{DefaultProfile()};
  CardTest() { card.PowerOn(); }
};

TEST_F(CardTest, SelectsTheApplicationAndReadsIdentityAndRecords) {
  RunScript(card, {
      {"00 A4 02 00 02 10 01", "6A 82"},  // no application selected yet
      {"00 A4 04 00 08 A0 00 00 01 72 95 00 02 00", "6A 82"},
      {kSelectApp, "90 00"},
      {"00 A4 04 00 08 A0 00 00 01 72 95 00 01", "90 00"},  // without Le as well
      {"00 B0 00 00 10", "01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F 10 90 00"},
      {"00 B2 01 04 00", "69 86"},  // no file selected
      {"00 A4 02 00 02 10 01", "90 00"},
      {"00 B2 01 04 00", "01 08 3030383132333435 90 00"},
      {"00 B2 02 04 00", "02 1E 5155494C54412044454D4F2043415244 2020202020202020202020202020 90 00"},
      {"00 B2 03 04 00", "03 10 30303831323334353030303132333435 90 00"},
      {"00 B2 05 04 00", "05 10 30303030303030303030303030303030 90 00"},
      {"00 B2 0A 04 00", "0A 10 30303030303030303030303030303030 90 00"},
      {"00 B2 0B 04 00", "6A 83"},
      {"00 B2 00 04 00", "6A 83"},
      {"00 A4 02 00 02 10 02", "90 00"},
      {"00 B2 01 04 00", "01 18 3030383132333435 30303831323334353030303939393939 90 00"},
      {"00 B2 08 04 00", "08 18 303030303030303030303030303030303030303030303030 90 00"},
      {"00 B2 09 04 00", "6A 83"},
      {"00 A4 02 00 02 10 03", "6A 82"},
      {"00 A4 02 00 02 00 C2", "90 00"},
      {"00 B2 01 04 00", "69 82"},  // the PIN never reads back
  });
}

TEST_F(CardTest, RefusesMalformedCommands) {
  RunScript(card, {
      {kSelectApp, "90 00"},
      {"80 20 00 10", "6E 00"},  // the PIN-pad form is for the reader, not the card
      {"00 50 00 00 00", "6D 00"},
      {"00 A4 04", "67 00"},
      {"00 A4 04 00 08 A0 00 00 01 72 95 00", "67 00"},  // Lc 8, 7 bytes of data
      {"00 B0 01 00 10", "6A 86"},
      {"00 B0 00 00 08", "67 00"},
      {"00 A4 02 00 03 10 01 00", "67 00"},
      {"00 20 00 11 08 12 34 FF FF FF FF FF FF", "6A 88"},
      {"00 20 00 10 07 12 34 FF FF FF FF FF", "67 00"},
      {"00 E2 10 81 01 00 00", "6A 86"},
  });
  FiscCard unpowered{DefaultProfile()};
  RunScript(unpowered, {{kSelectApp, "6F 00"}});
}

TEST_F(CardTest, CountsWrongPinsAndLocksAfterTheThird) {
  RunScript(card, {
      {kSelectApp, "90 00"},
      {kVerify9999, "66 08"},
      {kVerify1234, "90 00"},  // a right PIN restores every try
      {kVerify9999, "66 08"},
      {kVerify9999, "66 08"},
      {kVerify9999, "66 20"},
      {kVerify1234, "66 20"},
      {"00 A4 02 00 02 00 C2", "66 20"},
  });
  EXPECT_TRUE(card.PinLocked());
  EXPECT_FALSE(card.PinVerified());
  card.PowerOff();
  card.PowerOn();
  RunScript(card, {{kSelectApp, "90 00"}, {kVerify1234, "66 20"}});
}

TEST_F(CardTest, ProfileWithNoTriesLeftStartsLocked) {
  Profile p = DefaultProfile();
  p.pinTries = 0;
  FiscCard locked(p);
  locked.PowerOn();
  RunScript(locked, {{kSelectApp, "90 00"}, {kVerify1234, "66 20"}, {kTacInquiry, "66 10"}});
}

TEST_F(CardTest, AccountWritesNeedExternalAuthenticationSincePowerOn) {
  RunScript(card, {
      {kSelectApp, "90 00"},
      {"00 A4 02 00 02 10 01", "90 00"},
      {"00 D2 03 04 10 39393939393939393939393939393939", "69 82"},
      {kVerify1234, "90 00"},  // a PIN does not open the account files
      {"00 D2 03 04 10 39393939393939393939393939393939", "69 82"},
      {"00 82 00 18 08 11 22 33 44 55 66 77 89", "63 00"},
      {"00 D2 03 04 10 39393939393939393939393939393939", "69 82"},
      {kExtAuthOk, "90 00"},
      {"00 D2 03 04 10 39393939393939393939393939393939", "90 00"},
      {"00 D2 03 04 08 3939393939393939", "67 00"},
      {"00 D2 0B 04 10 39393939393939393939393939393939", "6A 83"},
      {"00 B2 03 04 00", "03 10 39393939393939393939393939393939 90 00"},
      {"00 A4 02 00 02 10 02", "90 00"},
      {"00 D2 02 04 18 3030373030303030 31323334353637383930313233343536", "90 00"},
      {"00 B2 02 04 00", "02 18 3030373030303030 31323334353637383930313233343536 90 00"},
      {"00 A4 02 00 02 10 80", "90 00"},
      {"00 D2 01 04 08 3030303030303030", "69 82"},
  });
  card.Reset();
  RunScript(card, {
      {kSelectApp, "90 00"},
      {"00 A4 02 00 02 10 01", "90 00"},
      {"00 D2 03 04 10 30303030303030303030303030303031", "69 82"},
      {"00 B2 03 04 00", "03 10 39393939393939393939393939393939 90 00"},  // records persist
  });
}

TEST_F(CardTest, ChangesThePinAfterVerifyingTheOldOne) {
  RunScript(card, {
      {kSelectApp, "90 00"},
      {"00 A4 02 00 02 00 C2", "90 00"},
      {"00 D2 01 04 08 56 78 FF FF FF FF FF FF", "69 82"},
      {kVerify1234, "90 00"},
      {"00 D2 01 04 08 56 78 FF FF FF FF FF FF", "90 00"},
      {kVerify1234, "66 08"},
      {"00 20 00 10 08 56 78 FF FF FF FF FF FF", "90 00"},
  });
  EXPECT_EQ(card.StoredPinBlock(), PinBlockOf("5678"));
}

TEST_F(CardTest, BankUnlocksALockedPinAndWritesANewOne) {
  for (int i = 0; i < 3; ++i) {
    RunScript(card, {{kSelectApp, "90 00"}, {kVerify9999, i < 2 ? "66 08" : "66 20"}});
  }
  RunScript(card, {
      {"00 2C 00 00 02 00 C2", "69 82"},
      {kExtAuthOk, "90 00"},
      {"00 A4 02 00 02 00 C2", "66 20"},
      {"00 2C 00 00 02 10 01", "6A 82"},
      {"00 2C 00 00 02 00 C2", "90 00"},
      {"00 A4 02 00 02 00 C2", "90 00"},
      {"00 D2 01 04 08 24 68 FF FF FF FF FF FF", "90 00"},
      {"00 20 00 10 08 24 68 FF FF FF FF FF FF", "90 00"},
  });
  EXPECT_EQ(card.PinTriesLeft(), kMaxPinTries);
}

TEST_F(CardTest, ChallengeGivesEightFreshBytes) {
  RunScript(card, {{"00 86 00 00 08", "???????????????? 90 00"}, {"00 86 00 00 10", "67 00"}});
  std::set<std::string> seen;
  for (int i = 0; i < 4; ++i) seen.insert(SpacedHex(Send(card, "00 86 00 00 08")));
  EXPECT_EQ(seen.size(), 4u);
}

TEST_F(CardTest, ChallengeModeWantsTheAnswerToTheLastChallenge) {
  Profile p = DefaultProfile();
  p.authMode = AuthMode::kChallenge;
  FiscCard c(p);
  c.PowerOn();
  RunScript(c, {{kSelectApp, "90 00"}, {kExtAuthOk, "63 00"}});  // no challenge yet
  auto challenge = Send(c, "00 86 00 00 08");
  ASSERT_EQ(challenge.size(), 10u);
  std::vector<uint8_t> block(challenge.begin(), challenge.begin() + 8);
  block.resize(16, 0);
  auto expected = test::AesCbc(p.authKey.data(), block);
  std::vector<uint8_t> command = Bytes("00 82 00 18 08");
  command.insert(command.end(), expected.begin(), expected.begin() + 8);
  EXPECT_EQ(SpacedHex(c.Transmit(command)), "90 00");
  EXPECT_TRUE(c.ExternallyAuthenticated());
  EXPECT_EQ(SpacedHex(c.Transmit(command)), "63 00");  // a challenge answers one attempt only
  EXPECT_FALSE(c.ExternallyAuthenticated());
}

TEST_F(CardTest, TacNeedsAVerifiedPinAndCarriesSequenceAndCode) {
  RunScript(card, {{kSelectApp, "90 00"}, {kTacInquiry, "66 10"}, {kVerify9999, "66 08"}, {kVerify1234, "90 00"}});
  const auto block =
      Bytes("32 35 32 31 31 32 33 34 35 36 37 38 41 42 43 44 45 46 47 48 30 30 38 31 32 33 34 35");
  const auto profile = DefaultProfile();
  for (const char* seq : {"00000001", "00000002"}) {
    auto answer = Send(card, kTacInquiry);
    ASSERT_EQ(answer.size(), 21u) << SpacedHex(answer);
    EXPECT_EQ(answer[0], 0x00);
    EXPECT_EQ(std::string(answer.begin() + 1, answer.begin() + 9), seq);
    EXPECT_EQ(answer[9], 0x00);
    EXPECT_EQ(answer[10], 0x00);
    EXPECT_EQ(SpacedHex({answer.begin() + 11, answer.begin() + 19}),
              SpacedHex(test::ExpectedTac(profile.tacKey.data(), seq, block)));
    EXPECT_EQ(SpacedHex({answer.end() - 2, answer.end()}), "90 00");
  }
  // A different block gives a different TAC; the card's helper agrees with the reference.
  auto other = Send(card, "00 E2 10 80 04 31 32 33 34 00");
  auto tac = ComputeTac(profile.tacKey, 3, Bytes("31 32 33 34").data(), 4);
  EXPECT_EQ(SpacedHex({other.begin() + 11, other.begin() + 19}),
            SpacedHex({tac.begin(), tac.end()}));
  EXPECT_EQ(card.NextSequence(), 4u);
  card.PowerOff();
  card.PowerOn();
  RunScript(card, {{kSelectApp, "90 00"}, {kTacInquiry, "66 10"}});
}

TEST_F(CardTest, SequenceNumberWrapsAfterEightDigits) {
  Profile p = DefaultProfile();
  p.sequence = 99999999;
  FiscCard c(p);
  c.PowerOn();
  RunScript(c, {{kSelectApp, "90 00"},
                {kVerify1234, "90 00"},
                {kTacInquiry, "00 3939393939393939 0000 ???????????????? 9000"},
                {kTacInquiry, "00 3030303030303030 0000 ???????????????? 9000"}});
}

TEST_F(CardTest, TacLogKeepsTheTenNewestWithRecordOneNewest) {
  RunScript(card, {{kSelectApp, "90 00"},
                   {kVerify1234, "90 00"},
                   {"00 A4 02 00 02 10 80", "90 00"},
                   {"00 B2 01 04 00", "000000000000000000000000000000000000000000000000000000000000 9000"},
                   {"00 B2 0B 04 00", "6A 83"}});
  std::vector<std::vector<uint8_t>> tacs;
  for (int i = 1; i <= 12; ++i) {
    std::string cmd = "00 E2 10 80 0A " + std::string(10 * 2, static_cast<char>('0' + i % 10));
    cmd += " 00";
    auto answer = Send(card, cmd);
    ASSERT_EQ(answer.size(), 21u);
    tacs.push_back(answer);
  }
  Send(card, "00 A4 02 00 02 10 80");
  for (int r = 1; r <= 10; ++r) {
    char cmd[32];
    std::snprintf(cmd, sizeof(cmd), "00 B2 %02X 04 00", r);
    auto rec = Send(card, cmd);
    ASSERT_EQ(rec.size(), kTacLogRecordSize + 2) << r;
    const auto& tac = tacs[static_cast<size_t>(12 - r)];  // record 1 = the 12th TAC
    EXPECT_EQ(std::string(rec.begin(), rec.begin() + 8), std::string(tac.begin() + 1, tac.begin() + 9)) << r;
    EXPECT_TRUE(std::equal(rec.begin() + 8, rec.begin() + 16, tac.begin() + 11)) << r;
    const uint8_t fill = static_cast<uint8_t>(((12 - r + 1) % 10) * 0x11);
    EXPECT_EQ(rec[16], fill) << r;  // the block's first bytes
    EXPECT_EQ(rec[25], fill) << r;
    EXPECT_EQ(rec[26], 0x00) << r;  // a 10-byte block leaves the last 4 bytes zero
  }
}

TEST_F(CardTest, PowerOnAndResetClearSelectionVerificationAndAuthentication) {
  RunScript(card, {{kSelectApp, "90 00"}, {kVerify1234, "90 00"}, {kExtAuthOk, "90 00"},
                   {"00 A4 02 00 02 10 01", "90 00"}});
  EXPECT_TRUE(card.PinVerified());
  card.Reset();
  EXPECT_FALSE(card.PinVerified());
  EXPECT_FALSE(card.ExternallyAuthenticated());
  RunScript(card, {{"00 B2 01 04 00", "69 86"}, {"00 A4 02 00 02 10 01", "6A 82"}});
  EXPECT_EQ(test::SpacedHex(card.Atr()), "3B 80 80 01 01");
}

TEST(PinBlock, PacksThePinAsNibblesAfterFs) {
  auto hex = [](std::string_view pin) {
    auto b = PinBlockOf(pin);
    return SpacedHex({b.begin(), b.end()});
  };
  EXPECT_EQ(hex("1234"), "12 34 FF FF FF FF FF FF");
  EXPECT_EQ(hex(""), "FF FF FF FF FF FF FF FF");
  EXPECT_EQ(hex("1234567890123456"), "12 34 56 78 90 12 34 56");
  EXPECT_EQ(hex("12345"), "12 34 5F FF FF FF FF FF");
}

}  // namespace
}  // namespace quilta::sim
