// See bitmap_button.h.
#include "ui/win32/bitmap_button.h"

#include <commctrl.h>

namespace quilta::ui::win32 {
namespace {

constexpr UINT_PTR kSubclassId = 0x4b4559;  // "KEY"

HBITMAP Load(HMODULE module, int number) {
  if (number <= 0) return nullptr;
  return static_cast<HBITMAP>(LoadImageW(module, MAKEINTRESOURCEW(number), IMAGE_BITMAP, 0, 0,
                                         LR_CREATEDIBSECTION));
}

void Delete(HBITMAP& b) {
  if (b) DeleteObject(b);
  b = nullptr;
}

bool Pushed(HWND b) { return (SendMessageW(b, BM_GETSTATE, 0, 0) & BST_PUSHED) != 0; }

}  // namespace

BitmapButton::BitmapButton(HWND button) : hwnd_(button) {
  if (hwnd_) SetWindowSubclass(hwnd_, &BitmapButton::Proc, kSubclassId, reinterpret_cast<DWORD_PTR>(this));
}

BitmapButton::~BitmapButton() {
  if (hwnd_) RemoveWindowSubclass(hwnd_, &BitmapButton::Proc, kSubclassId);
  DeleteBitmaps();
}

void BitmapButton::DeleteBitmaps() {
  Delete(normal_);
  Delete(pushed_);
  Delete(hover_);
}

void BitmapButton::SetBitmaps(HMODULE module, int normal, int pushed, int hover, int32_t value) {
  DeleteBitmaps();
  normal_ = Load(module, normal);
  pushed_ = Load(module, pushed);
  hover_ = Load(module, hover);
  value_ = value;
}

void BitmapButton::Paint(const DRAWITEMSTRUCT& item) {
  // While the left button is held after a press here, the pushed look follows the pointer;
  // the state change repaints.
  if (tracking_ && GetCapture() == hwnd_) {
    POINT p;
    if (GetCursorPos(&p)) {
      const bool over = WindowFromPoint(p) == hwnd_;
      if (over != Pushed(hwnd_)) {
        SendMessageW(hwnd_, BM_SETSTATE, over, 0);
        return;
      }
    }
  }
  HBITMAP picture = nullptr;
  if (item.itemState & ODS_SELECTED) {
    picture = pushed_;
  } else {
    picture = normal_;
    if (picture && hovering_ && hover_) picture = hover_;
  }
  const RECT& r = item.rcItem;
  if (picture == nullptr) {
    FillRect(item.hDC, &r, GetSysColorBrush(COLOR_BTNFACE));
    return;
  }
  BITMAP info{};
  GetObjectW(picture, sizeof(info), &info);
  HDC source = CreateCompatibleDC(item.hDC);
  HGDIOBJ old = SelectObject(source, picture);
  const int mode = SetStretchBltMode(item.hDC, COLORONCOLOR);
  StretchBlt(item.hDC, r.left, r.top, r.right - r.left, r.bottom - r.top, source, 0, 0,
             info.bmWidth, info.bmHeight, SRCCOPY);
  SetStretchBltMode(item.hDC, mode);
  SelectObject(source, old);
  DeleteDC(source);
}

LRESULT CALLBACK BitmapButton::Proc(HWND b, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR,
                                    DWORD_PTR self) {
  auto* button = reinterpret_cast<BitmapButton*>(self);
  if (msg == WM_NCDESTROY) {
    RemoveWindowSubclass(b, &BitmapButton::Proc, kSubclassId);
    button->hwnd_ = nullptr;
    return DefSubclassProc(b, msg, wp, lp);
  }
  return button->Handle(msg, wp, lp);
}

LRESULT BitmapButton::Handle(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_MOUSEMOVE:
      if (tracking_ && GetCapture() == hwnd_) {
        POINT p{static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
        RECT r;
        GetClientRect(hwnd_, &r);
        const bool over = PtInRect(&r, p) != FALSE;
        if (over != Pushed(hwnd_)) {
          SendMessageW(hwnd_, BM_SETSTATE, over, 0);
          InvalidateRect(hwnd_, nullptr, FALSE);
        }
      } else if (!hovering_) {
        TRACKMOUSEEVENT t{sizeof(t), TME_LEAVE, hwnd_, 0};
        if (TrackMouseEvent(&t)) {
          hovering_ = true;
          InvalidateRect(hwnd_, nullptr, FALSE);
        }
      }
      break;
    case WM_LBUTTONDBLCLK:
      // An owner-drawn button reports a second quick press as a double click, not a click:
      // the same digit typed twice in a row would be lost. Each press is a press.
      msg = WM_LBUTTONDOWN;
      [[fallthrough]];
    case WM_LBUTTONDOWN:
      if (hovering_) {
        TRACKMOUSEEVENT t{sizeof(t), TME_LEAVE | TME_CANCEL, hwnd_, 0};
        if (TrackMouseEvent(&t)) hovering_ = false;
      }
      tracking_ = true;
      break;
    case WM_LBUTTONUP:
      tracking_ = false;
      break;
    case WM_KILLFOCUS:
      if (GetCapture() == hwnd_) {
        ReleaseCapture();
        tracking_ = false;
      }
      break;
    case WM_MOUSELEAVE:
      hovering_ = false;
      InvalidateRect(hwnd_, nullptr, FALSE);
      break;
    case WM_ERASEBKGND:
      return 1;  // the key paints all of itself
    default:
      break;
  }
  return DefSubclassProc(hwnd_, msg, wp, lp);
}

}  // namespace quilta::ui::win32
