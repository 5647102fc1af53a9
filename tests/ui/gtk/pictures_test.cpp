// The keypad pictures as the GTK helper draws them: every number of the keypads at the size
// of its key, rows the right way up, and a file that does not hold what its header says
// refused rather than read past.
#include "ui/gtk/pictures.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace quilta::ui::gtk {
namespace {

struct Size {
  int number, width, height;
};

TEST(KeypadPictures, EveryKeyHasItsPictureAtTheSizeOfTheKey) {
  std::vector<Size> sizes;
  for (int k = 0; k < 10; ++k) {
    const bool short39 = k == 2 || k == 5 || k == 7;
    sizes.push_back({132 + k, 58, short39 ? 39 : 40});
    sizes.push_back({143 + k, 58, 40});
    sizes.push_back({732 + k, 28, 28});
    sizes.push_back({743 + k, 28, 28});
  }
  sizes.insert(sizes.end(), {{153, 126, 40}, {154, 126, 40}, {716, 56, 28}, {717, 56, 28}});
  for (const Size& s : sizes) {
    cairo_surface_t* p = RenderKeypadPicture(s.number);
    ASSERT_NE(p, nullptr) << s.number;
    EXPECT_EQ(cairo_image_surface_get_width(p), s.width) << s.number;
    EXPECT_EQ(cairo_image_surface_get_height(p), s.height) << s.number;
    cairo_surface_destroy(p);
  }
  EXPECT_EQ(RenderKeypadPicture(142), nullptr);
  EXPECT_EQ(RenderKeypadPicture(0), nullptr);
}

// A 3x2 picture of two colours: red on the top row, blue on the bottom one (stored first).
std::vector<unsigned char> TwoRowBmp() {
  std::vector<unsigned char> b(14 + 40 + 8 + 2 * 4, 0);
  auto put = [&](size_t at, uint32_t v, int n) {
    for (int i = 0; i < n; ++i) b[at + i] = static_cast<unsigned char>(v >> (8 * i));
  };
  b[0] = 'B', b[1] = 'M';
  put(2, static_cast<uint32_t>(b.size()), 4);
  put(10, 14 + 40 + 8, 4);
  put(14, 40, 4), put(18, 3, 4), put(22, 2, 4), put(26, 1, 2), put(28, 8, 2), put(46, 2, 4);
  put(54, 0x00ff0000, 4);  // index 0: red (B G R 0)
  put(58, 0x000000ff, 4);  // index 1: blue
  const size_t bits = 62;
  b[bits + 0] = b[bits + 1] = b[bits + 2] = 1;  // bottom row, padded to 4
  b[bits + 4] = b[bits + 5] = b[bits + 6] = 0;  // top row
  return b;
}

uint32_t Pixel(cairo_surface_t* s, int x, int y) {
  const unsigned char* row = cairo_image_surface_get_data(s) + y * cairo_image_surface_get_stride(s);
  return reinterpret_cast<const uint32_t*>(row)[x] & 0xffffff;
}

TEST(KeypadPictures, BmpRowsAreReadBottomUpAndBrokenFilesAreRefused) {
  std::vector<unsigned char> bmp = TwoRowBmp();
  cairo_surface_t* s = DecodeKeypadBmp(bmp.data(), bmp.size());
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(Pixel(s, 0, 0), 0xff0000u);
  EXPECT_EQ(Pixel(s, 2, 1), 0x0000ffu);
  cairo_surface_destroy(s);

  struct Broken {
    const char* what;
    size_t at;
    unsigned char value;
  };
  const Broken broken[] = {
      {"a pixel past the palette", 62, 2}, {"24 bits a pixel", 28, 24},
      {"compressed", 30, 1},               {"taller than the file", 22, 3},
      {"palette over the pixels", 46, 3},  {"not BM", 1, 'A'},
  };
  for (const Broken& b : broken) {
    std::vector<unsigned char> bad = TwoRowBmp();
    bad[b.at] = b.value;
    EXPECT_EQ(DecodeKeypadBmp(bad.data(), bad.size()), nullptr) << b.what;
  }
  EXPECT_EQ(DecodeKeypadBmp(bmp.data(), bmp.size() - 1), nullptr) << "cut short";
}

}  // namespace
}  // namespace quilta::ui::gtk
