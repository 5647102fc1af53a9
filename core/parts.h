// The owned parts behind the core object. Card operations, dialogs and transactions take
// the parts they need; CAtmCore (core/atm_core.h) is the facade both script surfaces use.
#pragma once

#include "card/channel.h"
#include "core/process_state.h"
#include "base/properties.h"
#include "crypto/session_crypto.h"

namespace quilta {

namespace card {
class ReaderPinDialog;
}

struct CoreParts {
  CoreParts();

  card::Channel channel;
  PropertyStore props;
  SessionCrypto crypto;
  ProcessState shared;

  // The dialog that runs the PIN on a second-generation reader's pad (installed by the ui).
  card::ReaderPinDialog* readerPinDialog = nullptr;

  // Set while one of our modal dialogs or message boxes waits on the person: the script
  // layer refuses page calls meanwhile.
  int modalDepth = 0;
  bool Busy() const { return modalDepth > 0; }

  // Reports an outcome: writes ErrorInfo and returns the page's status.
  int32_t Report(const Outcome& outcome) { return shared.errorInfo.Report(outcome); }
  int32_t Report(int32_t ownCode) { return shared.errorInfo.Report(ownCode); }
};

// RAII marker for a running modal dialog or message box.
class ModalScope {
 public:
  explicit ModalScope(CoreParts& core) : core_(core) { ++core_.modalDepth; }
  ~ModalScope() { --core_.modalDepth; }
  ModalScope(const ModalScope&) = delete;
  ModalScope& operator=(const ModalScope&) = delete;

 private:
  CoreParts& core_;
};

}  // namespace quilta
