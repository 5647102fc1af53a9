// The keypad pictures of the on-screen keypads: the bitmaps of resources/keypad (the Windows
// module holds the same files as resources), built into the helper. Each picture is known by
// its resource number: position k of a keypad uses base + k.
//   132..141  input keypad digit k, 58x40 (134, 137, 139: 58x39); 143..152 under the pointer
//   153, 154  input keypad clear key 126x40 showing 清除 CLEAR; 154 under the pointer
//   732..741  transfer keypad digit k, 28x28; 743..752 under the pointer
//   716, 717  transfer keypad clear key 56x28 showing 清除重填; 717 under the pointer
#pragma once

#include <cairo.h>

#include <cstddef>

namespace quilta::ui::gtk {

// A new image surface holding picture `number` at its own size, or nullptr when there is no
// such picture. The caller owns the surface.
cairo_surface_t* RenderKeypadPicture(int number);

// The same from the bytes of a BMP file: 8 bits per pixel with a palette, BITMAPINFOHEADER,
// no compression, bottom-up rows (what tools/draw-keypad-bitmaps writes); nullptr for
// anything else or a file that does not hold what its header says.
cairo_surface_t* DecodeKeypadBmp(const unsigned char* data, size_t size);

}  // namespace quilta::ui::gtk
