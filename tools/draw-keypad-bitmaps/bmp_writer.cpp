// See bmp_writer.h.
#include "bmp_writer.h"

#include <algorithm>
#include <cstdio>
#include <map>

namespace keypad_art {
namespace {

void Put16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(std::vector<uint8_t>& out, uint32_t v) {
  Put16(out, v & 0xffff);
  Put16(out, v >> 16);
}

int Distance(uint32_t a, uint32_t b) {
  int d = 0;
  for (int shift : {0, 8, 16}) {
    const int x = static_cast<int>((a >> shift) & 0xff) - static_cast<int>((b >> shift) & 0xff);
    d += x * x;
  }
  return d;
}

// The palette (most frequent colours first, at most 256) and each pixel's index.
std::vector<uint32_t> Quantise(const Picture& p, std::vector<uint8_t>& index) {
  std::map<uint32_t, int> counts;
  for (uint32_t c : p.rgb) ++counts[c];
  std::vector<std::pair<int, uint32_t>> byCount;
  for (auto [colour, n] : counts) byCount.push_back({-n, colour});
  std::sort(byCount.begin(), byCount.end());  // most frequent first, ties by colour
  std::vector<uint32_t> palette;
  for (size_t i = 0; i < byCount.size() && i < 256; ++i) palette.push_back(byCount[i].second);
  std::map<uint32_t, uint8_t> slot;
  for (auto [colour, n] : counts) {
    (void)n;
    size_t best = 0;
    for (size_t i = 1; i < palette.size(); ++i)
      if (Distance(palette[i], colour) < Distance(palette[best], colour)) best = i;
    slot[colour] = static_cast<uint8_t>(best);
  }
  index.clear();
  for (uint32_t c : p.rgb) index.push_back(slot[c]);
  return palette;
}

}  // namespace

bool WriteBmp8(const std::string& path, const Picture& p) {
  std::vector<uint8_t> index;
  const std::vector<uint32_t> palette = Quantise(p, index);
  const uint32_t stride = (static_cast<uint32_t>(p.width) + 3) & ~3u;
  const uint32_t bitsOffset = 14 + 40 + 4 * static_cast<uint32_t>(palette.size());
  const uint32_t imageSize = stride * static_cast<uint32_t>(p.height);
  std::vector<uint8_t> out;
  out.push_back('B');
  out.push_back('M');
  Put32(out, bitsOffset + imageSize);
  Put32(out, 0);
  Put32(out, bitsOffset);
  Put32(out, 40);  // BITMAPINFOHEADER
  Put32(out, static_cast<uint32_t>(p.width));
  Put32(out, static_cast<uint32_t>(p.height));  // positive: bottom-up
  Put16(out, 1);
  Put16(out, 8);
  Put32(out, 0);  // BI_RGB
  Put32(out, imageSize);
  Put32(out, 2835);  // 72 dpi
  Put32(out, 2835);
  Put32(out, static_cast<uint32_t>(palette.size()));
  Put32(out, 0);
  for (uint32_t c : palette) Put32(out, c & 0xffffff);  // RGBQUAD: blue, green, red, 0
  for (int y = p.height - 1; y >= 0; --y) {
    for (int x = 0; x < p.width; ++x) out.push_back(index[static_cast<size_t>(y * p.width + x)]);
    for (uint32_t x = static_cast<uint32_t>(p.width); x < stride; ++x) out.push_back(0);
  }
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  const bool ok = std::fwrite(out.data(), 1, out.size(), f) == out.size();
  return std::fclose(f) == 0 && ok;
}

}  // namespace keypad_art
