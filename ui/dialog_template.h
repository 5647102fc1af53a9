// Dialog templates as data: one table per template, read by every renderer. Positions and
// sizes are in dialog units (converted from the dialog font's metrics by the renderer).
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "ui/control_ids.h"

namespace quilta::ui {

// The PIN pads' instruction lines, as the templates and the callers of the reader dialogs
// give them: the whole line; the line as the detailed TAC dialogs show it (cut before
// "碼並按"); the short line of a type-3 reader's VerifyPIN.
inline constexpr std::u16string_view kPadInstruction = u"並依照字幕顯示需要按讀卡機上數字鍵輸入密碼並按";
inline constexpr std::u16string_view kPadInstructionCut = u"並依照字幕顯示需要按讀卡機上數字鍵輸入密";
inline constexpr std::u16string_view kPadInstructionShort = u"並依照字幕顯示需要按讀卡機上";

// Control kinds and text colours. Their values are also the values on the wire to the dialog
// helper (ui/dialog_wire.h pins them for its protocol version); the helper draws by them.
enum class ControlKind : uint8_t {
  Text,           // static text
  SunkenText,     // static text with a sunken frame
  CenteredText,   // static text, vertically centred
  Edit,           // bordered edit field (disabled: display only)
  Button,         // push button
  DefaultButton,  // default push button (Enter)
  BitmapButton,   // owner-drawn picture button (keypads)
};
inline constexpr ControlKind kLastControlKind = ControlKind::BitmapButton;  // keep with the list

enum class TextColour : uint8_t { Default, Warning /* red 255,0,0 */, Emphasis /* blue 0,0,255 */ };
inline constexpr TextColour kLastTextColour = TextColour::Emphasis;  // keep with the list

// Static texts of every kind (everything that is not a button).
constexpr bool IsStaticKind(ControlKind k) {
  return k == ControlKind::Text || k == ControlKind::SunkenText || k == ControlKind::CenteredText ||
         k == ControlKind::Edit;
}

struct Control {
  int32_t id;  // -1 for a text without an id
  ControlKind kind;
  int16_t x, y, w, h;  // dialog units; w or h 0 = as wide/high as the text needs
  std::u16string_view text;  // the template's own text
  TextColour colour = TextColour::Default;
  bool disabled = false;
  // Picture buttons: the normal/pushed bitmap number and the hover bitmap number.
  int16_t bitmap = 0;
  int16_t hoverBitmap = 0;
};

struct DialogTemplate {
  int32_t number;                // resource number (103, 104, 105, 1051, ...)
  int16_t width, height;         // dialog units
  std::u16string_view caption;   // the template's caption ("" for none)
  std::u16string_view fontFace;  // "標楷體" or "System"
  int16_t fontPoints;
  bool closeBox;                 // system menu with a close box
  bool centreOverOwner;          // keypad dialogs centre over their owner window
  std::span<const Control> controls;
};

// The template with this number, or nullptr when the module has none.
const DialogTemplate* FindTemplate(int32_t number);

// Every template of the module, in ascending number.
std::span<const DialogTemplate> AllTemplates();

// The control with this id in the template, or nullptr (ids of -1 are never found).
const Control* FindControl(const DialogTemplate& tmpl, int32_t id);

}  // namespace quilta::ui
