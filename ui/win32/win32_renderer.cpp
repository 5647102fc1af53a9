// The Win32 renderer: the plug-in's dialogs in-process on the page's thread (the browser's
// or the control's apartment thread), built from the same template tables as every renderer.
// The dialog logic (timers, card watch, keypad checks) stays in ui/modal.cpp; this file draws
// and reports input. Modeless dialog window driven by WaitEvent, which pumps the thread's
// messages (the browser's event loop keeps running), so the modal run's timers tick between
// events.
//   Commands: a click (or Enter on the default button) reports its id; Esc reports Escape,
//   the close box CloseBox. Static texts take the template's colour (warning red, emphasis
//   blue on the button face). Picture buttons (the keypads' keys) show the pictures the
//   template names, bitmap resources of this module (ui/win32/bitmap_button.h): key k of a
//   keypad its normal picture (also while pushed) and its hover picture under the pointer.
//   Message boxes: windows of our own (ui/win32/message_box.h), one OK button, owned by the
//   dialog (or the active window, or the box before them) and modal over it; OpenMessageBox
//   shows one and returns, WaitEvent reports MessageBoxClosed when the person has closed it.
//   The modal run's timers go on meanwhile; the boxes go away with the dialog.
#include "ui/renderer.h"

#include <algorithm>
#include <deque>
#include <map>
#include <vector>

#include "platform/win32/module.h"
#include "platform/win32/text.h"
#include "ui/win32/bitmap_button.h"
#include "ui/win32/dialog_memory.h"
#include "ui/win32/message_box.h"

#include <windows.h>
#include <commctrl.h>
#undef MessageBox  // Renderer::MessageBox is ours

namespace quilta::ui {
namespace {

using platform::win32::OwnModule;
using platform::win32::WideChars;

class Win32Renderer final : public Renderer {
 public:
  ~Win32Renderer() override { Close(); }

  bool Open(const DialogTemplate& tmpl, const std::u16string& caption) override {
    Close();
    tmpl_ = &tmpl;
    std::vector<uint8_t> bytes = win32::BuildDialogTemplate(tmpl, caption);
    face_ = GetSysColorBrush(COLOR_BTNFACE);
    hwnd_ = CreateDialogIndirectParamW(OwnModule(), reinterpret_cast<LPCDLGTEMPLATEW>(bytes.data()),
                                       GetActiveWindow(), &Win32Renderer::Proc,
                                       reinterpret_cast<LPARAM>(this));
    if (hwnd_ == nullptr) return false;
    AttachKeys(tmpl);
    ShowWindow(hwnd_, SW_SHOW);
    SetForegroundWindow(hwnd_);
    return true;
  }

  void SetText(int32_t id, const std::u16string& text) override {
    if (hwnd_) SetDlgItemTextW(hwnd_, id, WideChars(text));
  }
  void Enable(int32_t id, bool enabled) override {
    if (HWND c = hwnd_ ? GetDlgItem(hwnd_, id) : nullptr) EnableWindow(c, enabled);
  }
  void Focus(int32_t id) override {
    if (HWND c = hwnd_ ? GetDlgItem(hwnd_, id) : nullptr)
      SendMessageW(hwnd_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(c), TRUE);
  }

  bool OpenMessageBox(const std::u16string& text, const std::u16string& caption) override {
    HWND owner = !boxes_.empty() ? boxes_.back()->Window() : hwnd_ ? hwnd_ : GetActiveWindow();
    auto box = std::make_unique<win32::MessageBoxWindow>(
        owner, text, caption, [this] { events_.push_back({UiEvent::Kind::MessageBoxClosed, 0}); });
    if (!box->Shown()) return false;
    boxes_.push_back(std::move(box));
    return true;
  }

  void Close() override {
    while (!boxes_.empty()) boxes_.pop_back();  // the newest first: each enables its owner
    if (hwnd_) DestroyWindow(hwnd_);
    hwnd_ = nullptr;
    keys_.clear();  // their pictures with them
  }

  std::optional<UiEvent> WaitEvent(int64_t timeoutMs) override {
    const ULONGLONG start = GetTickCount64();
    for (;;) {
      MSG msg;
      while (events_.empty() && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
          PostQuitMessage(static_cast<int>(msg.wParam));  // for the host's own loop
          events_.push_back({UiEvent::Kind::Closed, 0});
          break;
        }
        if (IsBoxMessage(msg) || (hwnd_ && IsDialogMessageW(hwnd_, &msg))) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
      }
      std::erase_if(boxes_, [](const auto& b) { return b->Finished(); });
      if (!events_.empty()) {
        UiEvent ev = events_.front();
        events_.pop_front();
        return ev;
      }
      DWORD wait = INFINITE;
      if (timeoutMs >= 0) {
        const ULONGLONG spent = GetTickCount64() - start;
        if (spent >= static_cast<ULONGLONG>(timeoutMs)) return std::nullopt;
        wait = static_cast<DWORD>(timeoutMs - static_cast<int64_t>(spent));
      }
      MsgWaitForMultipleObjectsEx(0, nullptr, wait, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }
  }

 private:
  bool IsBoxMessage(MSG& msg) {
    for (auto& b : boxes_)
      if (b->IsMessage(msg)) return true;
    return false;
  }

  static INT_PTR CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_INITDIALOG) {
      SetWindowLongPtrW(hwnd, DWLP_USER, lp);
      return TRUE;
    }
    auto* self = reinterpret_cast<Win32Renderer*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    return self ? self->Handle(msg, wp, lp) : FALSE;
  }

  INT_PTR Handle(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
      case WM_COMMAND:
        if (HIWORD(wp) == BN_CLICKED || lp == 0) {
          const int id = LOWORD(wp);
          if (id == IDCANCEL && lp == 0)
            events_.push_back({UiEvent::Kind::Escape, 0});
          else
            events_.push_back({UiEvent::Kind::Command, id});
        }
        return TRUE;
      case WM_CLOSE:
        events_.push_back({UiEvent::Kind::CloseBox, 0});
        return TRUE;
      case WM_CTLCOLORSTATIC: {
        const Control* c = tmpl_ ? FindControl(*tmpl_, GetDlgCtrlID(reinterpret_cast<HWND>(lp))) : nullptr;
        if (c == nullptr || c->colour == TextColour::Default) return FALSE;
        HDC dc = reinterpret_cast<HDC>(wp);
        SetTextColor(dc, c->colour == TextColour::Warning ? RGB(255, 0, 0) : RGB(0, 0, 255));
        SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
        return reinterpret_cast<INT_PTR>(face_);
      }
      case WM_DRAWITEM:
        DrawKey(*reinterpret_cast<const DRAWITEMSTRUCT*>(lp));
        return TRUE;
      default:
        return FALSE;
    }
  }

  // The keys in ascending id order: key k of a keypad gets normal = pushed = the template's
  // picture (first picture + k) and its hover picture, value k; the clear key its normal
  // picture twice, its hover picture and the value 2.
  void AttachKeys(const DialogTemplate& tmpl) {
    std::vector<const Control*> keys;
    for (const Control& c : tmpl.controls)
      if (c.kind == ControlKind::BitmapButton) keys.push_back(&c);
    std::sort(keys.begin(), keys.end(), [](const Control* a, const Control* b) { return a->id < b->id; });
    const HMODULE module = OwnModule();
    for (const Control* c : keys) {
      HWND b = GetDlgItem(hwnd_, c->id);
      if (b == nullptr) continue;
      auto key = std::make_unique<win32::BitmapButton>(b);
      key->SetBitmaps(module, c->bitmap, c->bitmap, c->hoverBitmap, KeyValue(*c));
      keys_.push_back(std::move(key));
    }
  }

  static int32_t KeyValue(const Control& c) {
    for (const KeypadLayout* k : {&kInputKeypad, &kTransferKeypad}) {
      if (c.id == k->clearId) return 2;
      if (c.id >= k->firstKeyId && c.id <= k->firstKeyId + 9) return c.id - k->firstKeyId;
    }
    return 0;
  }

  void DrawKey(const DRAWITEMSTRUCT& d) {
    for (auto& k : keys_)
      if (k->Window() == d.hwndItem) return k->Paint(d);
  }

  const DialogTemplate* tmpl_ = nullptr;
  HWND hwnd_ = nullptr;
  HBRUSH face_ = nullptr;
  std::vector<std::unique_ptr<win32::BitmapButton>> keys_;
  std::deque<UiEvent> events_;
  std::vector<std::unique_ptr<win32::MessageBoxWindow>> boxes_;
};

}  // namespace

std::unique_ptr<Renderer> MakeDefaultRenderer() { return std::make_unique<Win32Renderer>(); }

}  // namespace quilta::ui
