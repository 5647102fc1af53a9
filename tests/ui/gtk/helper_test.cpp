// The helper process on its own: it survives whatever the socket brings and ends with the
// process that started it. The plug-in side copes with no display, no helper and a helper that
// dies, and keeps the helper from one dialog to the next: reused with nothing of the earlier
// dialog left, started again when it has ended.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <random>
#include <string>

#include "ui/dialog_template.h"
#include "ui/dialog_wire.h"
#include "ui/remote_renderer.h"
#include "x_session.h"

extern char** environ;

namespace quilta::ui {
namespace {

using quilta::testing::PrivateDisplay;

// Sets an environment variable for one scope (unset when value is null).
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value)
      setenv(name, value, 1);
    else
      unsetenv(name);
  }
  ~ScopedEnv() {
    if (old_)
      setenv(name_, old_->c_str(), 1);
    else
      unsetenv(name_);
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

constexpr Control kTinyControls[] = {
    {-1, ControlKind::Text, 5, 5, 80, 9, u"請在"},
    {1, ControlKind::DefaultButton, 10, 20, 40, 14, u"確認"},
};
constexpr DialogTemplate kTiny{9001, 100, 40, u"", u"標楷體", 14, false, false, kTinyControls};

// The helper started by hand, spoken to frame by frame.
class RawHelper {
 public:
  RawHelper() {
    int sv[2];
    EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv), 0);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, sv[1], 3);
    const char* argv[] = {QUILTA_DIALOGS_PATH, "--fd", "3", nullptr};
    EXPECT_EQ(posix_spawn(&pid_, QUILTA_DIALOGS_PATH, &fa, nullptr, const_cast<char**>(argv), environ), 0);
    posix_spawn_file_actions_destroy(&fa);
    close(sv[1]);
    fd_ = sv[0];
  }
  ~RawHelper() {
    if (fd_ >= 0) close(fd_);
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  void SendBytes(const std::vector<uint8_t>& bytes) {
    ASSERT_EQ(send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL), static_cast<ssize_t>(bytes.size()));
  }
  // The next frame from the helper; false at end of stream.
  bool Receive(wire::Msg& type, std::vector<uint8_t>& body) {
    for (;;) {
      std::span<const uint8_t> b;
      if (in_.Next(type, b) == wire::FrameSplitter::Result::Frame) {
        body.assign(b.begin(), b.end());
        return true;
      }
      uint8_t buf[4096];
      const ssize_t n = recv(fd_, buf, sizeof buf, 0);
      if (n <= 0) return false;
      in_.Feed(buf, static_cast<size_t>(n));
    }
  }
  // Skips frames until one of this type arrives.
  std::optional<std::vector<uint8_t>> Await(wire::Msg want) {
    wire::Msg type;
    std::vector<uint8_t> body;
    while (Receive(type, body))
      if (type == want) return body;
    return std::nullopt;
  }
  // The exit status once the helper has ended by itself.
  int WaitExit() {
    int st = 0;
    waitpid(pid_, &st, 0);
    pid_ = -1;
    return st;
  }

 private:
  int fd_ = -1;
  pid_t pid_ = -1;
  wire::FrameSplitter in_;
};

TEST(DialogHelper, WithoutADisplayNothingStartsAndEverythingReturnsAtOnce) {
  ScopedEnv display("DISPLAY", nullptr);
  ScopedEnv wayland("WAYLAND_DISPLAY", nullptr);
  RemoteRenderer r(QUILTA_DIALOGS_PATH);
  EXPECT_FALSE(r.Open(kTiny, u"x"));
  EXPECT_EQ(r.HelperPid(), -1);
  r.MessageBox(u"卡已被拔出..請確認再試!", u"訊息");  // returns without anyone to close it
  const auto ev = r.WaitEvent(-1);
  ASSERT_TRUE(ev);
  EXPECT_EQ(ev->kind, UiEvent::Kind::Closed);
  EXPECT_EQ(MakeDefaultRenderer(), nullptr);
}

TEST(DialogHelper, AHelperThatCannotStartOrCannotReachTheDisplayMeansNoDialog) {
  PrivateDisplay();
  RemoteRenderer missing("/nonexistent/quilta-dialogs");
  EXPECT_FALSE(missing.Open(kTiny, u"x"));

  ScopedEnv display("DISPLAY", ":4999");  // no server there
  RemoteRenderer unreachable(QUILTA_DIALOGS_PATH);
  EXPECT_FALSE(unreachable.Open(kTiny, u"x"));
  EXPECT_EQ(unreachable.HelperPid(), -1);  // the failed helper was reaped
}

TEST(DialogHelper, MalformedMessagesAreDroppedAndTheHelperKeepsAnswering) {
  PrivateDisplay();
  RawHelper h;
  auto hello = h.Await(wire::Msg::Hello);
  ASSERT_TRUE(hello);
  h.SendBytes(wire::Writer(wire::Msg::Hello).U16(wire::kVersion).Frame());

  // A short Open is refused with an Opened(false), not ignored silently.
  auto open = wire::EncodeOpen({});
  open.resize(open.size() - 3);
  open[0] = static_cast<uint8_t>(open.size() - 4);
  h.SendBytes(open);
  auto opened = h.Await(wire::Msg::Opened);
  ASSERT_TRUE(opened);
  auto om = wire::DecodeOpened(*opened);
  ASSERT_TRUE(om);
  EXPECT_FALSE(om->ok);

  h.SendBytes(wire::Writer(static_cast<wire::Msg>(200)).U32(1).Frame());             // unknown type
  h.SendBytes(wire::Writer(wire::Msg::Enable).I32(1).U8(2).Frame());                 // bad flag
  h.SendBytes(wire::Writer(wire::Msg::SetText).I32(1).U32(1000).U8('x').Frame());    // text runs past the end
  h.SendBytes(wire::Writer(wire::Msg::SetText).I32(1).Str("\xff\xfe\x00z").Frame()); // not UTF-8
  h.SendBytes(wire::Writer(wire::Msg::Close).U8(9).Frame());                         // trailing byte

  // Random frames of every type, including the Open of a real dialog now and then.
  std::mt19937 rng(20261208);
  for (int i = 0; i < 300; ++i) {
    wire::Writer w(static_cast<wire::Msg>(rng() % 80));
    const int n = static_cast<int>(rng() % 48);
    for (int k = 0; k < n; ++k) w.U8(static_cast<uint8_t>(rng()));
    h.SendBytes(w.Frame());
  }
  // Opens of a real template with a few bytes changed: most are refused, some open odd
  // dialogs (sizes, kinds, colours, pictures and texts out of the ordinary).
  const DialogTemplate* real = FindTemplate(104);
  ASSERT_NE(real, nullptr);
  wire::OpenMsg m;
  m.number = real->number;
  m.width = real->width;
  m.height = real->height;
  m.caption = "fuzz";
  m.fontFace = "標楷體";
  m.fontPoints = real->fontPoints;
  for (const Control& c : real->controls)
    m.controls.push_back({c.id, static_cast<uint8_t>(c.kind), c.x, c.y, c.w, c.h, "字", static_cast<uint8_t>(c.colour),
                          c.disabled, c.bitmap, c.hoverBitmap});
  const auto valid = wire::EncodeOpen(m);
  for (int i = 0; i < 60; ++i) {
    auto frame = valid;
    for (int k = 0, n = 1 + static_cast<int>(rng() % 3); k < n; ++k)
      frame[5 + rng() % (frame.size() - 5)] = static_cast<uint8_t>(rng());
    h.SendBytes(frame);
    h.SendBytes(wire::Writer(wire::Msg::SetText).I32(216).Str("12\xe5").Frame());
    h.SendBytes(wire::Writer(wire::Msg::Enable).I32(static_cast<int32_t>(rng() % 230)).U8(0).Frame());
  }
  h.SendBytes(wire::Writer(wire::Msg::Close).Frame());
  h.SendBytes(wire::Writer(wire::Msg::Ping).U32(0xC0FFEE).Frame());
  for (;;) {
    auto pong = h.Await(wire::Msg::Pong);
    ASSERT_TRUE(pong) << "the helper went away";
    wire::Reader r(*pong);
    if (r.U32() == 0xC0FFEE) break;  // random frames may have pinged as well
  }

  // A frame length no writer produces cannot be skipped: the helper ends, cleanly.
  h.SendBytes({0xFF, 0xFF, 0xFF, 0x7F, 1});
  const int st = h.WaitExit();
  EXPECT_TRUE(WIFEXITED(st)) << "status " << st;
}

TEST(DialogHelper, AnotherProtocolVersionEndsTheConversation) {
  PrivateDisplay();
  RawHelper h;
  ASSERT_TRUE(h.Await(wire::Msg::Hello));
  h.SendBytes(wire::Writer(wire::Msg::Hello).U16(wire::kVersion + 1).Frame());
  const int st = h.WaitExit();
  EXPECT_TRUE(WIFEXITED(st));
}

TEST(DialogHelper, AHelperThatDiesReportsClosedAndTheNextOpenStartsAFreshOne) {
  PrivateDisplay();
  RemoteRenderer r(QUILTA_DIALOGS_PATH);
  ASSERT_TRUE(r.Open(kTiny, u"helper death"));
  const pid_t first = r.HelperPid();
  ASSERT_GT(first, 0);
  kill(first, SIGKILL);
  auto ev = r.WaitEvent(-1);
  ASSERT_TRUE(ev);
  EXPECT_EQ(ev->kind, UiEvent::Kind::Closed);
  ev = r.WaitEvent(0);
  ASSERT_TRUE(ev);
  EXPECT_EQ(ev->kind, UiEvent::Kind::Closed);

  ASSERT_TRUE(r.Open(kTiny, u"helper death"));
  EXPECT_NE(r.HelperPid(), first);
  EXPECT_FALSE(r.WaitEvent(0).has_value());
  r.Close();
}

// What the plug-in's dialogs do one after another: each has a renderer of its own, and the
// renderer that ends leaves the helper to the next.
TEST(DialogHelper, TheNextDialogReusesTheHelperAndSeesNothingOfTheLastOne) {
  PrivateDisplay();
  pid_t helper = -1;
  {
    RemoteRenderer first(QUILTA_DIALOGS_PATH);
    ASSERT_TRUE(first.Open(kTiny, u"First dialog"));
    ASSERT_TRUE(first.OpenMessageBox(u"over the first dialog", u"First box"));
    ASSERT_TRUE(first.Sync());
    ASSERT_EQ(quilta::testing::FindWindows("First box").size(), 1u);
    helper = first.HelperPid();
    ASSERT_GT(helper, 0);
  }  // ends without Close, as a renderer whose dialog logic went away
  {
    RemoteRenderer lone(QUILTA_DIALOGS_PATH);
    ASSERT_TRUE(lone.OpenMessageBox(u"with no dialog", u"Lone box"));
    ASSERT_TRUE(lone.Sync());
    EXPECT_EQ(lone.HelperPid(), helper);
    EXPECT_TRUE(quilta::testing::FindWindows("First dialog").empty());
    EXPECT_TRUE(quilta::testing::FindWindows("First box").empty());
    EXPECT_EQ(quilta::testing::FindWindows("Lone box").size(), 1u);
    // The first dialog's box closed, but it was not this renderer's.
    EXPECT_FALSE(lone.WaitEvent(0).has_value());
  }  // ends without waiting for its box

  {
    RemoteRenderer next(QUILTA_DIALOGS_PATH);
    ASSERT_TRUE(next.Open(kTiny, u"Next dialog"));
    ASSERT_TRUE(next.Sync());
    EXPECT_EQ(next.HelperPid(), helper);
    EXPECT_TRUE(quilta::testing::FindWindows("Lone box").empty());
    EXPECT_EQ(quilta::testing::FindWindows("Next dialog").size(), 1u);
    EXPECT_FALSE(next.WaitEvent(0).has_value());
    // Its own box is reported, once.
    ASSERT_TRUE(next.OpenMessageBox(u"over the next dialog", u"Next box"));
    ASSERT_TRUE(next.Sync());
    const auto box = quilta::testing::FindWindows("Next box");
    ASSERT_EQ(box.size(), 1u);
    quilta::testing::Run("xdotool windowclose " + std::to_string(box.front()));
    const auto ev = next.WaitEvent(20000);
    ASSERT_TRUE(ev) << "the box's closing was not reported";
    EXPECT_EQ(ev->kind, UiEvent::Kind::MessageBoxClosed);
    ASSERT_TRUE(next.Sync());
    EXPECT_FALSE(next.WaitEvent(0).has_value());
    next.Close();
  }

  // The kept helper draws on the display it was started for, and on none without a display.
  {
    ScopedEnv display("DISPLAY", ":4999");  // no server there
    RemoteRenderer elsewhere(QUILTA_DIALOGS_PATH);
    EXPECT_FALSE(elsewhere.Open(kTiny, u"x"));
  }
  ScopedEnv display("DISPLAY", nullptr);
  RemoteRenderer none(QUILTA_DIALOGS_PATH);
  EXPECT_FALSE(none.Open(kTiny, u"x"));
  EXPECT_EQ(none.HelperPid(), -1);
}

TEST(DialogHelper, AKeptHelperThatHasEndedIsStartedAgainForTheNextDialog) {
  PrivateDisplay();
  pid_t helper = -1;
  {
    RemoteRenderer first(QUILTA_DIALOGS_PATH);
    ASSERT_TRUE(first.Open(kTiny, u"Before"));
    helper = first.HelperPid();
  }
  // Killed while it waits: whether the next dialog sees that before or after it sends its
  // Open, it gets a helper.
  kill(helper, SIGKILL);
  RemoteRenderer next(QUILTA_DIALOGS_PATH);
  ASSERT_TRUE(next.Open(kTiny, u"After"));
  ASSERT_TRUE(next.Sync());
  EXPECT_NE(next.HelperPid(), helper);
  EXPECT_EQ(quilta::testing::FindWindows("After").size(), 1u);
  EXPECT_FALSE(next.WaitEvent(0).has_value());
}

// The helper ends with the process that started it, also when a process forked from that one
// still holds a copy of the helper's socket.
TEST(DialogHelper, TheHelperEndsWithTheProcessThatStartedItThoughItsSocketLivesOn) {
  PrivateDisplay();
  ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0);  // the orphans come back to this process
  int report[2], release[2];
  ASSERT_EQ(pipe(report), 0);
  ASSERT_EQ(pipe(release), 0);
  const pid_t plugin = fork();
  ASSERT_GE(plugin, 0);
  if (plugin == 0) {
    close(report[0]);
    close(release[1]);
    RemoteRenderer r(QUILTA_DIALOGS_PATH);
    if (!r.Open(kTiny, u"Orphan") || !r.Sync()) _exit(1);
    pid_t pids[2] = {r.HelperPid(), fork()};
    if (pids[1] == 0) {  // keeps the socket until the test releases it
      char c;
      while (read(release[0], &c, 1) < 0 && errno == EINTR) {
      }
      _exit(0);
    }
    if (write(report[1], pids, sizeof pids) != static_cast<ssize_t>(sizeof pids)) _exit(1);
    for (;;) pause();
  }
  close(report[1]);
  close(release[0]);
  pid_t pids[2] = {-1, -1};
  ASSERT_EQ(read(report[0], pids, sizeof pids), static_cast<ssize_t>(sizeof pids));
  close(report[0]);
  const pid_t helper = pids[0], keeper = pids[1];
  ASSERT_GT(helper, 0);
  ASSERT_GT(keeper, 0);
  const int helperEnd = static_cast<int>(syscall(SYS_pidfd_open, helper, 0));
  ASSERT_GE(helperEnd, 0);

  kill(plugin, SIGKILL);
  waitpid(plugin, nullptr, 0);
  pollfd p{helperEnd, POLLIN, 0};
  EXPECT_EQ(poll(&p, 1, 20000), 1) << "the helper outlived the process that started it";
  close(helperEnd);

  close(release[1]);
  kill(helper, SIGKILL);  // when it did not end by itself
  waitpid(helper, nullptr, 0);
  waitpid(keeper, nullptr, 0);
  prctl(PR_SET_CHILD_SUBREAPER, 0);
}

#ifdef QUILTA_PLUGIN_MODULE
// The browser may hold another GTK in its process: the plug-in module must bring none of
// its own (GLib alone), and its helper must be where the module looks for it.
TEST(DialogHelper, ThePluginModuleLinksNoToolkitAndFindsItsHelperBesideIt) {
  const std::string deps = quilta::testing::Run(std::string("ldd ") + QUILTA_PLUGIN_MODULE);
  ASSERT_NE(deps.find("libc.so"), std::string::npos) << deps;
  EXPECT_EQ(deps.find("libgtk"), std::string::npos) << deps;
  EXPECT_EQ(deps.find("libgdk"), std::string::npos) << deps;
  std::string dir = QUILTA_PLUGIN_MODULE;
  dir.resize(dir.rfind('/') + 1);
  EXPECT_EQ(access((dir + "quilta-dialogs").c_str(), X_OK), 0);
}
#endif

}  // namespace
}  // namespace quilta::ui
