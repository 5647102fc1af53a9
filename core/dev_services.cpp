// AttachForDevelopment (core/script.h): in a file of its own, so that a module built without
// the development hooks links none of it.
#include "core/atm_core.h"
#include "core/script.h"
#include "platform/os.h"
#include "platform/pcsc.h"
#include "ui/modal.h"

namespace quilta {

void AttachForDevelopment(const DevelopmentServices& services) {
  CAtmCore& core = ProcessCore();
  core.channel().pcsc = services.pcsc != nullptr ? services.pcsc : &platform::SystemPcsc();
  core.channel().sleeper =
      services.sleeper != nullptr ? services.sleeper : &platform::RealSleeper();
  if (services.readerPinDialog != nullptr) core.SetReaderPinDialog(services.readerPinDialog);
  if (services.replaceDialogEnv) ui::SetDialogEnvForDevelopment(services.dialogEnv);
}

}  // namespace quilta
