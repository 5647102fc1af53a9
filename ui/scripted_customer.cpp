#include "ui/scripted_customer.h"

namespace quilta::ui {

namespace {
// A person who has nothing left to do gives up after this long (a dialog without timers
// would otherwise wait for ever).
constexpr int64_t kPatienceMs = 3600 * 1000;
}  // namespace

// The renderer handed to one dialog: records into the customer's last window and takes
// events from the script.
class ScriptedCustomer::Screen final : public Renderer {
 public:
  explicit Screen(ScriptedCustomer& owner) : owner_(owner) {}

  bool Open(const DialogTemplate& tmpl, const std::u16string& caption) override {
    if (owner_.noDisplay) return false;
    Window w;
    w.templateNumber = tmpl.number;
    w.caption = caption;
    owner_.windows_.push_back(std::move(w));
    owner_.openedAt_ = owner_.now_;
    open_ = true;
    return true;
  }
  void SetText(int32_t id, const std::u16string& text) override {
    Record({Shown::What::Text, 0, id, text, false});
  }
  void Enable(int32_t id, bool enabled) override {
    Record({Shown::What::Enable, 0, id, Text(), enabled});
  }
  void Focus(int32_t id) override { Record({Shown::What::Focus, 0, id, Text(), false}); }
  void MessageBox(const std::u16string& text, const std::u16string& caption) override {
    if (!open_) {
      // A message box of its own: recorded as a window of template 0.
      Window w;
      w.caption = caption;
      w.closed = true;
      w.shown.push_back({Shown::What::Message, 0, 0, text, false});
      owner_.windows_.push_back(std::move(w));
      return;
    }
    Record({Shown::What::Message, 0, 0, text, false});
  }
  void Close() override {
    if (open_) owner_.windows_.back().closed = true;
    open_ = false;
  }
  std::optional<UiEvent> WaitEvent(int64_t timeoutMs) override {
    return owner_.NextEvent(timeoutMs);
  }

 private:
  void Record(Shown s) {
    if (!open_) return;
    s.atMs = owner_.now_ - owner_.openedAt_;
    owner_.windows_.back().shown.push_back(std::move(s));
  }

  ScriptedCustomer& owner_;
  bool open_ = false;
};

std::unique_ptr<Renderer> ScriptedCustomer::MakeRenderer() {
  return std::make_unique<Screen>(*this);
}

std::optional<UiEvent> ScriptedCustomer::NextEvent(int64_t timeoutMs) {
  for (;;) {
    if (now_ < waitUntil_) {
      const int64_t step = timeoutMs < 0 ? waitUntil_ - now_ : std::min(timeoutMs, waitUntil_ - now_);
      now_ += step;
      return std::nullopt;
    }
    if (next_ >= steps_.size()) {
      // Nothing left to do: let time pass; with no timer to wait for, walk away.
      if (timeoutMs < 0 || timeoutMs > kPatienceMs) return UiEvent{UiEvent::Kind::Closed, 0};
      now_ += timeoutMs;
      return std::nullopt;
    }
    Step& s = steps_[next_++];
    switch (s.kind) {
      case Step::Kind::Event:
        return s.event;
      case Step::Kind::Wait:
        waitUntil_ = now_ + int64_t{s.ticks} * 1000;
        break;
      case Step::Kind::Card:
        if (onCard) onCard(s.inserted);
        break;
      case Step::Kind::Action:
        if (s.action) s.action();
        break;
    }
  }
}

ScriptedCustomer& ScriptedCustomer::Press(int32_t id) {
  Step s(Step::Kind::Event);
  s.event = UiEvent{UiEvent::Kind::Command, id};
  steps_.push_back(std::move(s));
  return *this;
}
ScriptedCustomer& ScriptedCustomer::Esc() {
  Step s(Step::Kind::Event);
  s.event = UiEvent{UiEvent::Kind::Escape, 0};
  steps_.push_back(std::move(s));
  return *this;
}
ScriptedCustomer& ScriptedCustomer::CloseBox() {
  Step s(Step::Kind::Event);
  s.event = UiEvent{UiEvent::Kind::CloseBox, 0};
  steps_.push_back(std::move(s));
  return *this;
}
ScriptedCustomer& ScriptedCustomer::Keys(const std::string& digits, int32_t firstKeyId) {
  for (char c : digits)
    if (c >= '0' && c <= '9') Press(firstKeyId + (c - '0'));
  return *this;
}
ScriptedCustomer& ScriptedCustomer::Wait(int32_t ticks) {
  Step s(Step::Kind::Wait);
  s.ticks = ticks;
  steps_.push_back(std::move(s));
  return *this;
}
ScriptedCustomer& ScriptedCustomer::PullCard() {
  Step s(Step::Kind::Card);
  s.inserted = false;
  steps_.push_back(std::move(s));
  return *this;
}
ScriptedCustomer& ScriptedCustomer::InsertCard() {
  Step s(Step::Kind::Card);
  s.inserted = true;
  steps_.push_back(std::move(s));
  return *this;
}
ScriptedCustomer& ScriptedCustomer::Do(std::function<void()> action) {
  Step s(Step::Kind::Action);
  s.action = std::move(action);
  steps_.push_back(std::move(s));
  return *this;
}

Text ScriptedCustomer::Window::TextOf(int32_t id) const {
  Text t;
  for (const Shown& s : shown)
    if (s.what == Shown::What::Text && s.id == id) t = s.text;
  return t;
}

std::optional<bool> ScriptedCustomer::Window::EnabledOf(int32_t id) const {
  std::optional<bool> on;
  for (const Shown& s : shown)
    if (s.what == Shown::What::Enable && s.id == id) on = s.on;
  return on;
}

std::vector<Text> ScriptedCustomer::Window::Messages() const {
  std::vector<Text> out;
  for (const Shown& s : shown)
    if (s.what == Shown::What::Message) out.push_back(s.text);
  return out;
}

std::vector<Text> ScriptedCustomer::Window::TextsOf(int32_t id) const {
  std::vector<Text> out;
  for (const Shown& s : shown)
    if (s.what == Shown::What::Text && s.id == id) out.push_back(s.text);
  return out;
}

}  // namespace quilta::ui
