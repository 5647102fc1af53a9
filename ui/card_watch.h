// The card-presence query and the countdown-and-card watch of the confirmation dialogs: the
// customer must take the card out and put it back before OK can be used, within the dialog's
// limit (45 or 90 seconds).
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "base/text.h"
#include "card/channel.h"
#include "platform/pcsc.h"

namespace quilta::ui {

// 1 when the reader holds no card, 0 when it does. One status query through the card channel
// that answers at once (current state unaware, no time-out needed). The record is reused by every
// query of its owner; a failed query repeats the last state observed (absent before the first
// success).
class CardPresence {
 public:
  void Reset();  // before the first query of a run: nothing observed yet = absent
  int32_t QueryCardAbsent(card::Channel& channel, platform::ScardContext context,
                          const std::string& readerName);

 private:
  platform::ReaderState state_;
};

// Countdown and take-out-and-put-back watch. The history records the states seen: the
// opening state, the take-out, the re-insert; once OK is enabled nothing more is recorded.
// The countdown follows the clock the timers run on, not the number of ticks: a tick that
// comes late shows the seconds really left, and the first tick at or past the limit ends
// the dialog with 3.
class CardWatch {
 public:
  struct Host {
    virtual ~Host() = default;
    virtual int32_t QueryCardAbsent() = 0;
    virtual void EndWith(int32_t code) = 0;
    virtual void EnableOk(bool on) = 0;
    virtual void FocusOk() = 0;
    virtual void SetTimer1() = 0;
    virtual void ShowCountdown(const Text& text) = 0;
    // Milliseconds on the clock of the dialog's timers.
    virtual int64_t NowMs() = 0;
  };

  void Start(Host& host, int32_t limitSeconds);
  void Tick(Host& host);

  int32_t SecondsLeft() const { return secondsLeft_; }
  bool OkEnabled() const { return index_ >= 2; }

 private:
  int32_t limit_ = 0;
  int64_t startMs_ = 0;
  int32_t secondsLeft_ = 0;
  std::array<int32_t, 5> history_{9, 9, 9, 9, 9};
  int32_t index_ = 0;
};

}  // namespace quilta::ui
