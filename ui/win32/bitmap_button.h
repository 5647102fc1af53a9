// The keypads' picture keys: an owner-drawn push button of a dialog template with three
// pictures (bitmap resources of the module, by number) and the pointer's hover state.
//   Painting (the dialog hands its WM_DRAWITEM to Paint): drawn selected -> the pushed
//   picture; otherwise the normal one, or the hover picture while the pointer is over the key
//   and there is one. The whole picture is stretched onto the whole item rectangle, pixels
//   copied unchanged. A picture that is absent (a resource the module lacks) leaves the
//   button face: selected without a pushed picture, or no normal picture at all.
//   Mouse: the first move over the key asks for a leave notification and marks hover; the
//   leave clears it. A press cancels the hover (the pushed picture shows) and marks tracking
//   until the release or the loss of focus. A quick second press (which an owner-drawn button
//   reports as a double click) is a press like the first. The background is never erased.
// The button owns its pictures: SetBitmaps and the destructor delete those loaded before.
// It subclasses the window until the window is destroyed or the object goes, whichever comes
// first.
#pragma once

#include <cstdint>

#include <windows.h>

namespace quilta::ui::win32 {

class BitmapButton {
 public:
  explicit BitmapButton(HWND button);
  ~BitmapButton();
  BitmapButton(const BitmapButton&) = delete;
  BitmapButton& operator=(const BitmapButton&) = delete;

  // Deletes the pictures held and loads the three by number from `module` (a number the
  // module lacks leaves that picture absent); `value` is the key's digit (clear keys: 2).
  void SetBitmaps(HMODULE module, int normal, int pushed, int hover, int32_t value);

  void Paint(const DRAWITEMSTRUCT& item);

  HWND Window() const { return hwnd_; }
  bool HasNormal() const { return normal_ != nullptr; }
  bool HasPushed() const { return pushed_ != nullptr; }
  bool HasHover() const { return hover_ != nullptr; }
  int32_t Value() const { return value_; }

 private:
  static LRESULT CALLBACK Proc(HWND b, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR self);
  LRESULT Handle(UINT msg, WPARAM wp, LPARAM lp);
  void DeleteBitmaps();

  HWND hwnd_;
  HBITMAP normal_ = nullptr;
  HBITMAP pushed_ = nullptr;
  HBITMAP hover_ = nullptr;
  int32_t value_ = 0;
  bool hovering_ = false;  // a leave notification is pending
  bool tracking_ = false;  // the left button went down here and has not come up
};

}  // namespace quilta::ui::win32
