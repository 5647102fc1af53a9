// quilta-nmhost.exe --check: the Smart Card service and the readers, the modules, the
// browsers' roads and the font, in that order, and the findings written out.
#include "nmhost/check_win32.h"

#include <cstdio>
#include <string>

#include "diagnosis/report.h"
#include "diagnosis/smart_cards.h"
#include "nmhost/check_win32_parts.h"
#include "nmhost/manifest_templates.h"
#include "platform/pcsc.h"
#include "platform/win32/module.h"

namespace quilta::nmhost {
namespace {

using diagnosis::Report;
namespace win32 = platform::win32;
using win32::Wide;

// The Windows Smart Card service in the shared check's sentences. Since Windows 8 the service
// runs only while a reader is plugged in: without one, it is "not running".
const diagnosis::SmartCardService kService{
    "The Smart Card service",
    "plug the card reader in (Windows starts the service for it) or, if it is plugged in, start "
    "the service \"Smart Card\" in Services (services.msc), and run this check again",
    "restart the service \"Smart Card\" in Services (services.msc) and run this check again as "
    "the user who runs the browser",
    "restart the service \"Smart Card\" in Services (services.msc) and run this check again",
    " (Windows installs its driver: wait until it says the device is ready)"};

// The console takes the lines as UTF-16; a pipe or a file gets the UTF-8 bytes.
void Write(const std::string& text) {
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  if (out != nullptr && out != INVALID_HANDLE_VALUE && GetConsoleMode(out, &mode)) {
    const std::wstring w = Wide(text);
    DWORD written = 0;
    WriteConsoleW(out, w.data(), static_cast<DWORD>(w.size()), &written, nullptr);
    return;
  }
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

}  // namespace

int RunCheck(bool json) {
  const diagnosis::Identity identity{manifests::kHostName, QUILTA_WEBEXT_CHROMIUM_ID,
                                     QUILTA_WEBEXT_GECKO_ID};
  const std::wstring program = win32::ModulePath(nullptr);
  Report report;
  diagnosis::CheckSmartCards(platform::SystemPcsc(), kService, report);
  check::CheckModules(program, report);
  check::CheckBrowsers(identity, program, report);
  check::CheckFont(report);
  Write(json ? diagnosis::AsJson(report) : diagnosis::AsText(report));
  return report.Clear() ? 0 : 1;
}

}  // namespace quilta::nmhost
