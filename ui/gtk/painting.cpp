// Painting the controls the helper draws itself: static texts (plain, sunken, vertically
// centred), the edit field, and the keypads' picture buttons with their hover and pushed
// states and their pointer and key handling.
#include <gdk/gdkkeysyms.h>

#include <algorithm>

#include "ui/gtk/helper.h"
#include "ui/gtk/pictures.h"

namespace quilta::ui::gtk {

namespace {

constexpr double kFace = 240 / 255.0;  // the button-face colour

void SetColour(cairo_t* cr, const ControlView& c, bool sensitive) {
  if (!sensitive) {
    cairo_set_source_rgb(cr, 109 / 255.0, 109 / 255.0, 109 / 255.0);
    return;
  }
  switch (c.def.Colour()) {
    case TextColour::Warning:
      cairo_set_source_rgb(cr, 1, 0, 0);
      break;
    case TextColour::Emphasis:
      cairo_set_source_rgb(cr, 0, 0, 1);
      break;
    default:
      cairo_set_source_rgb(cr, 0, 0, 0);
  }
}

gboolean DrawStatic(GtkWidget* w, cairo_t* cr, gpointer p) {
  auto* c = static_cast<ControlView*>(p);
  const int width = gtk_widget_get_allocated_width(w), height = gtk_widget_get_allocated_height(w);
  const bool sensitive = gtk_widget_is_sensitive(w);
  int inset = 0;
  if (c->Kind() == ControlKind::Edit) {
    // bordered edit field: white when usable, button face when disabled
    if (sensitive)
      cairo_set_source_rgb(cr, 1, 1, 1);
    else
      cairo_set_source_rgb(cr, kFace, kFace, kFace);
    cairo_paint(cr);
    cairo_set_source_rgb(cr, 0xab / 255.0, 0xad / 255.0, 0xb3 / 255.0);
    cairo_set_line_width(cr, 1);
    cairo_rectangle(cr, 0.5, 0.5, width - 1, height - 1);
    cairo_stroke(cr);
    inset = 3;
  } else if (c->Kind() == ControlKind::SunkenText) {
    cairo_set_line_width(cr, 1);
    cairo_set_source_rgb(cr, 160 / 255.0, 160 / 255.0, 160 / 255.0);
    cairo_move_to(cr, 0.5, height - 0.5);
    cairo_line_to(cr, 0.5, 0.5);
    cairo_line_to(cr, width - 0.5, 0.5);
    cairo_stroke(cr);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_move_to(cr, width - 0.5, 0.5);
    cairo_line_to(cr, width - 0.5, height - 0.5);
    cairo_line_to(cr, 0.5, height - 0.5);
    cairo_stroke(cr);
    inset = 1;
  }
  if (c->text.empty()) return TRUE;
  cairo_rectangle(cr, inset, inset, width - 2 * inset, height - 2 * inset);
  cairo_clip(cr);
  PangoLayout* l = gtk_widget_create_pango_layout(w, c->text.c_str());
  pango_layout_set_font_description(l, c->helper->font());
  int tw = 0, th = 0;
  if (c->Kind() == ControlKind::Edit || c->Kind() == ControlKind::CenteredText) {
    pango_layout_set_width(l, -1);
    pango_layout_get_pixel_size(l, &tw, &th);
    cairo_move_to(cr, inset + (c->Kind() == ControlKind::Edit ? 1 : 0), (height - th) / 2);
  } else {
    pango_layout_set_width(l, std::max(1, width - 2 * inset) * PANGO_SCALE);
    pango_layout_set_wrap(l, PANGO_WRAP_WORD_CHAR);
    cairo_move_to(cr, inset, inset);
  }
  SetColour(cr, *c, sensitive);
  pango_cairo_show_layout(cr, l);
  g_object_unref(l);
  return TRUE;
}

// The picture button: pushed shows the pushed picture (the normal one), hover the hover
// picture when there is one, otherwise the normal picture, stretched onto the whole button;
// a missing picture leaves the button face.
gboolean DrawPictureButton(GtkWidget* w, cairo_t* cr, gpointer p) {
  auto* c = static_cast<ControlView*>(p);
  const int width = gtk_widget_get_allocated_width(w), height = gtk_widget_get_allocated_height(w);
  cairo_surface_t* pic = c->normal;
  if (!c->pushed && c->hover && c->hoverPicture) pic = c->hoverPicture;
  if (!pic) {
    cairo_set_source_rgb(cr, kFace, kFace, kFace);
    cairo_paint(cr);
    return TRUE;
  }
  const int pw = cairo_image_surface_get_width(pic), ph = cairo_image_surface_get_height(pic);
  cairo_scale(cr, static_cast<double>(width) / pw, static_cast<double>(height) / ph);
  cairo_set_source_surface(cr, pic, 0, 0);
  cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_GOOD);
  cairo_pattern_set_extend(cairo_get_source(cr), CAIRO_EXTEND_PAD);
  cairo_paint(cr);
  return TRUE;
}

bool Inside(GtkWidget* w, double x, double y) {
  return x >= 0 && y >= 0 && x < gtk_widget_get_allocated_width(w) && y < gtk_widget_get_allocated_height(w);
}

gboolean OnPointerMove(GtkWidget* w, GdkEvent* ev, gpointer p) {
  auto* c = static_cast<ControlView*>(p);
  double x = 0, y = 0;
  gdk_event_get_coords(ev, &x, &y);
  if (c->tracking) {
    const bool inside = Inside(w, x, y);
    if (inside != c->pushed) {
      c->pushed = inside;
      gtk_widget_queue_draw(w);
    }
  } else if (!c->hover) {
    c->hover = true;
    gtk_widget_queue_draw(w);
  }
  return FALSE;
}

gboolean OnPointerLeave(GtkWidget* w, GdkEventCrossing* ev, gpointer p) {
  auto* c = static_cast<ControlView*>(p);
  if (c->tracking) {
    if (c->pushed && !Inside(w, ev->x, ev->y)) {
      c->pushed = false;
      gtk_widget_queue_draw(w);
    }
  }
  if (c->hover) {
    c->hover = false;
    gtk_widget_queue_draw(w);
  }
  return FALSE;
}

gboolean OnPicturePress(GtkWidget* w, GdkEventButton* ev, gpointer p) {
  auto* c = static_cast<ControlView*>(p);
  if (ev->button != 1 || ev->type != GDK_BUTTON_PRESS) return ev->type != GDK_BUTTON_PRESS;
  if (c->helper->MessageBoxOpen()) return TRUE;
  c->hover = false;
  c->tracking = true;
  c->pushed = true;
  gtk_widget_grab_focus(w);
  gtk_widget_queue_draw(w);
  return TRUE;
}

gboolean OnPictureRelease(GtkWidget* w, GdkEventButton* ev, gpointer p) {
  auto* c = static_cast<ControlView*>(p);
  if (ev->button != 1 || !c->tracking) return FALSE;
  c->tracking = false;
  const bool click = c->pushed && Inside(w, ev->x, ev->y);
  c->pushed = false;
  if (Inside(w, ev->x, ev->y)) c->hover = true;
  gtk_widget_queue_draw(w);
  if (click) c->helper->Report(wire::EventKind::Command, c->def.id);
  return TRUE;
}

// Space pushes the focused key and clicks it when released, as with any push button.
gboolean OnPictureKey(GtkWidget* w, GdkEventKey* ev, gpointer p) {
  auto* c = static_cast<ControlView*>(p);
  if (ev->keyval != GDK_KEY_space && ev->keyval != GDK_KEY_KP_Space) return FALSE;
  if (ev->type == GDK_KEY_PRESS) {
    if (!c->tracking && !c->pushed) {
      c->pushed = true;
      gtk_widget_queue_draw(w);
    }
  } else if (c->pushed && !c->tracking) {
    c->pushed = false;
    gtk_widget_queue_draw(w);
    c->helper->Report(wire::EventKind::Command, c->def.id);
  }
  return TRUE;
}

gboolean OnPictureFocusOut(GtkWidget* w, GdkEvent*, gpointer p) {
  auto* c = static_cast<ControlView*>(p);
  if (c->tracking || c->pushed) {
    c->tracking = false;
    c->pushed = false;
    gtk_widget_queue_draw(w);
  }
  return FALSE;
}

void OnPictureStateChanged(GtkWidget* w, GtkStateFlags, gpointer p) {
  if (!gtk_widget_is_sensitive(w)) OnPictureFocusOut(w, nullptr, p);
}

}  // namespace

ControlView::~ControlView() {
  if (normal) cairo_surface_destroy(normal);
  if (hoverPicture) cairo_surface_destroy(hoverPicture);
}

GtkWidget* NewStaticView(ControlView& c) {
  GtkWidget* w = gtk_drawing_area_new();
  g_signal_connect(w, "draw", G_CALLBACK(&DrawStatic), &c);
  return w;
}

GtkWidget* NewPictureButton(ControlView& c) {
  GtkWidget* w = gtk_drawing_area_new();
  gtk_widget_set_can_focus(w, TRUE);
  gtk_widget_add_events(w, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK | GDK_POINTER_MOTION_MASK |
                               GDK_ENTER_NOTIFY_MASK | GDK_LEAVE_NOTIFY_MASK | GDK_KEY_PRESS_MASK |
                               GDK_KEY_RELEASE_MASK | GDK_FOCUS_CHANGE_MASK);
  c.normal = RenderKeypadPicture(c.def.bitmap);
  c.hoverPicture = RenderKeypadPicture(c.def.hoverBitmap);
  g_signal_connect(w, "draw", G_CALLBACK(&DrawPictureButton), &c);
  g_signal_connect(w, "enter-notify-event", G_CALLBACK(&OnPointerMove), &c);
  g_signal_connect(w, "motion-notify-event", G_CALLBACK(&OnPointerMove), &c);
  g_signal_connect(w, "leave-notify-event", G_CALLBACK(&OnPointerLeave), &c);
  g_signal_connect(w, "button-press-event", G_CALLBACK(&OnPicturePress), &c);
  g_signal_connect(w, "button-release-event", G_CALLBACK(&OnPictureRelease), &c);
  g_signal_connect(w, "key-press-event", G_CALLBACK(&OnPictureKey), &c);
  g_signal_connect(w, "key-release-event", G_CALLBACK(&OnPictureKey), &c);
  g_signal_connect(w, "focus-out-event", G_CALLBACK(&OnPictureFocusOut), &c);
  g_signal_connect(w, "grab-broken-event", G_CALLBACK(&OnPictureFocusOut), &c);
  g_signal_connect(w, "state-flags-changed", G_CALLBACK(&OnPictureStateChanged), &c);
  return w;
}

}  // namespace quilta::ui::gtk
