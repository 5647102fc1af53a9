// The modal marker: set while one of our modal dialogs or message boxes waits on the person.
// The browser keeps running its event loop meanwhile, so the script layer reads it to refuse
// page calls until the person is done. The core owns one; every dialog run and message box
// holds it through a ModalScope.
#pragma once

namespace quilta::ui {

class ModalHost {
 public:
  bool Busy() const { return depth_ > 0; }
  // How many runs hold the marker (nested message boxes count each). Development hosts set
  // it to try the refusal without a dialog.
  int depth() const { return depth_; }
  void SetDepthForDevelopment(int depth) { depth_ = depth; }

 private:
  friend class ModalScope;
  int depth_ = 0;
};

// Holds the marker for one running modal dialog or message box.
class ModalScope {
 public:
  explicit ModalScope(ModalHost& host) : host_(host) { ++host_.depth_; }
  ~ModalScope() { --host_.depth_; }
  ModalScope(const ModalScope&) = delete;
  ModalScope& operator=(const ModalScope&) = delete;

 private:
  ModalHost& host_;
};

}  // namespace quilta::ui
