// The renderer's message box: a window of our own instead of the system's MessageBox, so
// that the modal run goes on while the person reads it (MessageBox would run a message loop
// of its own, and the dialog's countdown and card watch, which tick between the renderer's
// events, would stop under it).
//   The box: the caption, the text (word-wrapped, at most about 360 pixels wide) and one OK
//   button, centred over its owner (the screen when there is none), topmost. It is modal over
//   its owner: the owner is disabled while the box is open and enabled again before the box
//   goes, so the activation returns to it. OK, Enter, Esc and the close box close it.
//   The thread's message loop hands each message to IsMessage first (keyboard navigation).
#pragma once

#include <functional>
#include <string>

#include <windows.h>

namespace quilta::ui::win32 {

class MessageBoxWindow {
 public:
  // Shows the box at once. `closed` runs once, when the person closed it (not when the box
  // is destroyed with its object). Check Shown(): false when no window could be made.
  MessageBoxWindow(HWND owner, const std::u16string& text, const std::u16string& caption,
                   std::function<void()> closed);
  ~MessageBoxWindow();  // takes the window away (the owner enabled again); `closed` not called
  MessageBoxWindow(const MessageBoxWindow&) = delete;
  MessageBoxWindow& operator=(const MessageBoxWindow&) = delete;

  bool Shown() const { return hwnd_ != nullptr; }
  bool Finished() const { return finished_; }
  HWND Window() const { return hwnd_; }
  // True when `msg` was the box's (Tab, Enter, Esc): it is handled, not to be dispatched.
  bool IsMessage(MSG& msg) { return hwnd_ && IsDialogMessageW(hwnd_, &msg); }

 private:
  static INT_PTR CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  void Layout(const std::u16string& text);
  void Take();    // owner enabled again, window destroyed
  void Finish();  // the person closed it

  HWND owner_ = nullptr;
  HWND hwnd_ = nullptr;
  bool ownerWasEnabled_ = false;
  bool finished_ = false;
  std::function<void()> closed_;
};

}  // namespace quilta::ui::win32
