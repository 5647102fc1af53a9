#include "nmhost/session_base.h"

#include "base/secret.h"

namespace quilta::nmhost {

void SessionBase::TakeFrames() {
  std::string payload;
  for (;;) {
    const FrameReader::Result r = reader_.Next(&payload);
    if (r == FrameReader::Result::NeedMore) return;
    if (r == FrameReader::Result::TooLong) {
      Send(ErrorAnswer(Json::Null(), "frame-too-long",
                       "a frame may hold at most " + std::to_string(kMaxFrame) + " bytes"));
      End("frame too long", 1);
    }
    if (reader_.HasPartial() && !heldFramesQueued_) {
      heldFramesQueued_ = true;
      QueueHeldFrames();
    }
    Send(bridge_.Answer(payload));
    WipeString(payload);  // the request may have carried a PIN
  }
}

void SessionBase::Send(const std::string& payload) {
  const std::string frame = EncodeFrame(payload);
  if (!WriteAll(out_, frame.data(), frame.size())) End("stdout closed", 0);
}

void SessionBase::End(const char* reason, int exitCode) {
  // Past the page rules: the release must happen also while a dialog is open (a page's call
  // would be refused), and must not depend on what the page did.
  const Released released = ReleaseCardSession();
  std::string what;
  if (released.card) what += " DisconnectCard " + std::to_string(*released.card);
  if (released.driver) what += " DisconnectDriver " + std::to_string(*released.driver);
  Log(std::string(reason) + (what.empty() ? ": nothing to release" : ": released" + what));
  ExitNow(exitCode);
}

void LogCaller(int argc, char** argv) {
  std::string caller;
  for (int i = 1; i < argc; ++i) caller += std::string(i > 1 ? " " : "") + argv[i];
  Log("started by " + (caller.empty() ? std::string("(no arguments)") : caller));
}

}  // namespace quilta::nmhost
