// Room for texts set at run time. A text control that the template sizes by its text (no
// height, or no width) was sized by the template's own text when the window was built; the
// plug-in may set a longer one (the spaced instruction of reader type 3, "並  依  照 … 卡  機
// 上", in templates 103, 105, 1051 and 106). Such a text is shown whole:
//   1. it keeps its template size when the text fits on its line;
//   2. otherwise it widens as far as its line is free, up to the right edge of the dialog;
//      the control that follows it on the line (the red "確認" right after the instruction)
//      moves along behind it;
//   3. otherwise it wraps at its template width and grows downwards; the follower moves to
//      the end of the last line, and everything below the text moves down by as much,
//      growing the window only when the dialog has no room left at the bottom.
// The layout is computed afresh from the template's places on every such change, so a
// shorter text later gives the room back.
#include <algorithm>
#include <vector>

#include "ui/gtk/helper.h"

namespace quilta::ui::gtk {

namespace {

constexpr int kGap = 2;  // pixels kept between a widened text and what stands to its right

// Both rectangles share some height.
bool SameRow(const PixelRect& a, int top, int height) { return a.y < top + height && a.Bottom() > top; }

}  // namespace

Helper::TextExtent Helper::Measure(const std::string& text, int wrapWidth) const {
  PangoLayout* l = gtk_widget_create_pango_layout(window_, text.c_str());
  pango_layout_set_font_description(l, font_);
  if (wrapWidth >= 0) {
    pango_layout_set_width(l, std::max(1, wrapWidth) * PANGO_SCALE);
    pango_layout_set_wrap(l, PANGO_WRAP_WORD_CHAR);  // as the text is drawn
  }
  TextExtent e;
  pango_layout_get_pixel_size(l, &e.width, &e.height);
  PangoLayoutIter* it = pango_layout_get_iter(l);
  while (pango_layout_iter_next_line(it)) {
  }
  PangoRectangle line{};
  pango_layout_iter_get_line_extents(it, nullptr, &line);
  pango_layout_iter_free(it);
  e.lastLineTop = PANGO_PIXELS(line.y);
  e.lastLineWidth = PANGO_PIXELS(line.width);
  g_object_unref(l);
  return e;
}

// The control that continues `c`'s line: a text starting at most 4 dialog units after `c`'s
// template end, on the same template line.
ControlView* Helper::FollowerOf(const ControlView& c) {
  if (c.def.w == 0) return nullptr;
  const int end = c.def.x + c.def.w;
  for (auto& f : controls_) {
    if (f.get() == &c || !IsStaticKind(f->Kind()) || f->def.y != c.def.y) continue;
    if (f->def.x >= end && f->def.x <= end + 4) return f.get();
  }
  return nullptr;
}

void Helper::FitText(ControlView& c) {
  const TextExtent line = Measure(c.text, -1);
  const int width = c.def.w == 0 ? std::max(0, std::min(line.width + 2, clientW_ - c.at.x)) : c.at.w;
  // Heights are not cut at the bottom of the dialog: the window grows instead (below).
  const int lineHeight = c.def.h == 0 ? line.height : c.at.h;
  c.at.w = width;
  c.at.h = lineHeight;
  if (line.width <= width) return;  // fits its line

  ControlView* follower = FollowerOf(c);
  const int followerGap = follower ? std::max(kGap, follower->base.x - c.base.Right()) : 0;
  // How far the line is free to the right.
  int room = clientW_;
  for (auto& o : controls_) {
    if (o.get() == &c || o.get() == follower) continue;
    if (SameRow(o->at, c.at.y, lineHeight) && o->at.x >= c.at.Right() - 1)
      room = std::min(room, o->at.x - kGap);
  }
  const int need = line.width + 2 + (follower ? followerGap + follower->at.w : 0);
  if (c.at.x + need <= room) {
    c.at.w = line.width + 2;
    if (follower) follower->at.x = c.at.Right() + followerGap;
    return;
  }
  if (c.def.h != 0) return;  // a height of its own stays; the text wraps inside it

  const TextExtent wrapped = Measure(c.text, width);
  const int oldBottom = c.at.Bottom();
  c.at.h = wrapped.height;
  if (follower) {
    follower->at.x = c.at.x + wrapped.lastLineWidth + followerGap;
    follower->at.y = c.at.y + wrapped.lastLineTop;
  }
  const int grow = c.at.Bottom() - oldBottom;
  if (grow <= 0) return;
  for (auto& o : controls_)
    if (o.get() != &c && o.get() != follower && o->at.y >= oldBottom) o->at.y += grow;
}

void Helper::FitTexts() {
  if (!fixed_) return;
  std::vector<PixelRect> before;
  std::vector<ControlView*> sized;
  int baseBottom = 0;
  for (auto& c : controls_) {
    before.push_back(c->at);
    c->at = c->base;
    baseBottom = std::max(baseBottom, c->base.Bottom());
    if (IsStaticKind(c->Kind()) && (c->def.w == 0 || c->def.h == 0)) sized.push_back(c.get());
  }
  // Top to bottom: what one text pushes down is where the next one starts.
  std::stable_sort(sized.begin(), sized.end(),
                   [](const ControlView* a, const ControlView* b) { return a->base.y < b->base.y; });
  for (ControlView* c : sized) FitText(*c);

  int bottom = 0;
  for (size_t i = 0; i < controls_.size(); ++i) {
    ControlView& c = *controls_[i];
    bottom = std::max(bottom, c.at.Bottom());
    if (c.at == before[i]) continue;
    gtk_fixed_move(GTK_FIXED(fixed_), c.widget, c.at.x, c.at.y);
    gtk_widget_set_size_request(c.widget, c.at.w, c.at.h);
  }
  // The window grows only when the texts need more than its own height, keeping the
  // template's margin below the lowest control.
  const int height = bottom > clientH_ ? bottom + std::max(0, clientH_ - baseBottom) : clientH_;
  int shownW = 0, shownH = 0;
  gtk_widget_get_size_request(fixed_, &shownW, &shownH);
  if (shownH == height) return;
  gtk_widget_set_size_request(fixed_, clientW_, height);
  gtk_window_resize(GTK_WINDOW(window_), clientW_, height);
}

}  // namespace quilta::ui::gtk
