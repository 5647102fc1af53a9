// Draws the keypad pictures into a folder, one NUMBER.bmp per resource number. The files are
// kept in resources/keypad: the Windows module holds them as bitmap resources (see
// activex/resources.rc.in), the GTK dialog helper has them built in (ui/gtk/pictures.h).
//   draw-keypad-bitmaps OUTPUT_FOLDER
// The input keypad (template 201): keys 0..9 are 132..141 (58x40; 134, 137 and 139 are
// 58x39), a grey rounded key with the digit in dark grey; their hover pictures 143..152 have
// a darker rim; the clear key 153 (hover 154) is 126x40 and shows 清除 and CLEAR.
// The transfer keypad (template 104): keys 0..9 are 732..741 (28x28), a white key with a blue
// digit; their hover pictures 743..752 are pink keys with a black digit; the clear key 716
// (hover 717) is 56x28 and shows 清除重填.
// Digits are drawn in DejaVu Sans, Chinese in AR PL UKai TW (fonts-arphic-ukai), grey-scale
// anti-aliased, so the same fonts give the same files. Exit code 0 when every file was written.
#include <cairo.h>
#include <pango/pangocairo.h>

#include <cstdio>
#include <string>

#include "bmp_writer.h"

namespace keypad_art {
namespace {

struct Rgb {
  double r, g, b;
};
constexpr Rgb FromBytes(int r, int g, int b) { return {r / 255.0, g / 255.0, b / 255.0}; }

// One key's look.
struct KeyStyle {
  Rgb outside;             // the corners outside the rounded key
  Rgb faceTop, faceBottom; // vertical gradient of the key face
  Rgb rim;
  double rimWidth;
  double radius;
  Rgb ink;                 // the label's colour
};

constexpr Rgb kDialogFace = FromBytes(240, 240, 240);

constexpr KeyStyle kGrey{kDialogFace, FromBytes(236, 236, 236), FromBytes(196, 196, 196),
                         FromBytes(150, 150, 150), 1.5, 8, FromBytes(64, 64, 64)};
constexpr KeyStyle kGreyHover{kDialogFace, FromBytes(236, 236, 236), FromBytes(196, 196, 196),
                              FromBytes(72, 72, 72), 3, 8, FromBytes(64, 64, 64)};
constexpr KeyStyle kWhite{kDialogFace, FromBytes(255, 255, 255), FromBytes(255, 255, 255),
                          FromBytes(150, 150, 170), 1, 4, FromBytes(0, 0, 255)};
constexpr KeyStyle kPink{kDialogFace, FromBytes(255, 192, 203), FromBytes(255, 192, 203),
                         FromBytes(200, 120, 140), 1, 4, FromBytes(0, 0, 0)};

void SetColour(cairo_t* cr, Rgb c) { cairo_set_source_rgb(cr, c.r, c.g, c.b); }

void RoundedRect(cairo_t* cr, double x, double y, double w, double h, double r) {
  cairo_new_sub_path(cr);
  cairo_arc(cr, x + w - r, y + r, r, -G_PI / 2, 0);
  cairo_arc(cr, x + w - r, y + h - r, r, 0, G_PI / 2);
  cairo_arc(cr, x + r, y + h - r, r, G_PI / 2, G_PI);
  cairo_arc(cr, x + r, y + r, r, G_PI, 3 * G_PI / 2);
  cairo_close_path(cr);
}

// The label (Pango markup) centred on its ink in the key.
void DrawLabel(cairo_t* cr, int width, int height, const std::string& markup, Rgb ink) {
  PangoLayout* layout = pango_cairo_create_layout(cr);
  cairo_font_options_t* options = cairo_font_options_create();
  cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
  cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_SLIGHT);
  pango_cairo_context_set_font_options(pango_layout_get_context(layout), options);
  cairo_font_options_destroy(options);
  pango_layout_context_changed(layout);
  pango_layout_set_markup(layout, markup.c_str(), -1);
  PangoRectangle inkRect, logical;
  pango_layout_get_pixel_extents(layout, &inkRect, &logical);
  const double x = (width - inkRect.width) / 2.0 - inkRect.x;
  const double y = (height - inkRect.height) / 2.0 - inkRect.y;
  cairo_move_to(cr, static_cast<int>(x + 0.5), static_cast<int>(y + 0.5));
  SetColour(cr, ink);
  pango_cairo_show_layout(cr, layout);
  g_object_unref(layout);
}

Picture DrawKey(int width, int height, const KeyStyle& s, const std::string& markup) {
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
  cairo_t* cr = cairo_create(surface);
  SetColour(cr, s.outside);
  cairo_paint(cr);
  const double inset = s.rimWidth / 2;
  RoundedRect(cr, inset, inset, width - 2 * inset, height - 2 * inset, s.radius);
  cairo_pattern_t* face = cairo_pattern_create_linear(0, 0, 0, height);
  cairo_pattern_add_color_stop_rgb(face, 0, s.faceTop.r, s.faceTop.g, s.faceTop.b);
  cairo_pattern_add_color_stop_rgb(face, 1, s.faceBottom.r, s.faceBottom.g, s.faceBottom.b);
  cairo_set_source(cr, face);
  cairo_fill_preserve(cr);
  cairo_pattern_destroy(face);
  SetColour(cr, s.rim);
  cairo_set_line_width(cr, s.rimWidth);
  cairo_stroke(cr);
  DrawLabel(cr, width, height, markup, s.ink);
  cairo_surface_flush(surface);

  Picture p;
  p.width = width;
  p.height = height;
  const unsigned char* data = cairo_image_surface_get_data(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  for (int y = 0; y < height; ++y) {
    const auto* row = reinterpret_cast<const uint32_t*>(data + y * stride);
    for (int x = 0; x < width; ++x) p.rgb.push_back(row[x] & 0xffffff);
  }
  cairo_destroy(cr);
  cairo_surface_destroy(surface);
  return p;
}

std::string Digit(int k, int px) {
  return "<span font_family=\"DejaVu Sans\" weight=\"bold\" font_size=\"" +
         std::to_string(px * PANGO_SCALE * 3 / 4) + "\">" + std::to_string(k) + "</span>";
}
std::string Chinese(const char* text, int px) {
  return "<span font_family=\"AR PL UKai TW\" font_size=\"" + std::to_string(px * PANGO_SCALE * 3 / 4) +
         "\">" + text + "</span>";
}

}  // namespace
}  // namespace keypad_art

int main(int argc, char** argv) {
  using namespace keypad_art;
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
    return 2;
  }
  const std::string folder = argv[1];
  int failures = 0;
  auto save = [&](int number, const Picture& p) {
    const std::string path = folder + "/" + std::to_string(number) + ".bmp";
    if (!WriteBmp8(path, p)) {
      std::fprintf(stderr, "cannot write %s\n", path.c_str());
      ++failures;
    }
  };
  // font_size is in points of 1/1024; at 96 dpi one point is 4/3 pixels (hence px * 3/4).
  for (int k = 0; k <= 9; ++k) {
    const int height = (k == 2 || k == 5 || k == 7) ? 39 : 40;
    save(132 + k, DrawKey(58, height, kGrey, Digit(k, 26)));
    save(143 + k, DrawKey(58, 40, kGreyHover, Digit(k, 26)));
    save(732 + k, DrawKey(28, 28, kWhite, Digit(k, 18)));
    save(743 + k, DrawKey(28, 28, kPink, Digit(k, 18)));
  }
  const std::string clear =
      Chinese("清除", 22) + "  <span font_family=\"DejaVu Sans\" weight=\"bold\" font_size=\"" +
      std::to_string(15 * PANGO_SCALE * 3 / 4) + "\">CLEAR</span>";
  save(153, DrawKey(126, 40, kGrey, clear));
  save(154, DrawKey(126, 40, kGreyHover, clear));
  save(716, DrawKey(56, 28, kWhite, Chinese("清除重填", 13)));
  save(717, DrawKey(56, 28, kPink, Chinese("清除重填", 13)));
  return failures == 0 ? 0 : 1;
}
