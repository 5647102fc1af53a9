// The Win32 renderer under Wine and Xvfb, driven like a person would (keyboard and mouse
// input through SendInput):
//   1. The transfer confirmation 904 in a modal run with a 200 ms timer that counts down.
//      Its first tick opens a message box over it; the countdown must go on under the box
//      (at least three ticks), then Enter closes the box, the run goes on, and a click on
//      the confirmation button ends it with 1.
//   2. The same, but its time runs out under the box: the run ends with 3 and the box goes
//      away with the dialog (no window of it left, the next box is the only one).
//   3. The reader instruction 105 shown on its own, then a message box without a dialog
//      (the active window owns it), closed with Enter.
//   4. The keypads of 104 and 201 with their pictures (this program carries the module's
//      resources), the pointer over key 5 (its hover picture).
// Screenshots: at each NAME the program writes SHOTS\NAME.req and waits (its messages
// flowing) for SHOTS\NAME.done, which the test's watcher writes once it has taken the
// picture of the screen (tests/activex/with-screenshots).
//   dialog_wine_test.exe SHOTS_FOLDER
// Prints "ALL PASSED" when every check held.
#include <cstdio>
#include <string>

#include <windows.h>
#undef MessageBox

#include "card/channel.h"
#include "ui/modal.h"
#include "ui/modal_host.h"
#include "ui/renderer.h"
#include "ui/summary.h"

#include "check.h"

using namespace quilta;
using namespace quilta::ui;

namespace {

std::wstring g_shots;
const char16_t kCaption[] = u"Tovak銀行  網路ATM";
const char16_t kBoxText[] = u"卡已被拔出..請確認再試!";
const char16_t kBoxCaption[] = u"網路ATM";

HWND FindBox() { return FindWindowW(nullptr, reinterpret_cast<const wchar_t*>(kBoxCaption)); }

using quilta::test::Check;

std::wstring ShotFile(const char* name, const wchar_t* ext) {
  std::wstring f = g_shots + L"\\";
  for (const char* p = name; *p; ++p) f += static_cast<wchar_t>(*p);
  return f + ext;
}

void RequestShot(const char* name) {
  HANDLE h = CreateFileW(ShotFile(name, L".req").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
}

bool ShotDone(const char* name) {
  return GetFileAttributesW(ShotFile(name, L".done").c_str()) != INVALID_FILE_ATTRIBUTES;
}

void PressKey(WORD vk) {
  INPUT in[2] = {};
  in[0].type = in[1].type = INPUT_KEYBOARD;
  in[0].ki.wVk = in[1].ki.wVk = vk;
  in[1].ki.dwFlags = KEYEVENTF_KEYUP;
  SendInput(2, in, sizeof(INPUT));
}

void ClickAt(HWND control) {
  RECT r;
  GetWindowRect(control, &r);
  const int x = (r.left + r.right) / 2, y = (r.top + r.bottom) / 2;
  const int sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
  INPUT in[3] = {};
  for (INPUT& i : in) {
    i.type = INPUT_MOUSE;
    i.mi.dx = x * 65535 / (sw - 1);
    i.mi.dy = y * 65535 / (sh - 1);
  }
  in[0].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
  in[1].mi.dwFlags = MOUSEEVENTF_LEFTDOWN | MOUSEEVENTF_ABSOLUTE;
  in[2].mi.dwFlags = MOUSEEVENTF_LEFTUP | MOUSEEVENTF_ABSOLUTE;
  SendInput(3, in, sizeof(INPUT));
}

void PointAt(HWND control) {
  RECT r;
  GetWindowRect(control, &r);
  INPUT in{};
  in.type = INPUT_MOUSE;
  in.mi.dx = (r.left + r.right) / 2 * 65535 / (GetSystemMetrics(SM_CXSCREEN) - 1);
  in.mi.dy = (r.top + r.bottom) / 2 * 65535 / (GetSystemMetrics(SM_CYSCREEN) - 1);
  in.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
  SendInput(1, &in, sizeof(INPUT));
}

// 904 with a fast countdown and a message box from its first tick.
class BoxedConfirmation final : public Dialog {
 public:
  // timeOutUnderBox: the time runs out (end code 3) at the fourth tick under the box.
  explicit BoxedConfirmation(bool timeOutUnderBox = false)
      : Dialog(904), timeOutUnderBox_(timeOutUnderBox) {}
  int ticksUnderBox = 0;
  bool boxReturned = false;
  bool confirmedByClick = false;

 protected:
  Text Caption(const DialogTemplate&) const override { return kCaption; }
  void OnInit() override {
    SetText(SummaryValueId(0), u"0123456789012345");
    SetText(SummaryValueId(1), u"004 0000123456789012");
    SetText(SummaryValueId(2), u"1,500");
    SetText(SummaryValueId(3), u"2026/12/08");
    Enable(kIdOk, false);
    SetTimer(1, 200);
  }
  void OnTimer(int32_t) override {
    ++ticks_;
    SetText(kIdCountdown, std::u16string(1, static_cast<char16_t>(u'0' + (45 - ticks_) % 10)));
    if (ticks_ >= 150) {  // 30 s: the input never arrived
      EndDialog(3);
      return;
    }
    if (ticks_ == 1) {
      inBox_ = true;
      MessageBox(kBoxText, kBoxCaption);  // returns once Enter closed it; the ticks go on below
      inBox_ = false;
      if (Ending()) return;  // the time ran out under the box
      boxReturned = true;
      Enable(kIdOk, true);
      step_ = 0;
      return;
    }
    if (inBox_) {
      ++ticksUnderBox;
      if (timeOutUnderBox_) {
        if (ticksUnderBox == 4) EndDialog(3);
        return;
      }
      if (step_ == 0 && ticksUnderBox >= 3) RequestShot("904-box"), step_ = 1;
      else if (step_ == 1 && ShotDone("904-box")) PressKey(VK_RETURN), step_ = 2;
      return;
    }
    if (!boxReturned) return;
    if (step_ == 0) RequestShot("904"), step_ = 1;
    else if (step_ == 1 && ShotDone("904")) {
      HWND dlg = FindWindowW(nullptr, reinterpret_cast<const wchar_t*>(kCaption));
      if (dlg) ClickAt(GetDlgItem(dlg, kIdOk));
      step_ = 2;
    }
  }
  void OnCommand(int32_t id) override {
    if (id == kIdOk) confirmedByClick = true;
    Dialog::OnCommand(id);
  }

 private:
  bool timeOutUnderBox_;
  int ticks_ = 0;
  int step_ = 0;
  bool inBox_ = false;
};

// Pumps through the renderer until the shot is taken (at most 20 s).
void ShotWhileOpen(Renderer& r, const char* name) {
  RequestShot(name);
  for (int i = 0; i < 200 && !ShotDone(name); ++i) r.WaitEvent(100);
  Check(name, ShotDone(name));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  for (const char* p = argv[1]; *p; ++p) g_shots += static_cast<wchar_t>(*p);
  CreateDirectoryW(g_shots.c_str(), nullptr);
  ModalHost modal;
  card::Channel channel;
  const DialogSite site{modal, channel, std::string()};

  BoxedConfirmation confirm;
  const int32_t code = confirm.Run(site);
  Check("904: Enter closed the message box", confirm.boxReturned);
  Check("904: the countdown ran on under the message box", confirm.ticksUnderBox >= 3);
  Check("904: the click on the confirmation ended it with 1",
        confirm.confirmedByClick && code == 1);
  std::printf("904: end code %d, ticks under the box %d\n", code, confirm.ticksUnderBox);

  BoxedConfirmation late(true);
  const int32_t lateCode = late.Run(site);
  Check("904: the time ran out under the box: 3", lateCode == 3 && !late.boxReturned);
  Check("904: the box went away with the dialog", FindBox() == nullptr);

  std::unique_ptr<Renderer> r = MakeDefaultRenderer();
  const DialogTemplate* t105 = FindTemplate(105);
  Check("105 opens", t105 && r->Open(*t105, kCaption));
  if (t105) ShotWhileOpen(*r, "105");
  r->Close();

  // A box of its own: the renderer was never opened (ui::ShowMessageBox).
  std::unique_ptr<Renderer> lone = MakeDefaultRenderer();
  Check("a message box without a dialog opens", lone->OpenMessageBox(kBoxText, kBoxCaption));
  Check("its window is there", FindBox() != nullptr);
  bool closed = false;
  for (int i = 0; i < 100 && !closed; ++i) {
    if (i == 5) PressKey(VK_RETURN);
    std::optional<UiEvent> ev = lone->WaitEvent(100);
    closed = ev && ev->kind == UiEvent::Kind::MessageBoxClosed;
  }
  Check("Enter closed the message box without a dialog", closed);

  for (const auto& [number, pad] : {std::pair{104, kTransferKeypad}, std::pair{201, kInputKeypad}}) {
    const DialogTemplate* t = FindTemplate(number);
    std::unique_ptr<Renderer> shown = MakeDefaultRenderer();
    Check("a keypad dialog opens", t && shown->Open(*t, kCaption));
    if (!t) continue;
    HWND dlg = FindWindowW(nullptr, reinterpret_cast<const wchar_t*>(kCaption));
    if (dlg) PointAt(GetDlgItem(dlg, pad.firstKeyId + 5));
    ShotWhileOpen(*shown, number == 104 ? "104" : "201");
    shown->Close();
  }

  return quilta::test::Finish();
}
