// Card profiles: the text format, the shipped examples and clean rejection of bad files.
#include "sim/profile.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "sim/fisc_card.h"
#include "tests/sim/apdu_script.h"

namespace quilta::sim {
namespace {

const std::string kDir = QUILTA_SIM_PROFILES_DIR;

TEST(Profile, ShippedDefaultEqualsTheCompiledInOne) {
  EXPECT_EQ(FormatProfile(LoadProfile(kDir + "/default.txt")), FormatProfile(DefaultProfile()));
}

TEST(Profile, EveryShippedProfileLoads) {
  int n = 0;
  for (const auto& entry : std::filesystem::directory_iterator(kDir)) {
    if (entry.path().extension() != ".txt") continue;
    EXPECT_NO_THROW(LoadProfile(entry.path().string())) << entry.path();
    ++n;
  }
  EXPECT_GE(n, 4);
}

TEST(Profile, SpecialValuesFillTheWholeField) {
  Profile p = ParseProfile(
      "# comment\n"
      "\n"
      "account1 = blank\n"
      "account2 = nul\n"
      "account3 = zeros\n"
      "account4 = \"  12345678901234\"\n"
      "account5 = missing\n"
      "account6 = hex:30303030303030303030303030303031\n"
      "registered1 = 008123450081234500099999\n"
      "remark = blank\n"
      "pin = \"\"\n"
      "pin-tries = 1\n"
      "auth-mode = challenge\n"
      "sequence = 99999999\n");
  EXPECT_EQ(*p.accounts[0], std::string(16, ' '));
  EXPECT_EQ(*p.accounts[1], std::string(16, '\0'));
  EXPECT_EQ(*p.accounts[2], std::string(16, '0'));
  EXPECT_EQ(*p.accounts[3], "  12345678901234");
  EXPECT_FALSE(p.accounts[4].has_value());
  EXPECT_EQ(*p.accounts[5], "0000000000000001");
  EXPECT_EQ(*p.accounts[6], std::string(16, '0'));  // untouched default
  EXPECT_EQ(*p.registered[0], "008123450081234500099999");
  EXPECT_EQ(p.remark, std::string(30, ' '));
  EXPECT_EQ(p.pin, "");
  EXPECT_EQ(p.pinTries, 1);
  EXPECT_EQ(p.authMode, AuthMode::kChallenge);
  EXPECT_EQ(p.sequence, 99999999u);
}

TEST(Profile, RoundTripsThroughTheTextForm) {
  Profile p = LoadProfile(kDir + "/empty-accounts.txt");
  p.accounts[7] = std::nullopt;
  p.pin = "1 2";
  EXPECT_EQ(FormatProfile(ParseProfile(FormatProfile(p))), FormatProfile(p));
}

TEST(Profile, CardServesTheProfileBytesAsTheyAre) {
  FiscCard card(LoadProfile(kDir + "/missing-record.txt"));
  card.PowerOn();
  test::RunScript(card, {
      {"00 A4 04 00 08 A0 00 00 01 72 95 00 01 00", "90 00"},
      {"00 A4 02 00 02 10 01", "90 00"},
      {"00 B2 06 04 00", "06 10 30303831323334353030303434343434 90 00"},
      {"00 B2 07 04 00", "6A 83"},
      {"00 B2 08 04 00", "08 10 30303030303030303030303030303030 90 00"},
  });
  FiscCard odd(LoadProfile(kDir + "/empty-accounts.txt"));
  odd.PowerOn();
  test::RunScript(odd, {
      {"00 A4 04 00 08 A0 00 00 01 72 95 00 01 00", "90 00"},
      {"00 A4 02 00 02 10 01", "90 00"},
      {"00 B2 02 04 00", "02 1E 000000000000000000000000000000000000000000000000000000000000 90 00"},
      {"00 B2 03 04 00", "03 10 20202020202020202020202020202020 90 00"},
      {"00 B2 05 04 00", "05 10 00000000000000000000000000000000 90 00"},
      {"00 B2 08 04 00", "08 10 20202020303030300000000030303030 90 00"},
  });
}

TEST(Profile, BadFilesAreRejectedWithTheLine) {
  const char* bad[] = {
      "colour = blue\n",
      "issuer = 1234567\n",
      "issuer = 123456789\n",
      "identity = hex:0102\n",
      "identity = hex:0102030405060708090A0B0C0D0E0FXX\n",
      "external-key = hex:112233445566778\n",
      "pin-tries = 4\n",
      "pin-tries = -1\n",
      "sequence = 100000000\n",
      "sequence = 12ab\n",
      "pin = 12345678901234567\n",
      "issuer = missing\n",
      "auth-mode = sometimes\n",
      "account9 = 0000000000000001\n",
      "account0 = 0000000000000001\n",
      "just words\n",
      "name =\n",
      "pin = 1\npin = 2\n",
  };
  for (const char* text : bad) {
    try {
      ParseProfile(text);
      ADD_FAILURE() << "accepted: " << text;
    } catch (const ProfileError& e) {
      EXPECT_NE(std::string(e.what()).find("line "), std::string::npos) << e.what();
    }
  }
  try {
    ParseProfile("name = x\n\n  # note\nissuer = 1\n");
    ADD_FAILURE();
  } catch (const ProfileError& e) {
    EXPECT_NE(std::string(e.what()).find("line 4"), std::string::npos) << e.what();
  }
  EXPECT_THROW(LoadProfile(kDir + "/no-such-profile.txt"), ProfileError);
}

}  // namespace
}  // namespace quilta::sim
