#include "ui/warm_helper.h"

#include <mutex>
#include <utility>

namespace quilta::ui {
namespace {

struct Waiting {
  std::mutex mutex;
  std::unique_ptr<HelperProcess> helper;
  bool unloading = false;
};

// Never destroyed: a renderer may give its helper back after the static destructors ran.
Waiting& Slot() {
  static auto* waiting = new Waiting();
  return *waiting;
}

// Runs when the module is unloaded and when the process exits: the waiting helper is stopped
// (and reaped) rather than left to notice that its socket closed.
__attribute__((destructor)) void StopWaitingHelper() {
  Waiting& w = Slot();
  std::unique_ptr<HelperProcess> helper;
  {
    std::lock_guard lock(w.mutex);
    w.unloading = true;
    helper = std::move(w.helper);
  }
}

}  // namespace

std::unique_ptr<HelperProcess> TakeHelper(const std::string& path) {
  if (!HasDisplay()) return nullptr;
  std::unique_ptr<HelperProcess> waiting;
  {
    Waiting& w = Slot();
    std::lock_guard lock(w.mutex);
    waiting = std::move(w.helper);
  }
  if (waiting && waiting->OfThisProcess() && waiting->Path() == path &&
      waiting->Display() == DisplayKey() && waiting->Alive())
    return waiting;
  waiting.reset();  // stopped
  return HelperProcess::Start(path);
}

void GiveBackHelper(std::unique_ptr<HelperProcess> helper) {
  if (!helper) return;
  helper->SetHandler(nullptr);
  if (!helper->OfThisProcess() || !helper->Alive()) return;  // stopped
  Waiting& w = Slot();
  {
    std::lock_guard lock(w.mutex);
    if (!w.unloading && !w.helper) {
      w.helper = std::move(helper);
      return;
    }
  }
  helper.reset();  // stopped
}

}  // namespace quilta::ui
