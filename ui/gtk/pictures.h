// The keypad pictures of the on-screen keypads, drawn with cairo at their own sizes. Each
// picture is known by its resource number: position k of a keypad uses base + k.
//   132..141  input keypad digit k, 58x40 (134, 137, 139: 58x39): grey rounded key, dark grey digit
//   143..152  the same keys under the pointer: a darker rim
//   153, 154  input keypad clear key 126x40 showing 清除 CLEAR; 154 under the pointer
//   732..741  transfer keypad digit k, 28x28: white key, blue digit
//   743..752  under the pointer: pink key, black digit
//   716, 717  transfer keypad clear key 56x28 showing 清除重填: white; pink under the pointer
#pragma once

#include <cairo.h>

#include <optional>

namespace quilta::ui::gtk {

struct PictureSize {
  int width = 0;
  int height = 0;
};

// The size of picture `number`, or nullopt when there is no such picture.
std::optional<PictureSize> KeypadPictureSize(int number);

// A new image surface holding picture `number` at its own size, or nullptr when there is no
// such picture. The caller owns the surface.
cairo_surface_t* RenderKeypadPicture(int number);

}  // namespace quilta::ui::gtk
