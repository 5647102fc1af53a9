// What every page and every plug-in instance of the process shares, in one place. The core
// is one per process, so its parts are process-wide too: the card channel holds CardContext,
// CardHandle and ActiveProtocol, the property store CardNo, ReaderName and SessionKey. The
// remaining shared items live here.
#pragma once

#include "base/secret.h"
#include "base/status.h"

namespace quilta {

struct ProcessState {
  ErrorInfo errorInfo;          // the last status text, read as ErrorInfo
  bool pinVerified = false;     // a PIN was verified on the card of this session
  bool readerPinDone = false;   // a reader-PIN inquiry was completed
  SecretText plainSessionKey;   // the session key unwrapped from SessionKey
};

}  // namespace quilta
