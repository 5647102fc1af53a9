// Keeps the dialog helper warm: started with the process's first dialog and handed from one
// dialog to the next, so that a dialog after the first is on the screen without the helper's
// start and GTK's set-up. One helper waits at a time. It is stopped when the module that holds
// this code is unloaded or the process exits; a process that ends otherwise (killed, _exit)
// ends it as well (ui/helper_process.h).
//
// A renderer takes the waiting helper for its dialog and gives it back when it is done, with
// nothing of its own left on the screen (its last message was Close). A renderer made while
// another holds the helper (a message box in the middle of a dialog) gets a helper started
// for it alone, stopped again when it is given back.
#pragma once

#include <memory>
#include <string>

#include "ui/helper_process.h"

namespace quilta::ui {

// The waiting helper when it runs `path`, was started by this process, draws on this
// process's display and is alive; else (that one stopped) a helper started now. nullptr
// without a display or when none can be started. What the waiting helper still said about
// earlier dialogs is dropped.
std::unique_ptr<HelperProcess> TakeHelper(const std::string& path);

// Takes back a helper from TakeHelper. It waits for the next dialog, unless it is gone, another
// waits already or the module is being unloaded: then it is stopped.
void GiveBackHelper(std::unique_ptr<HelperProcess> helper);

}  // namespace quilta::ui
