// Prints where the customer clicks in a dialog, for the end-to-end test's X driver: the
// template's size and the OK button and keypad keys 0..9, in dialog units, one line each:
//   size W H
//   ok X Y W H
//   key D X Y W H
//   quilta-e2e-geometry 104   (the transfer summary with its keypad)
//   quilta-e2e-geometry 201   (the keypad input dialog)
#include <cstdio>
#include <cstdlib>

#include "ui/control_ids.h"
#include "ui/dialog_template.h"

int main(int argc, char** argv) {
  using namespace quilta::ui;
  const int number = argc > 1 ? std::atoi(argv[1]) : 0;
  const DialogTemplate* t = FindTemplate(number);
  if (t == nullptr) return 1;
  const KeypadLayout& pad = number == 201 ? kInputKeypad : kTransferKeypad;
  std::printf("size %d %d\n", t->width, t->height);
  if (const Control* c = FindControl(*t, kIdOk)) std::printf("ok %d %d %d %d\n", c->x, c->y, c->w, c->h);
  for (int d = 0; d < 10; ++d)
    if (const Control* c = FindControl(*t, pad.firstKeyId + d))
      std::printf("key %d %d %d %d %d\n", d, c->x, c->y, c->w, c->h);
  return 0;
}
