// Shows one dialog template through the Win32 renderer (for a look under Wine and Xvfb):
//   dialog_show.exe NUMBER [MILLISECONDS]
// Opens the template, fills the summary texts, pumps messages for the given time (default
// 3000 ms) and reports the events the person caused. Prints "ALL PASSED" when the window
// opened and closed cleanly.
#include <cstdio>
#include <cstdlib>

#include "ui/dialog_template.h"
#include "ui/renderer.h"

#include "check.h"

int main(int argc, char** argv) {
  using namespace quilta::ui;
  const int number = argc > 1 ? std::atoi(argv[1]) : 904;
  const int64_t ms = argc > 2 ? std::atoi(argv[2]) : 3000;
  const DialogTemplate* tmpl = FindTemplate(number);
  if (tmpl == nullptr) return 2;
  std::unique_ptr<Renderer> r = MakeDefaultRenderer();
  if (!quilta::test::Check("open", r && r->Open(*tmpl, u"Tovak銀行  網路ATM")))
    return quilta::test::Finish();
  r->SetText(SummaryValueId(0), u"0123456789012345");
  r->SetText(SummaryValueId(1), u"004 0000123456789012");
  r->SetText(SummaryValueId(2), u"1,500");
  std::optional<UiEvent> ev;
  while ((ev = r->WaitEvent(ms))) std::printf("event %d id %d\n", static_cast<int>(ev->kind), ev->id);
  r->Close();
  return quilta::test::Finish();
}
