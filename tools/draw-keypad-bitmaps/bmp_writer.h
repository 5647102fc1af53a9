// Writes a picture as a Windows BMP file (BITMAPINFOHEADER, bottom-up rows) of 8 bits per
// pixel with a palette: a picture of at most 256 colours is kept exactly; a picture with more
// keeps its 256 most frequent colours and every other pixel takes the nearest of them (the
// keys are flat colours with anti-aliased edges, so only edge pixels move, by a shade).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace keypad_art {

struct Picture {
  int width = 0, height = 0;
  std::vector<uint32_t> rgb;  // 0x00RRGGBB, rows top to bottom
};

// False when the file cannot be written.
bool WriteBmp8(const std::string& path, const Picture& picture);

}  // namespace keypad_art
