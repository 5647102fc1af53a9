// Building the dialog window from an Open message: the font, the window and its placement,
// the controls at their dialog-unit positions; later texts, enabling, message boxes, and the
// keyboard and window-manager input of the window.
#include <gdk/gdk.h>
#include <gdk/gdkkeysyms.h>
#ifdef GDK_WINDOWING_X11
#include <gdk/gdkx.h>
#endif

#include <algorithm>

#include "ui/gtk/helper.h"

namespace quilta::ui::gtk {

std::string ValidUtf8(const std::string& s) {
  if (g_utf8_validate(s.data(), static_cast<gssize>(s.size()), nullptr) && s.find('\0') == std::string::npos)
    return s;
  std::string copy = s;
  for (char& c : copy)
    if (c == '\0') c = ' ';
  gchar* fixed = g_utf8_make_valid(copy.data(), static_cast<gssize>(copy.size()));
  std::string out(fixed);
  g_free(fixed);
  return out;
}

void Helper::InstallCss() {
  GtkCssProvider* css = gtk_css_provider_new();
  const char* rules =
      "window.quilta-dialog { background-color: #f0f0f0; background-image: none; }\n"
      "window.quilta-dialog button { padding: 0; margin: 0; min-height: 0; min-width: 0;"
      "  border-radius: 0; border: 1px solid #adadad; background-image: none;"
      "  background-color: #e1e1e1; color: #000000; box-shadow: none; text-shadow: none;"
      "  outline-offset: -4px; }\n"
      "window.quilta-dialog button:hover { background-color: #e5f1fb; border-color: #0078d7; }\n"
      "window.quilta-dialog button:active { background-color: #cce4f7; border-color: #005499; }\n"
      "window.quilta-dialog button.quilta-default { border: 2px solid #0078d7; }\n"
      "window.quilta-dialog button:disabled { background-color: #cccccc; border: 1px solid #bfbfbf; }\n"
      "window.quilta-dialog button:disabled label { color: #838383; }\n";
  gtk_css_provider_load_from_data(css, rules, -1, nullptr);
  gtk_style_context_add_provider_for_screen(gdk_screen_get_default(), GTK_STYLE_PROVIDER(css),
                                            GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
  g_object_unref(css);
}

ControlView* Helper::Find(int32_t id) {
  if (id == -1) return nullptr;
  for (auto& c : controls_)
    if (c->def.id == id) return c.get();
  return nullptr;
}

void Helper::CloseDialog() {
  if (window_) {
    GtkWidget* w = window_;
    window_ = nullptr;
    gtk_widget_destroy(w);
  }
  controls_.clear();
  fixed_ = nullptr;
  defaultId_ = -1;
  mappedByServer_ = false;
  if (font_) {
    pango_font_description_free(font_);
    font_ = nullptr;
  }
  if (!afterPaint_.empty()) ScheduleFlush();
}

void Helper::CloseAll() {
  CloseDialog();  // the boxes over the dialog go with it
  const std::vector<GtkWidget*> boxes = messageBoxes_;  // each takes itself off the list
  for (GtkWidget* box : boxes) gtk_widget_destroy(box);
}

void Helper::Open(wire::OpenMsg m) {
  CloseDialog();
  font_ = pango_font_description_new();
  pango_font_description_set_family(font_, FontFamilyFor(ValidUtf8(m.fontFace)).c_str());
  // Sizes beyond anything a dialog needs stay within what X and cairo can hold.
  const int points = std::clamp<int>(m.fontPoints, 4, 72);
  pango_font_description_set_absolute_size(font_, FontPixels(points) * PANGO_SCALE);

  window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_style_context_add_class(gtk_widget_get_style_context(window_), "quilta-dialog");
  gtk_window_set_title(GTK_WINDOW(window_), ValidUtf8(m.caption).c_str());
  gtk_window_set_type_hint(GTK_WINDOW(window_), GDK_WINDOW_TYPE_HINT_DIALOG);
  gtk_window_set_resizable(GTK_WINDOW(window_), FALSE);
  gtk_window_set_deletable(GTK_WINDOW(window_), m.closeBox);
  gtk_window_set_keep_above(GTK_WINDOW(window_), TRUE);
  gtk_window_set_modal(GTK_WINDOW(window_), TRUE);
  closeBox_ = m.closeBox;

  const BaseUnits base = MeasureBaseUnits(gtk_widget_get_pango_context(window_), font_);
  constexpr int kMaxPixels = 8192;
  const int clientW = std::min(DialogToPixelsX(m.width, base), kMaxPixels);
  const int clientH = std::min(DialogToPixelsY(m.height, base), kMaxPixels);

  GtkWidget* fixed = gtk_fixed_new();
  gtk_widget_set_size_request(fixed, clientW, clientH);
  gtk_container_add(GTK_CONTAINER(window_), fixed);
  fixed_ = fixed;
  clientW_ = clientW;
  clientH_ = clientH;

  for (auto& def : m.controls) {
    auto c = std::make_unique<ControlView>();
    c->helper = this;
    c->def = std::move(def);
    c->text = ValidUtf8(c->def.text);
    PlaceControl(*c, GTK_FIXED(fixed), base, clientW, clientH);
    controls_.push_back(std::move(c));
  }

  g_signal_connect(window_, "key-press-event", G_CALLBACK(&Helper::OnKey), this);
  g_signal_connect(window_, "delete-event", G_CALLBACK(&Helper::OnDelete), this);
  g_signal_connect(window_, "destroy", G_CALLBACK(&Helper::OnWindowDestroyed), this);
  g_signal_connect(window_, "map-event", G_CALLBACK(&Helper::OnWindowMapped), this);
  g_signal_connect_after(window_, "draw", G_CALLBACK(&Helper::OnWindowDrawn), this);

  // Built, but shown only on Show: the plug-in first sets the dialog up (texts, disabled
  // buttons, focus), so the person never sees the template's raw state.
  gtk_widget_show_all(fixed);
  gtk_widget_realize(window_);
  PlaceWindow(clientW, clientH, m.centreOverOwner ? m.ownerWindow : 0);
  InitialFocus();
  shown_ = false;
  Send(wire::EncodeOpened({true, base.x, base.y, clientW, clientH}));
}

void Helper::ShowDialog() {
  if (!window_ || shown_) return;
  shown_ = true;
  gtk_widget_show(window_);
  gtk_window_present(GTK_WINDOW(window_));
}

void Helper::InitialFocus() {
  ControlView* first = nullptr;
  for (auto& c : controls_) {
    if (!gtk_widget_get_can_focus(c->widget) || !gtk_widget_get_sensitive(c->widget)) continue;
    if (c->Kind() == ControlKind::DefaultButton) {
      gtk_widget_grab_focus(c->widget);
      return;
    }
    if (!first) first = c.get();
  }
  if (first) gtk_widget_grab_focus(first->widget);
}

// Centred in the work area (or over the owner window), then moved back inside the work
// area where it sticks out, left and top edges first.
void Helper::PlaceWindow(int w, int h, uint64_t owner) {
  GdkDisplay* display = gdk_display_get_default();
  GdkMonitor* monitor = gdk_display_get_primary_monitor(display);
  if (!monitor) monitor = gdk_display_get_monitor(display, 0);
  if (!monitor) return;
  GdkRectangle area;
  gdk_monitor_get_workarea(monitor, &area);
  GdkRectangle over = area;
#ifdef GDK_WINDOWING_X11
  if (owner != 0 && GDK_IS_X11_DISPLAY(display)) {
    gdk_x11_display_error_trap_push(display);
    GdkWindow* foreign = gdk_x11_window_foreign_new_for_display(display, static_cast<Window>(owner));
    if (foreign) {
      GdkRectangle r;
      gdk_window_get_frame_extents(foreign, &r);
      if (gdk_window_is_visible(foreign) && r.width > 0 && r.height > 0) over = r;
      g_object_unref(foreign);
    }
    gdk_x11_display_error_trap_pop_ignored(display);
  }
#else
  (void)owner;
#endif
  int x = over.x + (over.width - w) / 2;
  int y = over.y + (over.height - h) / 2;
  if (x + w > area.x + area.width) x = area.x + area.width - w;
  if (y + h > area.y + area.height) y = area.y + area.height - h;
  if (x < area.x) x = area.x;
  if (y < area.y) y = area.y;
  gtk_window_move(GTK_WINDOW(window_), x, y);
}

void Helper::PlaceControl(ControlView& c, GtkFixed* fixed, const BaseUnits& base, int clientW, int clientH) {
  const auto& d = c.def;
  int left = DialogToPixelsX(d.x, base), top = DialogToPixelsY(d.y, base);
  int w = DialogToPixelsX(d.x + d.w, base) - left;
  int h = DialogToPixelsY(d.y + d.h, base) - top;
  if (d.w == 0 || d.h == 0) {
    int tw = 0, th = 0;
    PangoLayout* l = gtk_widget_create_pango_layout(window_, c.text.c_str());
    pango_layout_set_font_description(l, font_);
    pango_layout_get_pixel_size(l, &tw, &th);
    g_object_unref(l);
    if (d.w == 0) w = tw + 2;
    if (d.h == 0) h = th;
  }
  // A control never reaches past the dialog's client area (it would be clipped there).
  left = std::min(left, clientW);
  top = std::min(top, clientH);
  w = std::max(0, std::min(w, clientW - left));
  h = std::max(0, std::min(h, clientH - top));

  switch (c.Kind()) {
    case ControlKind::Button:
    case ControlKind::DefaultButton: {
      c.widget = gtk_button_new_with_label(c.text.c_str());
      GtkWidget* label = gtk_bin_get_child(GTK_BIN(c.widget));
      if (GTK_IS_LABEL(label)) {
        PangoAttrList* attrs = pango_attr_list_new();
        pango_attr_list_insert(attrs, pango_attr_font_desc_new(font_));
        gtk_label_set_attributes(GTK_LABEL(label), attrs);
        pango_attr_list_unref(attrs);
        gtk_label_set_ellipsize(GTK_LABEL(label), PANGO_ELLIPSIZE_END);
      }
      if (c.Kind() == ControlKind::DefaultButton) {
        gtk_style_context_add_class(gtk_widget_get_style_context(c.widget), "quilta-default");
        gtk_widget_set_can_default(c.widget, TRUE);
        gtk_window_set_default(GTK_WINDOW(window_), c.widget);
        defaultId_ = d.id;
      }
      g_signal_connect(c.widget, "clicked", G_CALLBACK(&Helper::OnButtonClicked), &c);
      break;
    }
    case ControlKind::BitmapButton:
      c.widget = NewPictureButton(c);
      break;
    default:  // texts and the edit field
      c.widget = NewStaticView(c);
      break;
  }
  gtk_widget_set_size_request(c.widget, w, h);
  if (d.disabled) gtk_widget_set_sensitive(c.widget, FALSE);
  gtk_fixed_put(fixed, c.widget, left, top);
  c.base = c.at = PixelRect{left, top, w, h};
}

void Helper::SetText(int32_t id, const std::string& text) {
  ControlView* c = Find(id);
  if (!c) return;
  c->text = text;
  if (c->Kind() == ControlKind::Button || c->Kind() == ControlKind::DefaultButton) {
    GtkWidget* label = gtk_bin_get_child(GTK_BIN(c->widget));
    if (GTK_IS_LABEL(label)) gtk_label_set_text(GTK_LABEL(label), text.c_str());
  }
  // A text the template sizes by its text gets the room the new text needs.
  if (IsStaticKind(c->Kind()) && (c->def.w == 0 || c->def.h == 0)) FitTexts();
  gtk_widget_queue_draw(c->widget);
}

void Helper::Enable(int32_t id, bool on) {
  ControlView* c = Find(id);
  if (!c) return;
  gtk_widget_set_sensitive(c->widget, on);
  gtk_widget_queue_draw(c->widget);
}

void Helper::ShowMessageBox(const std::string& text, const std::string& caption) {
  GtkWidget* box = gtk_message_dialog_new(window_ ? GTK_WINDOW(window_) : nullptr,
                                          static_cast<GtkDialogFlags>(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT),
                                          GTK_MESSAGE_OTHER, GTK_BUTTONS_OK, "%s", text.c_str());
  gtk_window_set_title(GTK_WINDOW(box), caption.c_str());
  gtk_window_set_keep_above(GTK_WINDOW(box), TRUE);
  gtk_window_set_position(GTK_WINDOW(box), window_ ? GTK_WIN_POS_CENTER_ON_PARENT : GTK_WIN_POS_CENTER);
  messageBoxes_.push_back(box);
  g_signal_connect(box, "response", G_CALLBACK(&Helper::OnMessageBoxResponse), this);
  g_signal_connect(box, "destroy", G_CALLBACK(&Helper::OnMessageBoxDestroyed), this);
  gtk_widget_show_all(box);
  gtk_window_present(GTK_WINDOW(box));
}

void Helper::OnMessageBoxResponse(GtkDialog* box, gint, gpointer) { gtk_widget_destroy(GTK_WIDGET(box)); }

// Closed by its OK button, Esc, its frame, or destroyed from outside: the caller goes on.
void Helper::OnMessageBoxDestroyed(GtkWidget* box, gpointer p) {
  auto* self = static_cast<Helper*>(p);
  std::erase(self->messageBoxes_, box);
  self->Send(wire::Writer(wire::Msg::MessageBoxDone).Frame());
}

// ---- input ----

void Helper::OnButtonClicked(GtkButton*, gpointer p) {
  auto* c = static_cast<ControlView*>(p);
  c->helper->Report(wire::EventKind::Command, c->def.id);
}

// The window went away by some other road than Close (destroyed from outside): the person
// can no longer answer, so the plug-in hears that the dialog is lost. The controls are
// released once the destruction under way has finished with them.
void Helper::OnWindowDestroyed(GtkWidget* w, gpointer p) {
  auto* self = static_cast<Helper*>(p);
  if (self->window_ != w) return;
  self->window_ = nullptr;
  self->Report(wire::EventKind::Lost, 0);
  g_idle_add(&Helper::ReleaseLostDialog, self);
}

gboolean Helper::ReleaseLostDialog(gpointer p) {
  auto* self = static_cast<Helper*>(p);
  if (!self->window_) self->CloseDialog();  // unless another dialog has opened since
  return G_SOURCE_REMOVE;
}

gboolean Helper::OnDelete(GtkWidget*, GdkEvent*, gpointer p) {
  auto* self = static_cast<Helper*>(p);
  // While a message box is up its owner cannot be closed, as with any modal owner.
  if (self->closeBox_ && !self->MessageBoxOpen()) self->Report(wire::EventKind::CloseBox, 0);
  return TRUE;  // the plug-in decides; the window stays until it says Close
}

// Enter reports the focused push button, else the default button (or OK, 1, when the
// template has none, as a dialog manager does); a disabled target reports nothing.
// Esc reports Escape.
gboolean Helper::OnKey(GtkWidget* window, GdkEventKey* ev, gpointer p) {
  auto* self = static_cast<Helper*>(p);
  if (ev->keyval == GDK_KEY_Escape) {
    self->Report(wire::EventKind::Escape, 0);
    return TRUE;
  }
  if (ev->keyval != GDK_KEY_Return && ev->keyval != GDK_KEY_KP_Enter && ev->keyval != GDK_KEY_ISO_Enter)
    return FALSE;
  GtkWidget* focus = gtk_window_get_focus(GTK_WINDOW(window));
  for (auto& c : self->controls_) {
    if (c->widget == focus && (c->Kind() == ControlKind::Button || c->Kind() == ControlKind::DefaultButton)) {
      if (gtk_widget_is_sensitive(c->widget)) self->Report(wire::EventKind::Command, c->def.id);
      return TRUE;
    }
  }
  if (self->defaultId_ == -1) {
    self->Report(wire::EventKind::Command, 1);
  } else if (ControlView* d = self->Find(self->defaultId_); d && gtk_widget_is_sensitive(d->widget)) {
    self->Report(wire::EventKind::Command, d->def.id);
  }
  return TRUE;
}

}  // namespace quilta::ui::gtk
