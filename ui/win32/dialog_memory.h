// In-memory DIALOGEX templates from the template tables (ui/templates.cpp): the same
// positions and sizes in dialog units, the template's font, caption and control kinds.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ui/dialog_template.h"

namespace quilta::ui::win32 {

// The bytes of a DLGTEMPLATEEX (DWORD-aligned, ready for CreateDialogIndirectParamW) for
// `tmpl` with `caption`. Popup, caption, modal frame, centred, topmost; a system menu with
// close box where the template has one.
std::vector<uint8_t> BuildDialogTemplate(const DialogTemplate& tmpl, const std::u16string& caption);

// Width and height in dialog units that a control with w or h 0 gets: as large as its text
// needs (4 units a narrow character, 8 a wide one; 8 units high).
int16_t TextWidthDlu(std::u16string_view text);

}  // namespace quilta::ui::win32
