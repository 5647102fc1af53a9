// Every template drawn by the real GTK helper under a private X server, looked at through
// screenshots, and one dialog played with the pointer and keyboard through xdotool.
#include <glib.h>
#include <gtest/gtest.h>

#include <signal.h>

#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

#include "core/atm_core.h"
#include "base/text.h"
#include "ui/dialog_template.h"
#include "ui/dialogs.h"
#include "ui/modal.h"
#include "ui/remote_renderer.h"
#include "x_session.h"

namespace quilta::ui {
namespace {

namespace xt = quilta::testing;

int MulDiv(int a, int b, int c) { return (a * b + c / 2) / c; }

struct PixelRect {
  int x0, y0, x1, y1;
};

PixelRect ToPixels(const Control& c, const RemoteRenderer::Geometry& g) {
  return {MulDiv(c.x, g.baseX, 4), MulDiv(c.y, g.baseY, 8), MulDiv(c.x + c.w, g.baseX, 4),
          MulDiv(c.y + c.h, g.baseY, 8)};
}

int CountIn(const xt::Image& img, PixelRect r, bool (*match)(const xt::Rgb&)) {
  int n = 0;
  for (int y = std::max(0, r.y0); y < std::min(img.height, r.y1); ++y)
    for (int x = std::max(0, r.x0); x < std::min(img.width, r.x1); ++x)
      if (match(img.At(x, y))) ++n;
  return n;
}

bool Red(const xt::Rgb& p) { return p.r > 200 && p.g < 90 && p.b < 90; }
bool Blue(const xt::Rgb& p) { return p.b > 200 && p.r < 90 && p.g < 90; }
bool Pink(const xt::Rgb& p) { return p.r > 230 && p.g > 150 && p.g < 200 && p.b > 180 && p.b < 225; }
bool NotFace(const xt::Rgb& p) { return !(p.r == 240 && p.g == 240 && p.b == 240); }

std::string Caption(const DialogTemplate& t) {
  // Dialogs replace the caption with their title; an own one per template keeps them apart.
  return t.caption.empty() || t.number != 201 ? "Quilta " + std::to_string(t.number) : ToUtf8(t.caption);
}

class GtkDialogs : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { xt::PrivateDisplay(); }

  // Opens the template and finds its window.
  uint64_t Show(const DialogTemplate& t) {
    EXPECT_TRUE(renderer_.Open(t, FromUtf8(Caption(t))));
    EXPECT_TRUE(renderer_.Sync());
    const auto ids = xt::FindWindows(Caption(t));
    EXPECT_EQ(ids.size(), 1u) << "template " << t.number;
    return ids.empty() ? 0 : ids.front();
  }

  RemoteRenderer renderer_{QUILTA_DIALOGS_PATH};
};

TEST_F(GtkDialogs, EveryTemplateIsDrawnToItsDialogUnitsWithItsColours) {
  ASSERT_FALSE(AllTemplates().empty());
  for (const DialogTemplate& t : AllTemplates()) {
    SCOPED_TRACE("template " + std::to_string(t.number));
    const uint64_t win = Show(t);
    ASSERT_NE(win, 0u);
    const auto g = renderer_.OpenedGeometry();
    ASSERT_TRUE(g);

    // Base units of the dialog font at 96 dpi: a line at least the font's pixel size, a
    // character between a quarter of it and all of it.
    const int px = MulDiv(t.fontPoints, 96, 72);
    EXPECT_GE(g->baseY, px);
    EXPECT_LE(g->baseY, 2 * px);
    EXPECT_GE(g->baseX, px / 4);
    EXPECT_LE(g->baseX, px);
    EXPECT_EQ(g->clientWidth, MulDiv(t.width, g->baseX, 4));
    EXPECT_EQ(g->clientHeight, MulDiv(t.height, g->baseY, 8));
    const auto geo = xt::GetGeometry(win);
    EXPECT_EQ(geo.width, g->clientWidth);
    EXPECT_EQ(geo.height, g->clientHeight);

    const auto img = xt::Screenshot(win, xt::ShotDir() + "/template-" + std::to_string(t.number) + ".png");
    ASSERT_EQ(img.width, g->clientWidth);
    // Not blank: a good share of the pixels is something other than the button face.
    const int drawn = CountIn(img, {0, 0, img.width, img.height}, NotFace);
    EXPECT_GT(drawn, img.width * img.height / 50);

    for (const Control& c : t.controls) {
      if (c.text.empty() || c.colour == TextColour::Default) continue;
      PixelRect r = ToPixels(c, *g);
      if (c.w == 0) r.x1 = img.width;
      if (c.h == 0) r.y1 = r.y0 + g->baseY;
      if (c.colour == TextColour::Warning) {
        EXPECT_GT(CountIn(img, r, Red), 5) << "warning text of control " << c.id;
      } else {
        EXPECT_GT(CountIn(img, r, Blue), 5) << "emphasis text of control " << c.id;
      }
    }
    // Nothing red or blue where the template has no coloured text.
    bool anyWarning = false, anyEmphasis = false;
    for (const Control& c : t.controls) {
      anyWarning |= c.colour == TextColour::Warning;
      anyEmphasis |= c.colour == TextColour::Emphasis;
    }
    if (!anyWarning) {
      EXPECT_EQ(CountIn(img, {0, 0, img.width, img.height}, Red), 0);
    }
    (void)anyEmphasis;  // the transfer keypad's digits are blue as well
    renderer_.Close();
  }
}

TEST_F(GtkDialogs, KeypadKeysHoverPushAndCancelAPressDraggedOff) {
  const DialogTemplate* t = FindTemplate(104);
  ASSERT_NE(t, nullptr);
  const uint64_t win = Show(*t);
  const auto g = renderer_.OpenedGeometry();
  const Control* key5 = FindControl(*t, kTransferKeypad.firstKeyId + 5);
  ASSERT_TRUE(win && g && key5);
  const PixelRect r = ToPixels(*key5, *g);

  xt::MovePointer(win, 2, 2);  // the pointer may start anywhere, the key included
  ASSERT_TRUE(renderer_.Sync());
  auto before = xt::Screenshot(win);
  EXPECT_EQ(CountIn(before, r, Pink), 0);
  xt::MovePointer(win, (r.x0 + r.x1) / 2, (r.y0 + r.y1) / 2);
  ASSERT_TRUE(renderer_.Sync());
  auto hover = xt::Screenshot(win, xt::ShotDir() + "/template-104-hover-key5.png");
  EXPECT_GT(CountIn(hover, r, Pink), (r.x1 - r.x0) * (r.y1 - r.y0) / 3);
  xt::MovePointer(win, 2, 2);
  ASSERT_TRUE(renderer_.Sync());
  EXPECT_EQ(CountIn(xt::Screenshot(win), r, Pink), 0);

  // Pressed, the key shows its pushed (white) picture; dragged off and released elsewhere it
  // is not clicked. Pressed and released on the key, it is.
  xt::MovePointer(win, (r.x0 + r.x1) / 2, (r.y0 + r.y1) / 2);
  xt::Run("xdotool mousedown 1");
  ASSERT_TRUE(renderer_.Sync());
  EXPECT_EQ(CountIn(xt::Screenshot(win), r, Pink), 0);
  xt::MovePointer(win, 2, 2);
  xt::Run("xdotool mouseup 1");
  ASSERT_TRUE(renderer_.Sync());
  EXPECT_FALSE(renderer_.WaitEvent(0).has_value());
  xt::Click(win, (r.x0 + r.x1) / 2, (r.y0 + r.y1) / 2);
  const auto ev = renderer_.WaitEvent(-1);
  ASSERT_TRUE(ev);
  EXPECT_EQ(ev->id, kTransferKeypad.firstKeyId + 5);
}

// The keypad input dialog played by "the person": keys 1, 2, 3 on the keypad, the entry shown
// back, then Enter for the default button, each arriving as the event the dialog logic reads.
TEST_F(GtkDialogs, AKeypadDialogDrivenWithThePointerReportsKeysAndOk) {
  const DialogTemplate* t = FindTemplate(201);
  ASSERT_NE(t, nullptr);
  const uint64_t win = Show(*t);
  const auto g = renderer_.OpenedGeometry();
  ASSERT_TRUE(win && g);

  std::u16string entry;
  for (int digit : {1, 2, 3}) {
    const Control* key = FindControl(*t, kInputKeypad.firstKeyId + digit);
    ASSERT_NE(key, nullptr);
    const PixelRect r = ToPixels(*key, *g);
    xt::Click(win, (r.x0 + r.x1) / 2, (r.y0 + r.y1) / 2);
    const auto ev = renderer_.WaitEvent(-1);
    ASSERT_TRUE(ev);
    EXPECT_EQ(ev->kind, UiEvent::Kind::Command);
    EXPECT_EQ(ev->id, kInputKeypad.firstKeyId + digit);
    entry += static_cast<char16_t>(u'0' + digit);
    renderer_.SetText(201, entry);
  }
  ASSERT_TRUE(renderer_.Sync());
  xt::Screenshot(win, xt::ShotDir() + "/template-201-entry-123.png");

  xt::FocusAndKey(win, "Return");
  auto ev = renderer_.WaitEvent(-1);
  ASSERT_TRUE(ev);
  EXPECT_EQ(ev->kind, UiEvent::Kind::Command);
  EXPECT_EQ(ev->id, 1);

  xt::FocusAndKey(win, "Escape");
  ev = renderer_.WaitEvent(-1);
  ASSERT_TRUE(ev);
  EXPECT_EQ(ev->kind, UiEvent::Kind::Escape);

  const Control* cancel = FindControl(*t, 2);
  ASSERT_NE(cancel, nullptr);
  const PixelRect c = ToPixels(*cancel, *g);
  xt::Click(win, (c.x0 + c.x1) / 2, (c.y0 + c.y1) / 2);
  ev = renderer_.WaitEvent(-1);
  ASSERT_TRUE(ev);
  EXPECT_EQ(ev->id, 2);
  EXPECT_FALSE(renderer_.WaitEvent(0).has_value());
}

// The close box reports itself where the template has one (201) and nothing elsewhere (904,
// whose frame has none: a window manager's close request is ignored).
TEST_F(GtkDialogs, TheCloseBoxCountsOnlyWhereTheTemplateHasOne) {
  const DialogTemplate* withBox = FindTemplate(201);
  const DialogTemplate* without = FindTemplate(904);
  ASSERT_TRUE(withBox && without && withBox->closeBox && !without->closeBox);

  uint64_t win = Show(*without);
  xt::PressCloseBox(win);
  ASSERT_TRUE(renderer_.Sync());
  EXPECT_FALSE(renderer_.WaitEvent(0).has_value());
  EXPECT_EQ(xt::FindWindows(Caption(*without)).size(), 1u);  // still there
  renderer_.Close();

  win = Show(*withBox);
  xt::PressCloseBox(win);
  const auto ev = renderer_.WaitEvent(-1);
  ASSERT_TRUE(ev);
  EXPECT_EQ(ev->kind, UiEvent::Kind::CloseBox);
  EXPECT_EQ(xt::FindWindows(Caption(*withBox)).size(), 1u);  // the dialog logic decides
}

// A window destroyed from outside (not through the close box) is reported as gone, and the
// helper goes on serving the next dialog.
TEST_F(GtkDialogs, AWindowDestroyedFromOutsideEndsAsClosedAndTheHelperCarriesOn) {
  const DialogTemplate* t = FindTemplate(104);
  ASSERT_NE(t, nullptr);
  const uint64_t win = Show(*t);
  const pid_t helper = renderer_.HelperPid();
  xt::Run("xdotool windowclose " + std::to_string(win));
  const auto ev = renderer_.WaitEvent(-1);
  ASSERT_TRUE(ev);
  EXPECT_EQ(ev->kind, UiEvent::Kind::Closed);
  renderer_.Close();
  EXPECT_NE(Show(*t), 0u);
  EXPECT_EQ(renderer_.HelperPid(), helper);
}

// The window appears only when the plug-in goes on to wait, after the dialog has set it up; a
// dialog that ends during its set-up (no card in the reader) is never seen.
TEST_F(GtkDialogs, AWindowAppearsOnlyAfterTheDialogIsSetUp) {
  const DialogTemplate* t = FindTemplate(904);
  ASSERT_NE(t, nullptr);
  ASSERT_TRUE(renderer_.Open(*t, u"Set up first"));
  renderer_.Enable(1, false);
  renderer_.SetText(205, u"0123456789012");
  EXPECT_TRUE(xt::FindWindows("Set up first").empty());
  ASSERT_TRUE(renderer_.Sync());
  EXPECT_EQ(xt::FindWindows("Set up first").size(), 1u);
  renderer_.Close();

  ASSERT_TRUE(renderer_.Open(*t, u"Ended during set-up"));
  renderer_.Close();
  ASSERT_TRUE(renderer_.Sync());
  EXPECT_TRUE(xt::FindWindows("Ended during set-up").empty());
}

// Dialogs are centred on the screen; the keypad dialogs over their owner (the browser window),
// pushed back inside the screen where they would stick out.
TEST_F(GtkDialogs, DialogsAreCentredOnTheScreenOrOverTheirOwner) {
  const DialogTemplate* keypad = FindTemplate(201);
  const DialogTemplate* plain = FindTemplate(904);
  ASSERT_TRUE(keypad && plain && keypad->centreOverOwner && !plain->centreOverOwner);
  const int screenW = 1280, screenH = 1024;  // the private server's screen

  const uint64_t owner = xt::CreatePlainWindow(100, 100, 400, 300);
  ASSERT_NE(owner, 0u);
  renderer_.SetOwnerWindow(owner);
  uint64_t win = Show(*keypad);
  auto g = xt::GetGeometry(win);
  EXPECT_EQ(g.x, 100 + (400 - g.width) / 2);
  EXPECT_EQ(g.y, std::max(0, 100 + (300 - g.height) / 2));
  renderer_.Close();

  win = Show(*plain);  // not a keypad dialog: the owner does not matter
  g = xt::GetGeometry(win);
  EXPECT_EQ(g.x, (screenW - g.width) / 2);
  EXPECT_EQ(g.y, (screenH - g.height) / 2);
  renderer_.Close();

  xt::DestroyPlainWindow(owner);
  const uint64_t corner = xt::CreatePlainWindow(1180, 950, 100, 74);
  renderer_.SetOwnerWindow(corner);
  win = Show(*keypad);
  g = xt::GetGeometry(win);
  EXPECT_EQ(g.x, screenW - g.width);
  EXPECT_EQ(g.y, screenH - g.height);
  xt::DestroyPlainWindow(corner);
}

// A disabled OK (the confirmation dialogs before the card went out and back) cannot be
// reached with Enter or the pointer; once enabled it can.
TEST_F(GtkDialogs, ADisabledDefaultButtonReportsNothingUntilEnabled) {
  const DialogTemplate* t = FindTemplate(904);
  ASSERT_NE(t, nullptr);
  const uint64_t win = Show(*t);
  const auto g = renderer_.OpenedGeometry();
  const Control* ok = FindControl(*t, 1);
  ASSERT_TRUE(win && g && ok);
  const PixelRect r = ToPixels(*ok, *g);

  renderer_.Enable(1, false);
  ASSERT_TRUE(renderer_.Sync());
  xt::Screenshot(win, xt::ShotDir() + "/template-904-ok-disabled.png");
  xt::Click(win, (r.x0 + r.x1) / 2, (r.y0 + r.y1) / 2);
  xt::FocusAndKey(win, "Return");
  ASSERT_TRUE(renderer_.Sync());
  EXPECT_FALSE(renderer_.WaitEvent(0).has_value());

  renderer_.Enable(1, true);
  renderer_.Focus(1);
  renderer_.SetText(213, u"44");
  ASSERT_TRUE(renderer_.Sync());
  xt::FocusAndKey(win, "Return");
  const auto ev = renderer_.WaitEvent(-1);
  ASSERT_TRUE(ev);
  EXPECT_EQ(ev->id, 1);
}

// While the plug-in waits for the person, the thread's GLib loop (the browser's) goes on: a
// source of the browser's that presses Cancel runs inside the wait, and the wait sees it.
TEST_F(GtkDialogs, TheBrowsersLoopKeepsRunningWhileADialogWaits) {
  const DialogTemplate* t = FindTemplate(201);
  ASSERT_NE(t, nullptr);
  const uint64_t win = Show(*t);
  const auto g = renderer_.OpenedGeometry();
  const Control* cancel = FindControl(*t, 2);
  ASSERT_TRUE(win && g && cancel);
  struct Browser {
    uint64_t win;
    PixelRect cancel;
    bool ran = false;
  } browser{win, ToPixels(*cancel, *g)};
  g_idle_add(
      [](gpointer p) -> gboolean {
        auto* b = static_cast<Browser*>(p);
        b->ran = true;
        xt::Click(b->win, (b->cancel.x0 + b->cancel.x1) / 2, (b->cancel.y0 + b->cancel.y1) / 2);
        return G_SOURCE_REMOVE;
      },
      &browser);
  const auto ev = renderer_.WaitEvent(-1);
  EXPECT_TRUE(browser.ran);
  ASSERT_TRUE(ev);
  EXPECT_EQ(ev->kind, UiEvent::Kind::Command);
  EXPECT_EQ(ev->id, 2);
}

// When another thread owns the GLib loop, the renderer cannot run it and waits on the helper's
// socket alone; dialogs work the same.
TEST_F(GtkDialogs, DialogsWorkWhenAnotherThreadOwnsTheLoop) {
  std::mutex m;
  std::condition_variable cv;
  bool owned = false, done = false;
  std::thread owner([&] {
    std::unique_lock lock(m);
    owned = g_main_context_acquire(g_main_context_default());
    cv.notify_all();
    cv.wait(lock, [&] { return done; });
    if (owned) g_main_context_release(g_main_context_default());
  });
  {
    std::unique_lock lock(m);
    cv.wait(lock, [&] { return owned; });
  }
  const DialogTemplate* t = FindTemplate(201);
  ASSERT_NE(t, nullptr);
  const uint64_t win = Show(*t);
  const auto g = renderer_.OpenedGeometry();
  const Control* key = FindControl(*t, kInputKeypad.firstKeyId + 7);
  ASSERT_TRUE(win && g && key);
  const PixelRect r = ToPixels(*key, *g);
  xt::Click(win, (r.x0 + r.x1) / 2, (r.y0 + r.y1) / 2);
  const auto ev = renderer_.WaitEvent(-1);
  {
    std::lock_guard lock(m);
    done = true;
  }
  cv.notify_all();
  owner.join();
  ASSERT_TRUE(ev);
  EXPECT_EQ(ev->id, kInputKeypad.firstKeyId + 7);
}

TEST_F(GtkDialogs, AMessageBoxBlocksUntilThePersonClosesIt) {
  // The person, in another thread: waits for the box to appear and presses Enter on it.
  std::thread person([this] {
    const std::string found = xt::Run("xdotool search --sync --onlyvisible --name '^訊息$'");
    const std::string id = found.substr(0, found.find('\n'));
    int rc = -1;
    if (!id.empty()) xt::Screenshot(std::stoull(id), xt::ShotDir() + "/message-box.png");
    if (!id.empty()) xt::Run("xdotool windowfocus --sync " + id + " key Return", &rc);
    if (rc != 0) kill(renderer_.HelperPid(), SIGKILL);  // never leave the wait hanging
  });
  renderer_.MessageBox(u"卡已被拔出..請確認再試!", u"訊息");
  person.join();
  EXPECT_TRUE(xt::FindWindows("訊息").empty());

  // A box destroyed from outside ends the wait as well.
  std::thread vandal([] {
    const std::string found = xt::Run("xdotool search --sync --onlyvisible --name '^Box 2$'");
    xt::Run("xdotool windowclose " + found.substr(0, found.find('\n')));
  });
  renderer_.MessageBox(u"您的轉入帳號末三碼未輸入!!", u"Box 2");
  vandal.join();
  EXPECT_TRUE(xt::FindWindows("Box 2").empty());

  // A dialog's box goes away with the dialog (its time ran out under the box); that is not
  // the person closing the box of the next dialog.
  const DialogTemplate* t = FindTemplate(904);
  ASSERT_NE(t, nullptr);
  Show(*t);
  ASSERT_TRUE(renderer_.OpenMessageBox(u"您輸入的 轉入帳號 末三碼不正確!!", u"Box 3"));
  ASSERT_TRUE(renderer_.Sync());
  EXPECT_EQ(xt::FindWindows("Box 3").size(), 1u);
  renderer_.Close();
  Show(*t);
  EXPECT_TRUE(xt::FindWindows("Box 3").empty());
  ASSERT_TRUE(renderer_.OpenMessageBox(u"您的轉入帳號末三碼未輸入!!", u"Box 4"));
  ASSERT_TRUE(renderer_.Sync());
  EXPECT_FALSE(renderer_.WaitEvent(0).has_value());
}

// The whole road of a real dialog: the plug-in's own environment (MakeDefaultRenderer, the
// helper found next to the program, real time) runs the keypad input dialog while "the
// person" clicks 1, 2, 3 and OK.
TEST_F(GtkDialogs, TheKeypadInputDialogRunsToItsResultUnderThePointer) {
  const DialogTemplate* t = FindTemplate(201);
  ASSERT_NE(t, nullptr);
  std::thread person([t] {
    const std::string found = xt::Run("xdotool search --sync --onlyvisible --name '^輸入資料$'");
    const uint64_t win = std::stoull(found.substr(0, found.find('\n')));
    const auto geo = xt::GetGeometry(win);
    for (int id : {kInputKeypad.firstKeyId + 1, kInputKeypad.firstKeyId + 2, kInputKeypad.firstKeyId + 3, 1}) {
      const Control* c = FindControl(*t, id);
      xt::Click(win, (2 * c->x + c->w) * geo.width / (2 * t->width), (2 * c->y + c->h) * geo.height / (2 * t->height));
    }
  });
  CAtmCore core;
  InputDialog dlg(CInputDlg);
  const int32_t r = dlg.Run(core.dialogSite(), &DefaultEnv());
  person.join();
  EXPECT_EQ(r, result::kOk);
  EXPECT_EQ(dlg.Entry(), "123");
  EXPECT_TRUE(xt::FindWindows("輸入資料").empty());
}

}  // namespace
}  // namespace quilta::ui
