#include "ui/card_watch.h"

#include <algorithm>
#include <string>

#include "ui/modal.h"

namespace quilta::ui {

namespace sc = platform::scard;

void CardPresence::Reset() { state_ = platform::ReaderState{}; }

int32_t CardPresence::QueryCardAbsent(card::Channel& channel, platform::ScardContext context,
                                      const std::string& readerName) {
  const uint32_t last = state_.eventState;
  state_.reader = readerName;
  state_.currentState = sc::kStateUnaware;
  if (channel.QueryReader(context, &state_, sc::kInfinite) != sc::kSuccess)
    state_.eventState = last;  // a failed query tells nothing new
  return (state_.eventState & sc::kStatePresent) ? 0 : 1;
}

void CardWatch::Start(Host& host, int32_t limitSeconds) {
  index_ = 0;
  history_ = {9, 9, 9, 9, 9};
  limit_ = limitSeconds;
  secondsLeft_ = limitSeconds;
  host.EnableOk(false);
  history_[0] = host.QueryCardAbsent();
  if (history_[0] == 1) host.EndWith(result::kNoCard);
  startMs_ = host.NowMs();
  host.SetTimer1();
}

void CardWatch::Tick(Host& host) {
  // Whole seconds since the timer started; on time, tick k reads k.
  const int64_t elapsed = (host.NowMs() - startMs_) / 1000;
  const int32_t before = secondsLeft_;
  const int64_t left = std::min<int64_t>(limit_ - elapsed, before - 1);
  secondsLeft_ = static_cast<int32_t>(std::max<int64_t>(0, left));
  if (before > 0 && secondsLeft_ == 0) host.EndWith(result::kTimedOut);
  const Text shown = AsciiText(std::to_string(secondsLeft_));
  const int32_t b = host.QueryCardAbsent();
  if (index_ >= 2) {
    // OK is enabled for good: nothing more to record, the countdown just runs.
    host.ShowCountdown(shown);
    return;
  }
  if (b == history_[index_]) {
    host.ShowCountdown(shown);
    return;
  }
  ++index_;
  history_[index_] = b;
  if (index_ == 2) {
    host.EnableOk(true);
    host.FocusOk();
  }
}

}  // namespace quilta::ui
