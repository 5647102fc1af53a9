// The Win32 renderer: the plug-in's dialogs in-process on the page's thread (the browser's
// or the control's apartment thread), built from the same template tables as every renderer.
// The dialog logic (timers, card watch, keypad checks) stays in ui/modal.cpp; this file draws
// and reports input. Modeless dialog window driven by WaitEvent, which pumps the thread's
// messages (the browser's event loop keeps running), so the modal run's timers tick between
// events.
//   Commands: a click (or Enter on the default button) reports its id; Esc reports Escape,
//   the close box CloseBox. Static texts take the template's colour (warning red, emphasis
//   blue on the button face). Picture buttons are owner-drawn: the button face with the key's
//   text, sunken while pushed, a darker face while the pointer is over it.
//   Message boxes: windows of our own (ui/win32/message_box.h), one OK button, owned by the
//   dialog (or the active window, or the box before them) and modal over it; OpenMessageBox
//   shows one and returns, WaitEvent reports MessageBoxClosed when the person has closed it.
//   The modal run's timers go on meanwhile; the boxes go away with the dialog.
#include "ui/renderer.h"

#include <deque>
#include <map>
#include <vector>

#include "ui/win32/dialog_memory.h"
#include "ui/win32/message_box.h"

#include <windows.h>
#include <commctrl.h>
#undef MessageBox  // Renderer::MessageBox is ours

namespace quilta::ui {
namespace {

const wchar_t* W(const std::u16string& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }

HMODULE OwnModule() {
  HMODULE m = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                         GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&OwnModule), &m);
  return m;
}

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
    for (const Control& c : tmpl.controls) {
      if (c.kind != ControlKind::BitmapButton) continue;
      HWND b = GetDlgItem(hwnd_, c.id);
      if (b) SetWindowSubclass(b, &Win32Renderer::ButtonProc, 1, reinterpret_cast<DWORD_PTR>(this));
    }
    ShowWindow(hwnd_, SW_SHOW);
    SetForegroundWindow(hwnd_);
    return true;
  }

  void SetText(int32_t id, const std::u16string& text) override {
    if (hwnd_) SetDlgItemTextW(hwnd_, id, W(text));
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
    hover_ = 0;
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

  // The keypads' picture keys: a digit key shows the digit of its position (the template's
  // own texts of the keys are not their digits), a clear key its label. Transfer keypad
  // (pictures 7xx): white key, blue digit; under the pointer pink, black digit. Input keypad
  // (1xx): grey key, dark grey digit; under the pointer a darker rim.
  void DrawKey(const DRAWITEMSTRUCT& d) {
    const Control* c = tmpl_ ? FindControl(*tmpl_, static_cast<int32_t>(d.CtlID)) : nullptr;
    if (c == nullptr) return;
    RECT r = d.rcItem;
    const bool pushed = (d.itemState & ODS_SELECTED) != 0;
    const bool hover = static_cast<int>(d.CtlID) == hover_;
    const bool transfer = c->bitmap >= kTransferKeypad.clearBitmap;
    std::u16string face = KeyFace(*c);
    HBRUSH fill = CreateSolidBrush(transfer ? (hover ? RGB(255, 192, 203) : RGB(255, 255, 255))
                                            : RGB(192, 192, 192));
    FillRect(d.hDC, &r, fill);
    DeleteObject(fill);
    DrawEdge(d.hDC, &r, pushed ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT);
    if (hover && !transfer) FrameRect(d.hDC, &r, GetSysColorBrush(COLOR_3DDKSHADOW));
    SetBkMode(d.hDC, TRANSPARENT);
    SetTextColor(d.hDC, transfer ? (hover ? RGB(0, 0, 0) : RGB(0, 0, 255)) : RGB(64, 64, 64));
    if (pushed) OffsetRect(&r, 1, 1);
    DrawTextW(d.hDC, W(face), static_cast<int>(face.size()), &r,
              DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
  }

  static std::u16string KeyFace(const Control& c) {
    for (const KeypadLayout* k : {&kInputKeypad, &kTransferKeypad}) {
      const int digit = c.bitmap - k->firstBitmap;
      if (digit >= 0 && digit <= 9 && c.id == k->firstKeyId + digit)
        return std::u16string(1, static_cast<char16_t>(u'0' + digit));
    }
    if (c.bitmap == kInputKeypad.clearBitmap) return u"清除 CLEAR";
    return std::u16string(c.text);
  }

  // Hover tracking of the picture buttons; their double clicks are clicks.
  static LRESULT CALLBACK ButtonProc(HWND b, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR data) {
    auto* self = reinterpret_cast<Win32Renderer*>(data);
    if (msg == WM_MOUSEMOVE && self->hover_ != GetDlgCtrlID(b)) {
      TRACKMOUSEEVENT t{sizeof(t), TME_LEAVE, b, 0};
      if (TrackMouseEvent(&t)) {
        self->hover_ = GetDlgCtrlID(b);
        InvalidateRect(b, nullptr, FALSE);
      }
    } else if (msg == WM_MOUSELEAVE) {
      self->hover_ = 0;
      InvalidateRect(b, nullptr, FALSE);
    } else if (msg == WM_ERASEBKGND) {
      return 1;  // the key paints all of itself
    } else if (msg == WM_LBUTTONDBLCLK) {
      // An owner-drawn button reports a second quick press as a double click, not a click:
      // the same digit typed twice in a row would be lost. Each press is a press.
      msg = WM_LBUTTONDOWN;
    }
    return DefSubclassProc(b, msg, wp, lp);
  }

  const DialogTemplate* tmpl_ = nullptr;
  HWND hwnd_ = nullptr;
  HBRUSH face_ = nullptr;
  int hover_ = 0;
  std::deque<UiEvent> events_;
  std::vector<std::unique_ptr<win32::MessageBoxWindow>> boxes_;
};

}  // namespace

std::unique_ptr<Renderer> MakeDefaultRenderer() { return std::make_unique<Win32Renderer>(); }

}  // namespace quilta::ui
