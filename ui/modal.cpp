#include "ui/modal.h"

#include <algorithm>
#include <chrono>
#include <optional>

namespace quilta::ui {

namespace {

class SteadyClock final : public Clock {
 public:
  int64_t NowMs() override {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
  }
};

class PluginEnv final : public DialogEnv {
 public:
  std::unique_ptr<Renderer> MakeRenderer() override {
#ifdef QUILTA_HAVE_DEFAULT_RENDERER
    return MakeDefaultRenderer();
#else
    return nullptr;
#endif
  }
  Clock& GetClock() override { return RealClock(); }
};

DialogEnv* g_developmentEnv = nullptr;

}  // namespace

Clock& RealClock() {
  static SteadyClock clock;
  return clock;
}

DialogEnv& DefaultEnv() {
  static PluginEnv env;
  return env;
}

DialogEnv& CurrentEnv() { return g_developmentEnv ? *g_developmentEnv : DefaultEnv(); }

void SetDialogEnvForDevelopment(DialogEnv* env) { g_developmentEnv = env; }

ScopedDialogEnv::ScopedDialogEnv(DialogEnv* env) : previous_(g_developmentEnv) {
  g_developmentEnv = env;
}
ScopedDialogEnv::~ScopedDialogEnv() { g_developmentEnv = previous_; }

void ShowMessageBox(ModalHost& modal, const Text& text, const Text& caption, DialogEnv* env) {
  std::unique_ptr<Renderer> r = (env ? *env : CurrentEnv()).MakeRenderer();
  if (!r) return;
  ModalScope scope(modal);  // the person is being waited on: page calls are refused
  r->MessageBox(text, caption);
}

// One modal run: the window's state as the dialog logic knows it, its timers, the loop.
class ModalRun {
 public:
  ModalRun(Dialog& dialog, const DialogSite& site, const DialogTemplate& tmpl, Renderer& renderer,
           Clock& clock)
      : dialog_(dialog), site_(site), tmpl_(tmpl), renderer_(renderer), clock_(clock) {
    for (const Control& c : tmpl.controls)
      if (c.id != -1) enabled_[c.id] = !c.disabled;
  }

  int32_t Loop() {
    dialog_.OnInit();
    while (!ending_) Step([this](const UiEvent& ev) { Deliver(ev); });
    return code_;
  }

  // A message box owned by the dialog. Until the person closes it the dialog gets no input,
  // but its timers go on as in the dialog's own loop (the countdown, the card watch); when
  // the dialog ends meanwhile (its time ran out) the wait ends too and the box goes away
  // with the window. No box is shown once the dialog is ending.
  void MessageBox(const Text& text, const Text& caption) {
    if (ending_ || !renderer_.OpenMessageBox(text, caption)) return;
    bool open = true;
    while (open && !ending_) {
      Step([&](const UiEvent& ev) {
        if (ev.kind == UiEvent::Kind::MessageBoxClosed) {
          open = false;
        } else if (ev.kind == UiEvent::Kind::Closed) {
          open = false;
          End(result::kCancel);
        }
        // Anything else was meant for the dialog, which cannot take input under its box.
      });
    }
  }

  const DialogSite& site() const { return site_; }
  Renderer& renderer() { return renderer_; }

  void SetText(int32_t id, const Text& text) { renderer_.SetText(id, text); }
  void Enable(int32_t id, bool on) {
    enabled_[id] = on;
    renderer_.Enable(id, on);
  }
  // The first end code stands: a handler that goes on after its dialog has ended (the time
  // ran out under its message box) cannot replace it.
  void End(int32_t code) {
    if (ending_) return;
    ending_ = true;
    code_ = code;
  }
  int64_t NowMs() { return clock_.NowMs(); }
  bool ending() const { return ending_; }
  void SetTimer(int32_t id, int32_t periodMs) {
    if (periodMs <= 0) periodMs = 1;
    timers_[id] = Timer{periodMs, clock_.NowMs() + periodMs};
  }

 private:
  struct Timer {
    int32_t period;
    int64_t due;
  };

  // Waits for the person's next input or the next due timer, whichever comes first, hands
  // the input to `handle` and then fires the timers that are due.
  template <typename Handle>
  void Step(Handle&& handle) {
    int64_t timeout = -1;
    if (!timers_.empty()) timeout = std::max<int64_t>(0, NextDue() - clock_.NowMs());
    if (std::optional<UiEvent> ev = renderer_.WaitEvent(timeout)) {
      handle(*ev);
      if (ending_) return;
    }
    FireDueTimers();
  }

  int64_t NextDue() const {
    int64_t due = INT64_MAX;
    for (const auto& [id, t] : timers_) due = std::min(due, t.due);
    return due;
  }

  // Each due timer is delivered once, in id order, like a window timer whose message is
  // pending at most once; a late timer is not delivered twice.
  void FireDueTimers() {
    int64_t now = clock_.NowMs();
    for (auto& [id, t] : timers_) {
      if (ending_) return;
      if (t.due > now) continue;
      t.due += t.period;
      if (t.due <= now) t.due = now + t.period;
      dialog_.OnTimer(id);
      now = clock_.NowMs();
    }
  }

  void Deliver(const UiEvent& ev) {
    switch (ev.kind) {
      case UiEvent::Kind::Command: {
        // A click on a disabled button cannot happen with a real window; ignore one that a
        // renderer reports anyway (OK stays unusable until the card came back).
        auto it = enabled_.find(ev.id);
        if (it != enabled_.end() && !it->second) return;
        const Control* c = FindControl(tmpl_, ev.id);
        if (c && IsStaticKind(c->kind)) return;
        dialog_.OnCommand(ev.id);
        return;
      }
      case UiEvent::Kind::Escape:
        dialog_.OnCommand(kIdCancel);
        return;
      case UiEvent::Kind::CloseBox:
        if (tmpl_.closeBox) dialog_.OnCommand(kIdCancel);
        return;
      case UiEvent::Kind::Closed:
        // The window went away under us (helper died, display lost): as if closed.
        End(result::kCancel);
        return;
      case UiEvent::Kind::MessageBoxClosed:
        return;  // no box of this dialog is waited for
    }
  }

  Dialog& dialog_;
  const DialogSite& site_;
  const DialogTemplate& tmpl_;
  Renderer& renderer_;
  Clock& clock_;
  std::map<int32_t, bool> enabled_;
  std::map<int32_t, Timer> timers_;
  bool ending_ = false;
  int32_t code_ = 0;
};

int32_t Dialog::Run(const DialogSite& site, DialogEnv* env) {
  const DialogTemplate* tmpl = FindTemplate(templateNumber_);
  if (!tmpl) return result::kNotShown;
  DialogEnv& e = env ? *env : CurrentEnv();
  std::unique_ptr<Renderer> renderer = e.MakeRenderer();
  if (!renderer) return result::kNotShown;
  ModalScope scope(site.modal);
  if (!renderer->Open(*tmpl, Caption(*tmpl))) return result::kNotShown;
  ModalRun run(*this, site, *tmpl, *renderer, e.GetClock());
  ModalRun* outer = run_;
  run_ = &run;
  int32_t code = run.Loop();
  run_ = outer;
  renderer->Close();
  return code;
}

void Dialog::OnCommand(int32_t id) {
  if (id == kIdOk) EndDialog(result::kOk);
  else if (id == kIdCancel) EndDialog(result::kCancel);
}

void Dialog::SetText(int32_t id, const Text& text) {
  if (run_) run_->SetText(id, text);
}
void Dialog::Enable(int32_t id, bool enabled) {
  if (run_) run_->Enable(id, enabled);
}
void Dialog::Focus(int32_t id) {
  if (run_) run_->renderer().Focus(id);
}
void Dialog::MessageBox(const Text& text, const Text& caption) {
  if (run_) run_->MessageBox(text, caption);
}
void Dialog::EndDialog(int32_t code) {
  if (run_) run_->End(code);
}
void Dialog::SetTimer(int32_t id, int32_t periodMs) {
  if (run_) run_->SetTimer(id, periodMs);
}
bool Dialog::Ending() const { return run_ && run_->ending(); }
const DialogSite& Dialog::Site() const { return run_->site(); }
int64_t Dialog::ClockMs() const { return run_ ? run_->NowMs() : 0; }

}  // namespace quilta::ui
