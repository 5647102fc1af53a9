// Dialog units: template positions are in units of the dialog font, a quarter of the
// font's average character width across and an eighth of its height down, as a dialog
// manager computes them.
#pragma once

#include <pango/pango.h>

#include <string>

namespace quilta::ui::gtk {

struct BaseUnits {
  int x = 0;  // average character width in pixels
  int y = 0;  // character height in pixels
};

// The font family used for a template's font face: the Kai face falls back to the Kai-style
// CJK font, "System" to the default sans; anything else is asked for by its own name.
std::string FontFamilyFor(const std::string& face);

// The font's pixel size for a point size at 96 dots per inch (rounded).
int FontPixels(int points);

// Base units of the font: x from the width of the 52 Latin letters, (w / 26 + 1) / 2; y the
// height of a line.
BaseUnits MeasureBaseUnits(PangoContext* context, const PangoFontDescription* font);

// a * b / c rounded half away from zero (b, c > 0).
int MulDiv(int a, int b, int c);
inline int DialogToPixelsX(int units, const BaseUnits& base) { return MulDiv(units, base.x, 4); }
inline int DialogToPixelsY(int units, const BaseUnits& base) { return MulDiv(units, base.y, 8); }

}  // namespace quilta::ui::gtk
