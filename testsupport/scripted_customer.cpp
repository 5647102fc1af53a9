#include "testsupport/scripted_customer.h"

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
    owner_.openTemplate_ = tmpl.number;
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
  bool OpenMessageBox(const std::u16string& text, const std::u16string& caption) override {
    if (owner_.noDisplay) return false;
    if (!open_) {
      // A message box of its own: recorded as a window of template 0, closed with the box.
      Window w;
      w.caption = caption;
      w.shown.push_back({Shown::What::Message, 0, 0, text, false});
      owner_.windows_.push_back(std::move(w));
      owner_.ownBoxWindow_ = owner_.windows_.size();
    } else {
      Record({Shown::What::Message, 0, 0, text, false});
    }
    ++owner_.boxesOpen_;
    return true;
  }
  void Close() override {
    if (open_) owner_.windows_.back().closed = true;
    owner_.openTemplate_ = 0;
    owner_.boxesOpen_ = 0;  // the dialog's boxes go with it
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
    if (boxesOpen_ > 0 && (next_ >= steps_.size() || steps_[next_].ClosesMessageBox())) {
      // The person closes the box before pressing anything else, or when done.
      --boxesOpen_;
      if (boxesOpen_ == 0 && ownBoxWindow_ != 0) {
        windows_[ownBoxWindow_ - 1].closed = true;
        ownBoxWindow_ = 0;
      }
      return UiEvent{UiEvent::Kind::MessageBoxClosed, 0};
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
      case Step::Kind::Digit:
      case Step::Kind::Clear: {
        const KeypadLayout& pad = openTemplate_ == 104 ? kTransferKeypad : kInputKeypad;
        const int32_t id = s.kind == Step::Kind::Clear ? pad.clearId : pad.firstKeyId + s.ticks;
        return UiEvent{UiEvent::Kind::Command, id};
      }
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
ScriptedCustomer& ScriptedCustomer::Digits(const std::string& digits) {
  for (char c : digits) {
    if (c < '0' || c > '9') continue;
    Step s(Step::Kind::Digit);
    s.ticks = c - '0';  // the key's position
    steps_.push_back(std::move(s));
  }
  return *this;
}
ScriptedCustomer& ScriptedCustomer::ClearKey() {
  steps_.push_back(Step(Step::Kind::Clear));
  return *this;
}

bool ScriptedCustomer::AppendScript(std::string_view text, std::string* error) {
  ScriptedCustomer parsed;
  std::vector<std::string> words;
  auto flush = [&]() -> bool {
    if (words.empty()) return true;
    const std::string& w = words[0];
    auto number = [&](int32_t* out) {
      if (words.size() != 2 || words[1].empty() ||
          words[1].find_first_not_of("0123456789") != std::string::npos || words[1].size() > 6)
        return false;
      *out = std::stoi(words[1]);
      return true;
    };
    int32_t n = 0;
    bool ok = true;
    if (w == "ok" && words.size() == 1) parsed.Ok();
    else if (w == "cancel" && words.size() == 1) parsed.Cancel();
    else if (w == "esc" && words.size() == 1) parsed.Esc();
    else if (w == "close" && words.size() == 1) parsed.CloseBox();
    else if (w == "clear" && words.size() == 1) parsed.ClearKey();
    else if (w == "pull" && words.size() == 1) parsed.PullCard();
    else if (w == "insert" && words.size() == 1) parsed.InsertCard();
    else if (w == "press" && number(&n)) parsed.Press(n);
    else if (w == "wait" && number(&n)) parsed.Wait(n);
    else if (w == "digits" && words.size() == 2 &&
             words[1].find_first_not_of("0123456789") == std::string::npos)
      parsed.Digits(words[1]);
    else ok = false;
    if (!ok && error) {
      *error = "unknown step:";
      for (const std::string& x : words) *error += " " + x;
    }
    words.clear();
    return ok;
  };
  std::string word;
  for (size_t i = 0; i <= text.size(); ++i) {
    const char c = i < text.size() ? text[i] : ';';
    if (c == ';' || c == '\n' || c == ' ' || c == '\t' || c == '\r') {
      if (!word.empty()) words.push_back(std::move(word));
      word.clear();
      if ((c == ';' || c == '\n') && !flush()) return false;
    } else {
      word += c;
    }
  }
  for (Step& s : parsed.steps_) steps_.push_back(std::move(s));
  return true;
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
