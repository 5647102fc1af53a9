#include "ui/gtk/pictures.h"

#include <pango/pangocairo.h>

#include <cmath>
#include <string>

namespace quilta::ui::gtk {
namespace {

enum class Pad { Input, Transfer };

struct Picture {
  Pad pad;
  bool hover;
  int digit;  // 0..9, or -1 for the clear key
  PictureSize size;
};

std::optional<Picture> Describe(int n) {
  if (n >= 132 && n <= 141) {
    const bool short39 = n == 134 || n == 137 || n == 139;
    return Picture{Pad::Input, false, n - 132, {58, short39 ? 39 : 40}};
  }
  if (n >= 143 && n <= 152) return Picture{Pad::Input, true, n - 143, {58, 40}};
  if (n == 153 || n == 154) return Picture{Pad::Input, n == 154, -1, {126, 40}};
  if (n >= 732 && n <= 741) return Picture{Pad::Transfer, false, n - 732, {28, 28}};
  if (n >= 743 && n <= 752) return Picture{Pad::Transfer, true, n - 743, {28, 28}};
  if (n == 716 || n == 717) return Picture{Pad::Transfer, n == 717, -1, {56, 28}};
  return std::nullopt;
}

void RoundedRect(cairo_t* cr, double x, double y, double w, double h, double r) {
  cairo_new_sub_path(cr);
  cairo_arc(cr, x + w - r, y + r, r, -M_PI / 2, 0);
  cairo_arc(cr, x + w - r, y + h - r, r, 0, M_PI / 2);
  cairo_arc(cr, x + r, y + h - r, r, M_PI / 2, M_PI);
  cairo_arc(cr, x + r, y + r, r, M_PI, 3 * M_PI / 2);
  cairo_close_path(cr);
}

// Draws text centred in the w x h box, in the given font (family, bold, pixel size).
void CentredText(cairo_t* cr, const std::string& text, const char* family, bool bold, int px,
                 double w, double h, double r, double g, double b) {
  PangoLayout* layout = pango_cairo_create_layout(cr);
  PangoFontDescription* fd = pango_font_description_new();
  pango_font_description_set_family(fd, family);
  pango_font_description_set_weight(fd, bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
  pango_font_description_set_absolute_size(fd, px * PANGO_SCALE);
  pango_layout_set_font_description(layout, fd);
  pango_layout_set_text(layout, text.c_str(), -1);
  PangoRectangle ink, logical;
  pango_layout_get_pixel_extents(layout, &ink, &logical);
  // Centre the ink (what one sees), not the line box, so digits sit in the middle.
  cairo_move_to(cr, std::round((w - ink.width) / 2.0 - ink.x), std::round((h - ink.height) / 2.0 - ink.y));
  cairo_set_source_rgb(cr, r, g, b);
  pango_cairo_show_layout(cr, layout);
  pango_font_description_free(fd);
  g_object_unref(layout);
}

void DrawInputKey(cairo_t* cr, const Picture& p) {
  const double w = p.size.width, h = p.size.height;
  cairo_set_source_rgb(cr, 240 / 255.0, 240 / 255.0, 240 / 255.0);  // button face
  cairo_paint(cr);
  RoundedRect(cr, 1.5, 1.5, w - 3, h - 3, 7);
  cairo_pattern_t* body = cairo_pattern_create_linear(0, 0, 0, h);
  cairo_pattern_add_color_stop_rgb(body, 0, 0.97, 0.97, 0.97);
  cairo_pattern_add_color_stop_rgb(body, 1, 0.80, 0.80, 0.80);
  cairo_set_source(cr, body);
  cairo_fill_preserve(cr);
  cairo_pattern_destroy(body);
  if (p.hover) {
    cairo_set_source_rgb(cr, 0.25, 0.25, 0.25);
    cairo_set_line_width(cr, 2.5);
  } else {
    cairo_set_source_rgb(cr, 0.62, 0.62, 0.62);
    cairo_set_line_width(cr, 1.0);
  }
  cairo_stroke(cr);
  const double ink = 0.25;  // dark grey
  if (p.digit >= 0) {
    CentredText(cr, std::string(1, static_cast<char>('0' + p.digit)), "Sans", true, 22, w, h, ink, ink, ink);
  } else {
    CentredText(cr, "清除 CLEAR", "AR PL UKai TW", true, 20, w, h, ink, ink, ink);
  }
}

void DrawTransferKey(cairo_t* cr, const Picture& p) {
  const double w = p.size.width, h = p.size.height;
  cairo_set_source_rgb(cr, 240 / 255.0, 240 / 255.0, 240 / 255.0);
  cairo_paint(cr);
  RoundedRect(cr, 0.5, 0.5, w - 1, h - 1, 3);
  if (p.hover)
    cairo_set_source_rgb(cr, 1.0, 0.71, 0.80);  // pink
  else
    cairo_set_source_rgb(cr, 1.0, 1.0, 1.0);
  cairo_fill_preserve(cr);
  cairo_set_line_width(cr, 1.0);
  if (p.hover)
    cairo_set_source_rgb(cr, 0.75, 0.45, 0.55);
  else
    cairo_set_source_rgb(cr, 0.50, 0.62, 0.75);
  cairo_stroke(cr);
  const double r = 0, g = 0, b = p.hover ? 0 : 1;  // blue digit, black under the pointer
  if (p.digit >= 0)
    CentredText(cr, std::string(1, static_cast<char>('0' + p.digit)), "Sans", true, 18, w, h, r, g, b);
  else
    CentredText(cr, "清除重填", "AR PL UKai TW", false, 13, w, h, r, g, b);
}

}  // namespace

std::optional<PictureSize> KeypadPictureSize(int number) {
  const auto p = Describe(number);
  if (!p) return std::nullopt;
  return p->size;
}

cairo_surface_t* RenderKeypadPicture(int number) {
  const auto p = Describe(number);
  if (!p) return nullptr;
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, p->size.width, p->size.height);
  cairo_t* cr = cairo_create(s);
  if (p->pad == Pad::Input)
    DrawInputKey(cr, *p);
  else
    DrawTransferKey(cr, *p);
  cairo_destroy(cr);
  cairo_surface_flush(s);
  return s;
}

}  // namespace quilta::ui::gtk
