// The simulated card behind the real pcscd (vsmartcard's vpcd driver), through pcsc-lite.
// Runs inside tools/pcsc-sandbox, which exports the readers and control sockets.
#include <gtest/gtest.h>
#include <winscard.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "sim/control_client.h"
#include "tests/sim/apdu_script.h"

namespace quilta::sim {
namespace {

using test::Bytes;
using test::SpacedHex;

class PcscTest : public ::testing::Test {
 protected:
  void SetUp() override {
    reader_ = SandboxSlotFromEnvironment(0).reader;
    padReader_ = SandboxSlotFromEnvironment(1).reader;
    if (reader_.empty() || padReader_.empty()) GTEST_SKIP() << "run through tools/pcsc-sandbox --slots 2";
    ASSERT_EQ(SCardEstablishContext(SCARD_SCOPE_SYSTEM, nullptr, nullptr, &ctx_), SCARD_S_SUCCESS);
  }
  void TearDown() override {
    if (card_) SCardDisconnect(card_, SCARD_LEAVE_CARD);
    if (ctx_) SCardReleaseContext(ctx_);
  }

  LONG Connect(const std::string& reader) {
    if (card_) SCardDisconnect(card_, SCARD_LEAVE_CARD);
    card_ = 0;
    DWORD protocol = 0;
    LONG rv = SCardConnect(ctx_, reader.c_str(), SCARD_SHARE_SHARED, SCARD_PROTOCOL_T0 | SCARD_PROTOCOL_T1,
                           &card_, &protocol);
    if (rv == SCARD_S_SUCCESS) protocol_ = protocol;
    return rv;
  }

  // The answer as hex, or "rv <code>" when the transmit call fails.
  std::string Transmit(const char* apduHex) {
    auto apdu = Bytes(apduHex);
    uint8_t buf[272];
    DWORD len = sizeof(buf);
    LONG rv = SCardTransmit(card_, SCARD_PCI_T1, apdu.data(), static_cast<DWORD>(apdu.size()), nullptr, buf, &len);
    if (rv != SCARD_S_SUCCESS) return "rv " + std::to_string(rv);
    return SpacedHex(std::vector<uint8_t>(buf, buf + len));
  }

  DWORD ReaderState(const std::string& reader) {
    SCARD_READERSTATE st{};
    st.szReader = reader.c_str();
    st.dwCurrentState = SCARD_STATE_UNAWARE;
    EXPECT_EQ(SCardGetStatusChange(ctx_, 0, &st, 1), SCARD_S_SUCCESS);
    return st.dwEventState;
  }

  SCARDCONTEXT ctx_ = 0;
  SCARDHANDLE card_ = 0;
  DWORD protocol_ = 0;
  std::string reader_;
  std::string padReader_;
};

TEST_F(PcscTest, ReadsTheCardThroughPcscdAndSurvivesPullAndReinsert) {
  ASSERT_EQ(Connect(reader_), SCARD_S_SUCCESS);
  EXPECT_EQ(protocol_, static_cast<DWORD>(SCARD_PROTOCOL_T1));
  EXPECT_EQ(Transmit("00 A4 04 00 08 A0 00 00 01 72 95 00 01 00"), "90 00");
  EXPECT_EQ(Transmit("00 B0 00 00 10"), "01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F 10 90 00");
  EXPECT_EQ(Transmit("00 20 00 10 08 12 34 FF FF FF FF FF FF"), "90 00");
  EXPECT_TRUE(test::Matches(Bytes(Transmit("00 E2 10 80 04 31 32 33 34 00")),
                            "00 3030303030303031 0000 ???????????????? 9000"));

  ControlClient control(SandboxSlotFromEnvironment(0).control);
  ASSERT_TRUE(control.Remove(true)) << control.Status();
  EXPECT_TRUE(ReaderState(reader_) & SCARD_STATE_EMPTY);
  EXPECT_NE(Transmit("00 B0 00 00 10").rfind("rv ", 0), std::string::npos);
  ASSERT_TRUE(control.Insert(true));
  EXPECT_TRUE(ReaderState(reader_) & SCARD_STATE_PRESENT);

  ASSERT_EQ(Connect(reader_), SCARD_S_SUCCESS);
  EXPECT_EQ(Transmit("00 A4 04 00 08 A0 00 00 01 72 95 00 01 00"), "90 00");
  EXPECT_EQ(Transmit("00 E2 10 80 04 31 32 33 34 00"), "66 10");  // re-inserted: PIN needed again
  EXPECT_EQ(Transmit("00 20 00 10 08 12 34 FF FF FF FF FF FF"), "90 00");
  EXPECT_TRUE(test::Matches(Bytes(Transmit("00 E2 10 80 04 31 32 33 34 00")),
                            "00 3030303030303032 0000 ???????????????? 9000"));  // the same card

  ASSERT_TRUE(control.Swap(std::string(QUILTA_SIM_PROFILES_DIR) + "/issuer-95100000.txt"));
  ASSERT_EQ(Connect(reader_), SCARD_S_SUCCESS);
  EXPECT_EQ(Transmit("00 B0 00 00 10"), "95 10 00 00 00 00 00 00 00 00 00 00 00 00 00 01 90 00");
  ASSERT_TRUE(control.Swap("default"));
}

TEST_F(PcscTest, PinPadReaderAnswersThroughPcscd) {
  ControlClient control(SandboxSlotFromEnvironment(1).control);
  ASSERT_TRUE(control.SetPinPad(PinPadAction::kEnterPin, "1234"));
  ASSERT_EQ(Connect(padReader_), SCARD_S_SUCCESS);
  EXPECT_EQ(Transmit("00 A4 04 00 08 A0 00 00 01 72 95 00 01 00"), "90 00");
  EXPECT_EQ(Transmit("80 20 00 10"), "90 00");
  ASSERT_TRUE(control.SetPinPad(PinPadAction::kTimeout));
  EXPECT_EQ(Transmit("00 20 00 10 08 FF FF FF FF FF FF FF FF"), "69 F0");
  ASSERT_TRUE(control.SetPinPad(PinPadAction::kPassThrough));
  EXPECT_EQ(Transmit("80 20 00 10"), "6E 00");
}

}  // namespace
}  // namespace quilta::sim
