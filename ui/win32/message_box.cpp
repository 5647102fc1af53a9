#include "ui/win32/message_box.h"

#include <algorithm>
#include <array>
#include <vector>

#include "platform/win32/module.h"
#include "platform/win32/text.h"
#include "ui/dialog_template.h"
#include "ui/win32/dialog_memory.h"

namespace quilta::ui::win32 {
namespace {

constexpr int32_t kTextId = 100;
constexpr int kMaxTextWidthPx = 360;
constexpr int kMarginPx = 12;

using platform::win32::OwnModule;
using platform::win32::WideChars;

// The box's controls before layout (Layout sizes and places them in pixels).
constexpr std::array<Control, 2> kBoxControls{{
    {kTextId, ControlKind::Text, 7, 7, 10, 8, u""},
    {IDOK, ControlKind::DefaultButton, 7, 20, 50, 14, u"OK"},
}};

}  // namespace

MessageBoxWindow::MessageBoxWindow(HWND owner, const std::u16string& text,
                                   const std::u16string& caption, std::function<void()> closed)
    : owner_(owner), closed_(std::move(closed)) {
  const DialogTemplate tmpl{0,      80,    40,    u"", u"MS Shell Dlg", 9, true, true,
                            kBoxControls};
  std::vector<uint8_t> bytes = BuildDialogTemplate(tmpl, caption);
  hwnd_ = CreateDialogIndirectParamW(OwnModule(), reinterpret_cast<LPCDLGTEMPLATEW>(bytes.data()),
                                     owner, &MessageBoxWindow::Proc, reinterpret_cast<LPARAM>(this));
  if (hwnd_ == nullptr) return;
  SetDlgItemTextW(hwnd_, kTextId, WideChars(text));
  Layout(text);
  if (owner_) {
    ownerWasEnabled_ = IsWindowEnabled(owner_) != FALSE;
    EnableWindow(owner_, FALSE);
  }
  ShowWindow(hwnd_, SW_SHOW);
  SetForegroundWindow(hwnd_);
  SetFocus(GetDlgItem(hwnd_, IDOK));
}

MessageBoxWindow::~MessageBoxWindow() { Take(); }

void MessageBoxWindow::Layout(const std::u16string& text) {
  HWND label = GetDlgItem(hwnd_, kTextId);
  HWND ok = GetDlgItem(hwnd_, IDOK);
  RECT button{0, 0, 50, 14};
  MapDialogRect(hwnd_, &button);

  HDC dc = GetDC(label);
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(label, WM_GETFONT, 0, 0)));
  RECT t{0, 0, kMaxTextWidthPx, 0};
  DrawTextW(dc, WideChars(text), -1, &t, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX | DT_EXPANDTABS);
  SelectObject(dc, old);
  ReleaseDC(label, dc);

  const int clientW = std::max<int>(t.right + 2 * kMarginPx, button.right + 2 * kMarginPx);
  const int clientH = kMarginPx + t.bottom + kMarginPx + button.bottom + kMarginPx;
  MoveWindow(label, kMarginPx, kMarginPx, t.right, t.bottom, FALSE);
  MoveWindow(ok, (clientW - button.right) / 2, kMarginPx + t.bottom + kMarginPx, button.right,
             button.bottom, FALSE);

  RECT frame{0, 0, clientW, clientH};
  AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongPtrW(hwnd_, GWL_STYLE)), FALSE,
                     static_cast<DWORD>(GetWindowLongPtrW(hwnd_, GWL_EXSTYLE)));
  const int w = frame.right - frame.left, h = frame.bottom - frame.top;
  RECT area;
  if (owner_ == nullptr || !GetWindowRect(owner_, &area))
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
  SetWindowPos(hwnd_, HWND_TOPMOST, area.left + (area.right - area.left - w) / 2,
               area.top + (area.bottom - area.top - h) / 2, w, h, SWP_NOACTIVATE);
}

INT_PTR CALLBACK MessageBoxWindow::Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_INITDIALOG) {
    SetWindowLongPtrW(hwnd, DWLP_USER, lp);
    return FALSE;  // the focus is set once the box is laid out
  }
  auto* self = reinterpret_cast<MessageBoxWindow*>(GetWindowLongPtrW(hwnd, DWLP_USER));
  if (self == nullptr) return FALSE;
  if ((msg == WM_COMMAND && (LOWORD(wp) == IDOK || LOWORD(wp) == IDCANCEL)) || msg == WM_CLOSE) {
    self->Finish();
    return TRUE;
  }
  return FALSE;
}

void MessageBoxWindow::Take() {
  if (hwnd_ == nullptr) return;
  HWND h = hwnd_;
  hwnd_ = nullptr;
  SetWindowLongPtrW(h, DWLP_USER, 0);
  if (owner_ && ownerWasEnabled_) EnableWindow(owner_, TRUE);
  DestroyWindow(h);
}

void MessageBoxWindow::Finish() {
  if (finished_) return;
  finished_ = true;
  Take();
  if (closed_) closed_();
}

}  // namespace quilta::ui::win32
