#include "ui/gtk/dialog_units.h"

namespace quilta::ui::gtk {

std::string FontFamilyFor(const std::string& face) {
  if (face == "標楷體" || face.empty()) return "AR PL UKai TW";
  if (face == "System") return "Sans";
  return face;
}

int FontPixels(int points) { return MulDiv(points, 96, 72); }

int MulDiv(int a, int b, int c) {
  const long long p = static_cast<long long>(a) * b;
  const long long q = p >= 0 ? (p + c / 2) / c : -((-p + c / 2) / c);
  return static_cast<int>(q);
}

BaseUnits MeasureBaseUnits(PangoContext* context, const PangoFontDescription* font) {
  PangoLayout* layout = pango_layout_new(context);
  pango_layout_set_font_description(layout, font);
  pango_layout_set_text(layout, "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz", -1);
  int w = 0, h = 0;
  pango_layout_get_pixel_size(layout, &w, &h);
  g_object_unref(layout);
  BaseUnits b;
  b.x = (w / 26 + 1) / 2;
  b.y = h;
  if (b.x < 1) b.x = 1;
  if (b.y < 1) b.y = 1;
  return b;
}

}  // namespace quilta::ui::gtk
