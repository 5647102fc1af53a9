#include "ui/gtk/pictures.h"

#include <cstdint>

namespace quilta::ui::gtk {
namespace {

struct EmbeddedPicture {
  int number;
  const unsigned char* data;
  size_t size;
};

#include "ui/gtk/keypad_pictures.inc"

uint32_t U16(const unsigned char* p) { return p[0] | static_cast<uint32_t>(p[1]) << 8; }
uint32_t U32(const unsigned char* p) { return U16(p) | U16(p + 2) << 16; }

}  // namespace

cairo_surface_t* DecodeKeypadBmp(const unsigned char* data, size_t size) {
  constexpr size_t kHeaders = 14 + 40;
  constexpr uint32_t kMaxSide = 4096;
  if (size < kHeaders || data[0] != 'B' || data[1] != 'M') return nullptr;
  const uint32_t bitsOffset = U32(data + 10);
  const uint32_t width = U32(data + 18), height = U32(data + 22);  // height > 0: bottom-up
  const uint32_t colours = U32(data + 46) ? U32(data + 46) : 256;
  if (U32(data + 14) != 40 || U16(data + 26) != 1 || U16(data + 28) != 8 || U32(data + 30) != 0 ||
      width == 0 || width > kMaxSide || height == 0 || height > kMaxSide || colours > 256)
    return nullptr;
  const uint64_t stride = (width + 3) & ~3u;
  if (bitsOffset < kHeaders + 4 * colours || bitsOffset + stride * height > size) return nullptr;
  const unsigned char* palette = data + kHeaders;  // blue, green, red, 0

  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, static_cast<int>(width),
                                                  static_cast<int>(height));
  if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(s);
    return nullptr;
  }
  cairo_surface_flush(s);
  unsigned char* pixels = cairo_image_surface_get_data(s);
  const int pitch = cairo_image_surface_get_stride(s);
  for (uint32_t y = 0; y < height; ++y) {
    const unsigned char* row = data + bitsOffset + stride * (height - 1 - y);
    auto* out = reinterpret_cast<uint32_t*>(pixels + static_cast<ptrdiff_t>(y) * pitch);
    for (uint32_t x = 0; x < width; ++x) {
      if (row[x] >= colours) {
        cairo_surface_destroy(s);
        return nullptr;
      }
      out[x] = U32(palette + 4 * row[x]) & 0xffffff;  // RGB24 holds 0x00RRGGBB
    }
  }
  cairo_surface_mark_dirty(s);
  return s;
}

cairo_surface_t* RenderKeypadPicture(int number) {
  for (const EmbeddedPicture& p : kEmbeddedPictures)
    if (p.number == number) return DecodeKeypadBmp(p.data, p.size);
  return nullptr;
}

}  // namespace quilta::ui::gtk
