// A stand-in for the person in front of the dialogs: it plays a short script (press buttons
// and keypad keys, Esc, the close box, wait a number of timer ticks, pull or insert the card)
// on virtual time, and records what the dialogs showed. A message box stays open while the
// script waits, moves the card or does other things, and is closed by the person just before
// the next press (any button, key, Esc or close-box step) or when the script is done. Tests use it directly; the page-script
// host of the demo installs it with SetDialogEnvForDevelopment (ui/modal.h). No page can.
//
//   ScriptedCustomer person;
//   person.onCard = [&](bool in) { in ? vpcsc.InsertCard(reader, card) : vpcsc.RemoveCard(reader); };
//   person.Wait(2).PullCard().Wait(1).InsertCard().Wait(1).Ok();
//   int32_t r = dlg.Run(core.dialogSite(), &person);
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/text.h"
#include "ui/modal.h"
#include "ui/renderer.h"

namespace quilta::ui {

class ScriptedCustomer final : public DialogEnv, public Clock {
 public:
  // One thing the dialog did, as the person saw it.
  struct Shown {
    enum class What { Text, Enable, Focus, Message };
    What what;
    int64_t atMs;   // virtual time since the dialog opened
    int32_t id = 0;
    Text text;      // Text: the new text; Message: the message
    bool on = false;
  };
  // One dialog (or a message box shown on its own, template 0).
  struct Window {
    int32_t templateNumber = 0;
    Text caption;
    std::vector<Shown> shown;
    bool closed = false;

    // Current state after everything shown so far.
    Text TextOf(int32_t id) const;
    std::optional<bool> EnabledOf(int32_t id) const;  // nullopt: never changed
    std::vector<Text> Messages() const;
    // Every text shown in control `id`, in order.
    std::vector<Text> TextsOf(int32_t id) const;
  };

  // ---- Script (steps run in order, across dialogs) ----
  ScriptedCustomer& Press(int32_t id);
  ScriptedCustomer& Ok() { return Press(kIdOk); }
  ScriptedCustomer& Cancel() { return Press(kIdCancel); }
  ScriptedCustomer& Esc();
  ScriptedCustomer& CloseBox();
  // Presses the keys of a digit string on a keypad whose key 0 has id firstKeyId.
  ScriptedCustomer& Keys(const std::string& digits, int32_t firstKeyId);
  // Presses digit keys / the clear key of the keypad of whichever dialog is open when the
  // step comes (template 201 or 104).
  ScriptedCustomer& Digits(const std::string& digits);
  ScriptedCustomer& ClearKey();
  // Lets `ticks` periods of 1,000 ms pass without doing anything.
  ScriptedCustomer& Wait(int32_t ticks);
  ScriptedCustomer& PullCard();
  ScriptedCustomer& InsertCard();
  // Anything else the person does (on the reader's pad, for example).
  ScriptedCustomer& Do(std::function<void()> action);

  // Appends steps written as text, one per word group, separated by ';' or new lines:
  //   ok | cancel | esc | close | press <id> | digits <digits> | clear | wait <ticks> |
  //   pull | insert
  // False (and nothing appended) on a word it does not know; *error names it.
  bool AppendScript(std::string_view text, std::string* error = nullptr);

  // Pulls (false) or inserts (true) the card: wire it to the virtual reader or the
  // simulator's control channel.
  std::function<void(bool inserted)> onCard;
  // Simulates a machine without a display: every dialog ends with -1.
  bool noDisplay = false;

  // ---- Records ----
  const std::vector<Window>& Windows() const { return windows_; }
  const Window& Last() const { return windows_.back(); }
  size_t StepsLeft() const { return steps_.size() - next_; }

  // ---- DialogEnv / Clock ----
  std::unique_ptr<Renderer> MakeRenderer() override;
  Clock& GetClock() override { return *this; }
  int64_t NowMs() override { return now_; }

 private:
  class Screen;
  struct Step {
    enum class Kind { Event, Wait, Card, Action, Digit, Clear };
    explicit Step(Kind k) : kind(k) {}
    // A press: the person closes an open message box first.
    bool ClosesMessageBox() const {
      return kind == Kind::Event || kind == Kind::Digit || kind == Kind::Clear;
    }
    Kind kind;
    UiEvent event;
    int32_t ticks = 0;
    bool inserted = false;
    std::function<void()> action;
  };

  std::optional<UiEvent> NextEvent(int64_t timeoutMs);

  std::vector<Step> steps_;
  size_t next_ = 0;
  int64_t now_ = 0;
  int64_t waitUntil_ = 0;
  int64_t openedAt_ = 0;
  int32_t openTemplate_ = 0;
  int boxesOpen_ = 0;         // message boxes up
  size_t ownBoxWindow_ = 0;   // 1 + index of the window of a box of its own, 0 for none
  std::vector<Window> windows_;
};

}  // namespace quilta::ui
