// The card engine on the real PC/SC stack: pcscd with vsmartcard's vpcd driver and the
// card simulator behind it, all inside tools/pcsc-sandbox (which sets the QUILTA_SIM_*
// variables read here). Outside the sandbox every test skips.
#include <dirent.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>

#include <cstdlib>
#include <algorithm>
#include <fstream>
#include <set>
#include <string>
#include <thread>

#include "core/atm_core.h"
#include "sim/control_client.h"
#include "sim/profile.h"

namespace quilta::testing {
namespace {

namespace sc = platform::scard;

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

std::string Narrow(const CAtmCore& core, Prop p) { return ToNarrow(core.props().TextOf(p)); }

class RealStack : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::SandboxSlot slot = sim::SandboxSlotFromEnvironment(0);
    reader_ = slot.reader;
    if (reader_.empty()) GTEST_SKIP() << "not inside tools/pcsc-sandbox";
    control_ = std::make_unique<sim::ControlClient>(slot.control);
    // Every test starts from a fresh default card.
    ASSERT_TRUE(control_->Swap("default")) << control_->Status();
  }

  // Each test has its own core; release its connection and context so the next test
  // finds the reader free, as a page that ends its session would.
  void TearDown() override {
    if (reader_.empty()) return;
    core_.DisconnectCard();
    core_.DisconnectDriver();
  }

  void Open() {
    ASSERT_EQ(core_.ConnectDriver(), 0) << core_.errorText();
    core_.PutText(Prop::ReaderName, AsciiText(reader_));
    ASSERT_EQ(core_.ConnectCard(), 0) << core_.errorText();
  }

  // A profile file with the given changes to the default card.
  std::string WriteProfile(const sim::Profile& p, const std::string& name) {
    std::string path = Env("QUILTA_SANDBOX_DIR") + "/" + name + ".profile";
    std::ofstream(path) << sim::FormatProfile(p);
    return path;
  }

  std::string reader_;
  std::unique_ptr<sim::ControlClient> control_;
  CAtmCore core_;
};

TEST_F(RealStack, ListsEveryReader) {
  ASSERT_EQ(core_.ConnectDriver(), 0);
  int expected = std::atoi(Env("QUILTA_EXPECT_READERS").c_str());
  ASSERT_GT(expected, 0);
  EXPECT_EQ(core_.ListReadersName(), 0) << core_.errorText();
  EXPECT_EQ(core_.props().NumberOf(Prop::ReaderCount), expected);
  // pcscd lists readers in an order of its own: compare as sets.
  std::set<std::string> names;
  for (int k = 0; k < std::min(expected, 10); ++k) {
    std::string name = Narrow(core_, Prop::Reader0 + k);
    EXPECT_EQ(name.rfind("Virtual PCD ", 0), 0u) << name;
    names.insert(name);
  }
  EXPECT_EQ(names.size(), static_cast<size_t>(std::min(expected, 10)));
  if (expected < 10) {
    EXPECT_EQ(Narrow(core_, Prop::Reader0 + expected), "");
    EXPECT_TRUE(names.count("Virtual PCD 00 00"));
    EXPECT_TRUE(names.count("Virtual PCD 00 01"));
  }
  EXPECT_EQ(core_.DisconnectDriver(), 0);
}

TEST_F(RealStack, ConnectReadAndCheck) {
  ASSERT_EQ(core_.ConnectDriver(), 0);
  core_.PutText(Prop::ReaderName, AsciiText(reader_));
  EXPECT_EQ(core_.CheckCardInsert(), 0);
  EXPECT_EQ(core_.props().NumberOf(Prop::ReaderInsert), 1);

  // Another program holds the card exclusively.
  platform::Pcsc& pcsc = platform::SystemPcsc();
  platform::ScardContext otherContext = 0;
  platform::ScardHandle otherCard = 0;
  uint32_t protocol = 0;
  ASSERT_EQ(pcsc.EstablishContext(sc::kScopeUser, &otherContext), sc::kSuccess);
  ASSERT_EQ(pcsc.Connect(otherContext, reader_, sc::kShareExclusive, sc::kProtocolT1, &otherCard, &protocol),
            sc::kSuccess);
  EXPECT_EQ(core_.ConnectCard(), 5014);
  EXPECT_EQ(core_.errorText(), " Card is already connect and locked. (5014)");
  EXPECT_EQ(pcsc.ReleaseContext(otherContext), sc::kSuccess);

  ASSERT_EQ(core_.ConnectCard(), 0) << core_.errorText();
  EXPECT_EQ(core_.channel().activeProtocol, sc::kProtocolT1);
  EXPECT_EQ(core_.ReadBasicData(), 0) << core_.errorText();
  EXPECT_EQ(Narrow(core_, Prop::IssuerBankNo), "00812345");
  EXPECT_EQ(Narrow(core_, Prop::CardNo), "0102030405060708090A0B0C0D0E0F10");
  EXPECT_EQ(Narrow(core_, Prop::AccountNo0), "0081234500012345");
  EXPECT_EQ(Narrow(core_, Prop::AccountNo1), "0081234500067890");
  EXPECT_EQ(Narrow(core_, Prop::MasterAccountNo), "0081234500012345");
  EXPECT_EQ(core_.props().NumberOf(Prop::AccountCount), 2);
  EXPECT_EQ(Narrow(core_, Prop::CardRemark).size(), 60u);
  EXPECT_EQ(core_.ReadAuthInAcctNo(), 0) << core_.errorText();
  EXPECT_EQ(core_.props().NumberOf(Prop::AuthInCount), 2);
  EXPECT_EQ(Narrow(core_, Prop::AuthInAccountNo1), "0070000012345678");
  EXPECT_EQ(core_.CheckCardChange(), 0);
  EXPECT_EQ(core_.props().NumberOf(Prop::CardChange), 0);

  // A second ConnectCard in the same process, with the card still held exclusively.
  EXPECT_EQ(core_.ConnectCard(), 0) << core_.errorText();
  EXPECT_EQ(core_.CheckCardChange(), 0);

  // Another card in the slot.
  sim::Profile other = sim::DefaultProfile();
  other.identity[15] = 0x99;
  ASSERT_TRUE(control_->Swap(WriteProfile(other, "other")));
  EXPECT_EQ(core_.ConnectCard(), 0) << core_.errorText();
  EXPECT_EQ(core_.CheckCardChange(), 0);
  EXPECT_EQ(core_.props().NumberOf(Prop::CardChange), 1);

  EXPECT_EQ(core_.DisconnectCard(), 0);
  EXPECT_EQ(core_.DisconnectDriver(), 0);
}

TEST_F(RealStack, PinVerifyChangeAndLock) {
  Open();
  EXPECT_EQ(core_.VerifyPIN(u"1234"), 0) << core_.errorText();
  EXPECT_TRUE(core_.state().pinVerified);
  EXPECT_EQ(core_.ChangePIN(u"1234", u"567890"), 0) << core_.errorText();
  EXPECT_EQ(core_.VerifyPIN(u"567890"), 0);
  EXPECT_EQ(core_.ChangePIN(u"1234", u"0000"), 5031);  // wrong old PIN: nothing written
  EXPECT_EQ(core_.VerifyPIN(u"1111"), 5031);
  EXPECT_EQ(core_.errorText(), "PIN Error. (5031)");
  EXPECT_EQ(core_.VerifyPIN(u"1111"), 5032);
  EXPECT_EQ(core_.errorText(), "FISC Card Locked (over error try 3 times). (5032)");
  EXPECT_EQ(core_.VerifyPIN(u"567890"), 5032);
  EXPECT_TRUE(core_.state().pinVerified);
}

TEST_F(RealStack, CardPulledAndPutBack) {
  Open();
  ASSERT_EQ(core_.ReadBasicData(), 0);
  ASSERT_TRUE(control_->Remove(true));
  EXPECT_EQ(core_.ReadBasicData(), 5035);
  EXPECT_EQ(core_.errorText(), "Card is Changed or Remove. (5035)");
  EXPECT_EQ(core_.props().NumberOf(Prop::AccountCount), 2);
  EXPECT_EQ(core_.CheckCardInsert(), 0);
  EXPECT_EQ(core_.props().NumberOf(Prop::ReaderInsert), 0);
  EXPECT_EQ(core_.ConnectCard(), 5013);
  EXPECT_EQ(core_.errorText(), "Fisc card is not inserted. (5013)");
  ASSERT_TRUE(control_->Insert(true));
  EXPECT_EQ(core_.ConnectCard(), 0) << core_.errorText();
  EXPECT_EQ(core_.ReadBasicData(), 0);
}

// pcsc-lite names readers in UTF-8: a reader with a non-ASCII name (the sandbox runs this
// test with "Lecteur à puce" as the vpcd entry's name) reaches the page as that text and
// opens when the page writes the name back.
TEST_F(RealStack, ReaderNamedInUtf8) {
  ASSERT_EQ(reader_, "Lecteur \xC3\xA0 puce 00 00");
  const Text name = u"Lecteur \u00E0 puce 00 00";
  ASSERT_EQ(core_.ConnectDriver(), 0) << core_.errorText();
  ASSERT_EQ(core_.ListReadersName(), 0) << core_.errorText();
  std::string listed;
  bool found = false;
  for (int k = 0; k < std::min(core_.props().NumberOf(Prop::ReaderCount), 10); ++k) {
    found = found || core_.props().TextOf(Prop::Reader0 + k) == name;
    listed += " \"" + ToUtf8(core_.props().TextOf(Prop::Reader0 + k)) + "\"";
  }
  EXPECT_TRUE(found) << "listed:" << listed;

  core_.PutText(Prop::ReaderName, name);
  EXPECT_EQ(core_.CheckCardInsert(), 0) << core_.errorText();
  EXPECT_EQ(core_.props().NumberOf(Prop::ReaderInsert), 1);
  ASSERT_EQ(core_.ConnectCard(), 0) << core_.errorText();
  EXPECT_EQ(core_.ReadBasicData(), 0) << core_.errorText();
}

// The card is pulled while commands are running: whichever command it hits, the page reads
// "Card is Changed or Remove." (pcsc-lite itself reports a failed exchange or a truncated
// answer), never data, and the next connect works again.
TEST_F(RealStack, CardPulledMidOperation) {
  Open();
  for (int round = 0; round < 3; ++round) {
    // The card goes once the page has read it round + 1 times: the pull lands while reads are
    // running, at a command that differs from round to round.
    std::atomic<int> reads{0};
    std::thread customer([&] {
      while (reads.load() <= round) std::this_thread::yield();
      control_->Remove(false);
    });
    int32_t st = 0;
    while (st == 0) {
      st = core_.ReadBasicData();
      ++reads;
      if (st == 0) {
        EXPECT_EQ(Narrow(core_, Prop::CardNo), "0102030405060708090A0B0C0D0E0F10");
        EXPECT_EQ(core_.props().NumberOf(Prop::AccountCount), 2);
      }
    }
    customer.join();
    EXPECT_EQ(st, 5035) << core_.errorText();
    EXPECT_EQ(core_.props().NumberOf(Prop::AccountCount), 2);
    // Wait until pcscd reports the slot empty, then put the card back.
    ASSERT_TRUE(control_->Remove(true));
    ASSERT_TRUE(control_->Insert(true));
    ASSERT_EQ(core_.ConnectCard(), 0) << core_.errorText();
  }
}

// pcscd of this sandbox: the one in our own network namespace.
pid_t SandboxPcscd() {
  char self[128] = {};
  if (readlink("/proc/self/ns/net", self, sizeof self - 1) <= 0) return 0;
  DIR* proc = opendir("/proc");
  if (!proc) return 0;
  pid_t found = 0;
  while (dirent* e = readdir(proc)) {
    pid_t pid = std::atoi(e->d_name);
    if (pid <= 0) continue;
    std::string base = std::string("/proc/") + e->d_name;
    std::ifstream comm(base + "/comm");
    std::string name;
    if (!std::getline(comm, name) || name != "pcscd") continue;
    char ns[128] = {};
    if (readlink((base + "/ns/net").c_str(), ns, sizeof ns - 1) <= 0) continue;
    if (std::string(ns) == self) found = pid;
  }
  closedir(proc);
  return found;
}

bool Gone(pid_t pid) {
  for (int i = 0; i < 100; ++i) {
    if (kill(pid, 0) != 0) return true;
    usleep(50000);
  }
  return false;
}

TEST_F(RealStack, ServiceStoppedAndRestarted) {
  Open();
  ASSERT_EQ(core_.ReadBasicData(), 0);
  const platform::ScardContext oldContext = core_.channel().context;
  pid_t pcscd = SandboxPcscd();
  ASSERT_GT(pcscd, 0);
  ASSERT_EQ(kill(pcscd, SIGTERM), 0);
  ASSERT_TRUE(Gone(pcscd));

  EXPECT_EQ(core_.ListReadersName(), 5001);
  EXPECT_EQ(core_.errorText(), "no pc/sc reader driver installed. (5001)");
  EXPECT_EQ(core_.ReadBasicData(), 5001);
  EXPECT_EQ(core_.CheckCardInsert(), 5001);
  EXPECT_EQ(core_.ConnectCard(), 5001);
  EXPECT_EQ(core_.VerifyPIN(u"1234"), 5001);
  EXPECT_EQ(core_.ConnectDriver(), 5001);
  EXPECT_EQ(core_.props().NumberOf(Prop::AccountCount), 2);

  // Start it again with the sandbox's reader configuration; the bridge finds vpcd again.
  pid_t restarted = fork();
  ASSERT_GE(restarted, 0);
  if (restarted == 0) {
    std::string conf = Env("QUILTA_SANDBOX_DIR") + "/reader.conf.d";
    execlp("pcscd", "pcscd", "-f", "-c", conf.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  int32_t st = 5001;
  for (int i = 0; i < 200 && st != 0; ++i) {  // until the reader is back with its card
    usleep(50000);
    if (core_.ConnectDriver() != 0) continue;
    core_.PutText(Prop::ReaderName, AsciiText(reader_));
    if (core_.CheckCardInsert() != 0 || core_.props().NumberOf(Prop::ReaderInsert) == 0) {
      core_.DisconnectDriver();
      continue;
    }
    st = core_.ConnectCard();
  }
  EXPECT_EQ(st, 0) << core_.errorText();
  // The context from before the stop died with the service, and the plug-in has released it
  // since (the new context holds the card): no connection to pcscd is left behind.
  char names[2000];
  uint32_t length = sizeof names;
  EXPECT_EQ(core_.channel().pcsc->ListReaders(oldContext, names, &length), sc::kInvalidHandle);
  EXPECT_EQ(core_.ReadBasicData(), 0) << core_.errorText();
  EXPECT_EQ(core_.VerifyPIN(u"1234"), 0);

  kill(restarted, SIGTERM);
  waitpid(restarted, nullptr, 0);
}

}  // namespace
}  // namespace quilta::testing
