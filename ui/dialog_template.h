// Dialog templates as data: one table per template, read by every renderer. Positions and
// sizes are in dialog units (converted from the dialog font's metrics by the renderer).
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace quilta::ui {

enum class ControlKind : uint8_t {
  Text,           // static text
  SunkenText,     // static text with a sunken frame
  CenteredText,   // static text, vertically centred
  Edit,           // bordered edit field (disabled: display only)
  Button,         // push button
  DefaultButton,  // default push button (Enter)
  BitmapButton,   // owner-drawn picture button (keypads)
};

enum class TextColour : uint8_t { Default, Warning /* red 255,0,0 */, Emphasis /* blue 0,0,255 */ };

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

// Keypad conventions: the key at position k (k = 0..9) of a keypad is the button with id
// firstKeyId + k; it shows digit k, carries value k and never moves.
struct KeypadLayout {
  int32_t firstKeyId;   // 202 (template 201), 217 (template 104)
  int32_t clearId;      // 212, 215
  int16_t firstBitmap;  // normal and pushed picture of key 0 (132, 732)
  int16_t firstHover;   // hover picture of key 0 (143, 743)
  int16_t clearBitmap;  // 153, 716
  int16_t clearHover;   // 154, 717
};
inline constexpr KeypadLayout kInputKeypad{202, 212, 132, 143, 153, 154};
inline constexpr KeypadLayout kTransferKeypad{217, 215, 732, 743, 716, 717};

}  // namespace quilta::ui
