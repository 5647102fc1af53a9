// The real quilta-vpcd-bridge process against a stand-in for vpcd's side of the socket:
// framing, control requests, pulling and re-inserting the card.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "sim/control_client.h"
#include "sim/vpcd_protocol.h"
#include "tests/sim/apdu_script.h"

extern char** environ;

namespace quilta::sim {
namespace {

using test::Bytes;
using test::SpacedHex;

constexpr int kWaitMs = 10000;  // a bound against hangs, not a timing requirement

// vpcd's end: listens, accepts the bridge, sends framed requests.
class FakeVpcd {
 public:
  FakeVpcd() {
    listen_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(listen_, reinterpret_cast<sockaddr*>(&a), sizeof(a));
    listen(listen_, 1);
    socklen_t len = sizeof(a);
    getsockname(listen_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
  }
  ~FakeVpcd() {
    if (conn_ >= 0) close(conn_);
    close(listen_);
  }
  uint16_t Port() const { return port_; }

  bool Accept() {
    if (conn_ >= 0) close(conn_);
    conn_ = -1;
    pollfd p{listen_, POLLIN, 0};
    if (poll(&p, 1, kWaitMs) != 1) return false;
    conn_ = accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
    return conn_ >= 0;
  }

  void Send(const std::vector<uint8_t>& payload) {
    auto framed = FrameVpcd(payload);
    ASSERT_EQ(send(conn_, framed.data(), framed.size(), MSG_NOSIGNAL), static_cast<ssize_t>(framed.size()));
  }

  // The next framed answer; empty when the bridge closed the connection.
  std::vector<uint8_t> Receive() {
    uint8_t len[2];
    if (!ReadFull(len, 2)) return {};
    std::vector<uint8_t> out(static_cast<size_t>(len[0] << 8 | len[1]));
    if (!out.empty() && !ReadFull(out.data(), out.size())) return {};
    return out;
  }

  std::vector<uint8_t> Exchange(const char* apduHex) {
    Send(Bytes(apduHex));
    return Receive();
  }

  bool ClosedByPeer() {
    uint8_t b;
    pollfd p{conn_, POLLIN, 0};
    return poll(&p, 1, kWaitMs) == 1 && recv(conn_, &b, 1, 0) == 0;
  }

 private:
  bool ReadFull(uint8_t* buf, size_t n) {
    size_t got = 0;
    while (got < n) {
      pollfd p{conn_, POLLIN, 0};
      if (poll(&p, 1, kWaitMs) != 1) return false;
      ssize_t k = recv(conn_, buf + got, n - got, 0);
      if (k <= 0) return false;
      got += static_cast<size_t>(k);
    }
    return true;
  }

  int listen_ = -1;
  int conn_ = -1;
  uint16_t port_ = 0;
};

class BridgeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/quilta-bridge-test.XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    control_ = dir_ + "/control.sock";
    std::vector<std::string> args = {QUILTA_VPCD_BRIDGE, "--host", "127.0.0.1", "--port",
                                     std::to_string(vpcd_.Port()), "--control", control_};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    ASSERT_EQ(posix_spawn(&pid_, argv[0], nullptr, nullptr, argv.data(), environ), 0);
    ASSERT_TRUE(vpcd_.Accept()) << "the bridge did not connect";
  }
  void TearDown() override {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      int status = 0;
      waitpid(pid_, &status, 0);
    }
    unlink(control_.c_str());
    rmdir(dir_.c_str());
  }

  FakeVpcd vpcd_;
  std::string dir_;
  std::string control_;
  pid_t pid_ = -1;
};

TEST_F(BridgeTest, AnswersVpcdRequestsAndControlOrders) {
  ControlClient control(control_);
  vpcd_.Send({kVpcdGetAtr});
  EXPECT_EQ(SpacedHex(vpcd_.Receive()), "3B 80 80 01 01");
  vpcd_.Send({kVpcdPowerOn});  // no answer
  EXPECT_EQ(SpacedHex(vpcd_.Exchange("00 A4 04 00 08 A0 00 00 01 72 95 00 01 00")), "90 00");
  EXPECT_EQ(SpacedHex(vpcd_.Exchange("00 B0 00 00 10")),
            "01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F 10 90 00");

  EXPECT_EQ(control.Status().rfind("ok inserted=1 connected=1 profile=default pinpad=pass", 0), 0u)
      << control.Status();
  EXPECT_EQ(SpacedHex(vpcd_.Exchange("80 20 00 10")), "6E 00");  // an ordinary reader at first
  EXPECT_TRUE(control.SetPinPad(PinPadAction::kEnterPin, "1234"));
  EXPECT_EQ(SpacedHex(vpcd_.Exchange("80 20 00 10")), "90 00");
  EXPECT_TRUE(control.SetPinPad(PinPadAction::kTimeout));
  EXPECT_EQ(SpacedHex(vpcd_.Exchange("80 20 00 10")), "69 F0");
  EXPECT_EQ(control.Request("pinpad sometimes").rfind("error", 0), 0u);
  EXPECT_EQ(control.Request("dance").rfind("error", 0), 0u);
  EXPECT_EQ(control.Request("remove wait").rfind("error", 0), 0u);  // no reader name to wait on
  EXPECT_TRUE(vpcd_.ClosedByPeer());
}

TEST_F(BridgeTest, PullingAndReinsertingKeepsTheCardButPowersItOff) {
  ControlClient control(control_);
  vpcd_.Send({kVpcdPowerOn});
  EXPECT_EQ(SpacedHex(vpcd_.Exchange("00 A4 04 00 08 A0 00 00 01 72 95 00 01 00")), "90 00");
  EXPECT_EQ(SpacedHex(vpcd_.Exchange("00 20 00 10 08 99 99 FF FF FF FF FF FF")), "66 08");

  ASSERT_TRUE(control.Remove(false));
  EXPECT_TRUE(vpcd_.ClosedByPeer());
  EXPECT_NE(control.Status().find("inserted=0"), std::string::npos);
  ASSERT_TRUE(control.Insert(false));
  ASSERT_TRUE(vpcd_.Accept());
  EXPECT_EQ(SpacedHex(vpcd_.Exchange("00 A4 04 00 08 A0 00 00 01 72 95 00 01 00")),
            "6F 00");  // unpowered
  vpcd_.Send({kVpcdPowerOn});
  EXPECT_EQ(SpacedHex(vpcd_.Exchange("00 A4 04 00 08 A0 00 00 01 72 95 00 01 00")), "90 00");
  EXPECT_NE(control.Status().find("tries=2"), std::string::npos) << control.Status();  // same card

  ASSERT_TRUE(control.Swap(std::string(QUILTA_SIM_PROFILES_DIR) + "/issuer-95100000.txt", false));
  ASSERT_TRUE(vpcd_.Accept());
  vpcd_.Send({kVpcdPowerOn});
  EXPECT_EQ(SpacedHex(vpcd_.Exchange("00 B0 00 00 10")),
            "95 10 00 00 00 00 00 00 00 00 00 00 00 00 00 01 90 00");
  EXPECT_NE(control.Status().find("profile=issuer-95100000"), std::string::npos);
  EXPECT_EQ(control.Request("swap /no/such/profile.txt").rfind("error", 0), 0u);

  EXPECT_EQ(control.Request("quit"), "ok");
  int status = 0;
  ASSERT_EQ(waitpid(pid_, &status, 0), pid_);
  pid_ = -1;
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST(ControlClientTest, ReportsAnUnreachableBridge) {
  ControlClient control("/tmp/quilta-no-such-bridge.sock");
  EXPECT_EQ(control.Status().rfind("error cannot reach", 0), 0u);
  EXPECT_FALSE(control.Insert());
}

}  // namespace
}  // namespace quilta::sim
