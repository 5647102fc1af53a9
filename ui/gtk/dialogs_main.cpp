// quilta-dialogs: draws the plug-in's dialogs with GTK3 in a process of its own (the browser
// may hold another GTK major version, and the two cannot share one process) and reports the
// person's input. The plug-in starts it with the connected end of a stream socket:
//
//   quilta-dialogs --fd N
//
// and talks to it in the frames of ui/gtk/protocol.h. The helper keeps no copy of any
// template: every dialog arrives whole in an Open message. It ends when the socket closes.
#include <gdk/gdk.h>
#include <gdk/gdkkeysyms.h>
#include <gtk/gtk.h>
#ifdef GDK_WINDOWING_X11
#include <gdk/gdkx.h>
#endif
#include <glib-unix.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ui/gtk/dialog_units.h"
#include "ui/gtk/pictures.h"
#include "ui/gtk/protocol.h"

namespace quilta::ui::gtk {
namespace {

namespace wire = quilta::ui::wire;

// Control kinds as the plug-in sends them (values of ControlKind).
enum Kind : uint8_t { kText, kSunken, kCentred, kEdit, kButton, kDefaultButton, kBitmapButton };
enum Colour : uint8_t { kDefaultColour, kWarning, kEmphasis };

constexpr double kFace = 240 / 255.0;  // the button-face colour

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

class Helper;

struct ControlView {
  Helper* helper = nullptr;
  wire::ControlMsg def;
  GtkWidget* widget = nullptr;
  std::string text;
  // picture buttons
  bool hover = false, tracking = false, pushed = false;
  cairo_surface_t* normal = nullptr;
  cairo_surface_t* hoverPicture = nullptr;

  ~ControlView() {
    if (normal) cairo_surface_destroy(normal);
    if (hoverPicture) cairo_surface_destroy(hoverPicture);
  }
};

class Helper {
 public:
  explicit Helper(int fd) : fd_(fd) {}

  void Start() {
    InstallCss();
    Send(wire::Writer(wire::Msg::Hello).U16(wire::kVersion).Frame());
    g_unix_fd_add(fd_, static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR), &Helper::OnSocket, this);
  }

  void Report(wire::EventKind kind, int32_t id) {
    Send(wire::Writer(wire::Msg::Event).U8(static_cast<uint8_t>(kind)).I32(id).U32(openCount_).Frame());
  }

  PangoFontDescription* font() const { return font_; }
  bool MessageBoxOpen() const { return messageBoxes_ > 0; }

 private:
  // ---- socket ----

  void Send(const std::vector<uint8_t>& frame) {
    size_t done = 0;
    while (done < frame.size()) {
      const ssize_t n = send(fd_, frame.data() + done, frame.size() - done, MSG_NOSIGNAL);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        Quit();
        return;
      }
      done += static_cast<size_t>(n);
    }
  }

  static gboolean OnSocket(gint, GIOCondition, gpointer self) {
    return static_cast<Helper*>(self)->ReadSocket() ? G_SOURCE_CONTINUE : G_SOURCE_REMOVE;
  }

  bool ReadSocket() {
    uint8_t buf[16384];
    const ssize_t n = recv(fd_, buf, sizeof buf, MSG_DONTWAIT);
    if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) return true;
    if (n <= 0) {
      Quit();
      return false;
    }
    in_.Feed(buf, static_cast<size_t>(n));
    wire::Msg type;
    std::span<const uint8_t> body;
    for (;;) {
      const auto r = in_.Next(type, body);
      if (r == wire::FrameSplitter::Result::NeedMore) return true;
      if (r == wire::FrameSplitter::Result::Broken) {
        g_printerr("quilta-dialogs: unreadable frame, closing\n");
        Quit();
        return false;
      }
      if (!Handle(type, body) && ++dropped_ <= 5)
        g_printerr("quilta-dialogs: dropped a malformed message (type %u)\n", static_cast<unsigned>(type));
      if (quitting_) return false;
    }
  }

  void Quit() {
    if (quitting_) return;
    quitting_ = true;
    gtk_main_quit();
  }

  // False when the message was malformed (it is then ignored).
  bool Handle(wire::Msg type, std::span<const uint8_t> body) {
    wire::Reader r(body);
    if (!greeted_) {
      if (type != wire::Msg::Hello) return false;
      const uint16_t version = r.U16();
      if (!r.Done()) return false;
      if (version != wire::kVersion) {
        g_printerr("quilta-dialogs: protocol version %u, expected %u\n", version, wire::kVersion);
        Quit();
        return true;
      }
      greeted_ = true;
      return true;
    }
    switch (type) {
      case wire::Msg::Open: {
        ++openCount_;
        auto m = wire::DecodeOpen(body);
        if (!m) {
          // Whoever waits for an answer gets a refusal rather than nothing.
          Send(wire::EncodeOpened({}));
          return false;
        }
        Open(std::move(*m));
        return true;
      }
      case wire::Msg::SetText: {
        const int32_t id = r.I32();
        const std::string text = r.Str();
        if (!r.Done()) return false;
        SetText(id, ValidUtf8(text));
        return true;
      }
      case wire::Msg::Enable: {
        const int32_t id = r.I32();
        const uint8_t on = r.U8();
        if (!r.Done() || on > 1) return false;
        Enable(id, on != 0);
        return true;
      }
      case wire::Msg::Focus: {
        const int32_t id = r.I32();
        if (!r.Done()) return false;
        if (ControlView* c = Find(id)) {
          if (gtk_widget_get_can_focus(c->widget)) gtk_widget_grab_focus(c->widget);
        }
        return true;
      }
      case wire::Msg::MessageBox: {
        const std::string text = r.Str();
        const std::string caption = r.Str();
        if (!r.Done()) return false;
        ShowMessageBox(ValidUtf8(text), ValidUtf8(caption));
        return true;
      }
      case wire::Msg::Show:
        if (!r.Done()) return false;
        ShowDialog();
        return true;
      case wire::Msg::Close:
        if (!r.Done()) return false;
        CloseDialog();
        return true;
      case wire::Msg::Ping: {
        const uint32_t token = r.U32();
        if (!r.Done()) return false;
        // Input the display has already sent is handled first: a round trip fetches it, and
        // the idle runs after the events it brought have been dispatched.
        gdk_display_sync(gdk_display_get_default());
        auto* ping = new PendingPing{this, token};
        g_idle_add_full(G_PRIORITY_DEFAULT_IDLE, &Helper::AnswerPingAfterPaint, ping, nullptr);
        return true;
      }
      default:
        return false;
    }
  }

  // ---- painting synchronisation ----

  // Runs `done` once the dialog window has been painted and the display has processed the
  // drawing (at once, through an idle, when no dialog is showing).
  void AfterPaint(std::function<void()> done) {
    afterPaint_.push_back(std::move(done));
    if (window_ && gtk_widget_get_mapped(window_) && mappedByServer_) {
      gtk_widget_queue_draw(window_);
    } else if (!window_ || !shown_) {
      ScheduleFlush();  // nothing on the screen to wait for
    }
    // A window still on its way to the screen flushes from its first draw.
  }

  void ScheduleFlush() {
    if (flushPending_) return;
    flushPending_ = true;
    g_idle_add_full(G_PRIORITY_DEFAULT_IDLE, &Helper::FlushAfterPaint, this, nullptr);
  }

  static gboolean FlushAfterPaint(gpointer p) {
    auto* self = static_cast<Helper*>(p);
    self->flushPending_ = false;
    gdk_display_sync(gdk_display_get_default());
    auto waiting = std::move(self->afterPaint_);
    self->afterPaint_.clear();
    for (auto& f : waiting) f();
    return G_SOURCE_REMOVE;
  }

  struct PendingPing {
    Helper* self;
    uint32_t token;
  };

  static gboolean AnswerPingAfterPaint(gpointer p) {
    std::unique_ptr<PendingPing> ping(static_cast<PendingPing*>(p));
    Helper* self = ping->self;
    const uint32_t token = ping->token;
    self->AfterPaint([self, token] { self->Send(wire::Writer(wire::Msg::Pong).U32(token).Frame()); });
    g_timeout_add_seconds(2, &Helper::FlushIfStillWaiting, self);  // a window that cannot paint
    return G_SOURCE_REMOVE;
  }

  static gboolean FlushIfStillWaiting(gpointer p) {
    auto* self = static_cast<Helper*>(p);
    if (!self->afterPaint_.empty()) self->ScheduleFlush();
    return G_SOURCE_REMOVE;
  }

  static gboolean OnWindowDrawn(GtkWidget*, cairo_t*, gpointer p) {
    auto* self = static_cast<Helper*>(p);
    if (self->mappedByServer_ && !self->afterPaint_.empty()) self->ScheduleFlush();
    return FALSE;
  }

  static gboolean OnWindowMapped(GtkWidget* w, GdkEvent*, gpointer p) {
    auto* self = static_cast<Helper*>(p);
    self->mappedByServer_ = true;
    gtk_widget_queue_draw(w);
    return FALSE;
  }

  // ---- the dialog ----

  void InstallCss() {
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

  ControlView* Find(int32_t id) {
    if (id == -1) return nullptr;
    for (auto& c : controls_)
      if (c->def.id == id) return c.get();
    return nullptr;
  }

  void CloseDialog() {
    if (window_) {
      GtkWidget* w = window_;
      window_ = nullptr;
      gtk_widget_destroy(w);
    }
    controls_.clear();
    defaultId_ = -1;
    mappedByServer_ = false;
    if (font_) {
      pango_font_description_free(font_);
      font_ = nullptr;
    }
    if (!afterPaint_.empty()) ScheduleFlush();
  }

  void Open(wire::OpenMsg m) {
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

  void ShowDialog() {
    if (!window_ || shown_) return;
    shown_ = true;
    gtk_widget_show(window_);
    gtk_window_present(GTK_WINDOW(window_));
  }

  void InitialFocus() {
    ControlView* first = nullptr;
    for (auto& c : controls_) {
      if (!gtk_widget_get_can_focus(c->widget) || !gtk_widget_get_sensitive(c->widget)) continue;
      if (c->def.kind == kDefaultButton) {
        gtk_widget_grab_focus(c->widget);
        return;
      }
      if (!first) first = c.get();
    }
    if (first) gtk_widget_grab_focus(first->widget);
  }

  // Centred in the work area (or over the owner window), then moved back inside the work
  // area where it sticks out, left and top edges first.
  void PlaceWindow(int w, int h, uint64_t owner) {
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

  void PlaceControl(ControlView& c, GtkFixed* fixed, const BaseUnits& base, int clientW, int clientH) {
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

    switch (d.kind) {
      case kButton:
      case kDefaultButton: {
        c.widget = gtk_button_new_with_label(c.text.c_str());
        GtkWidget* label = gtk_bin_get_child(GTK_BIN(c.widget));
        if (GTK_IS_LABEL(label)) {
          PangoAttrList* attrs = pango_attr_list_new();
          pango_attr_list_insert(attrs, pango_attr_font_desc_new(font_));
          gtk_label_set_attributes(GTK_LABEL(label), attrs);
          pango_attr_list_unref(attrs);
          gtk_label_set_ellipsize(GTK_LABEL(label), PANGO_ELLIPSIZE_END);
        }
        if (d.kind == kDefaultButton) {
          gtk_style_context_add_class(gtk_widget_get_style_context(c.widget), "quilta-default");
          gtk_widget_set_can_default(c.widget, TRUE);
          gtk_window_set_default(GTK_WINDOW(window_), c.widget);
          defaultId_ = d.id;
        }
        g_signal_connect(c.widget, "clicked", G_CALLBACK(&Helper::OnButtonClicked), &c);
        break;
      }
      case kBitmapButton: {
        c.widget = gtk_drawing_area_new();
        gtk_widget_set_can_focus(c.widget, TRUE);
        gtk_widget_add_events(c.widget, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK | GDK_POINTER_MOTION_MASK |
                                            GDK_ENTER_NOTIFY_MASK | GDK_LEAVE_NOTIFY_MASK | GDK_KEY_PRESS_MASK |
                                            GDK_KEY_RELEASE_MASK | GDK_FOCUS_CHANGE_MASK);
        c.normal = RenderKeypadPicture(d.bitmap);
        c.hoverPicture = RenderKeypadPicture(d.hoverBitmap);
        g_signal_connect(c.widget, "draw", G_CALLBACK(&DrawPictureButton), &c);
        g_signal_connect(c.widget, "enter-notify-event", G_CALLBACK(&OnPointerMove), &c);
        g_signal_connect(c.widget, "motion-notify-event", G_CALLBACK(&OnPointerMove), &c);
        g_signal_connect(c.widget, "leave-notify-event", G_CALLBACK(&OnPointerLeave), &c);
        g_signal_connect(c.widget, "button-press-event", G_CALLBACK(&OnPicturePress), &c);
        g_signal_connect(c.widget, "button-release-event", G_CALLBACK(&OnPictureRelease), &c);
        g_signal_connect(c.widget, "key-press-event", G_CALLBACK(&OnPictureKey), &c);
        g_signal_connect(c.widget, "key-release-event", G_CALLBACK(&OnPictureKey), &c);
        g_signal_connect(c.widget, "focus-out-event", G_CALLBACK(&OnPictureFocusOut), &c);
        g_signal_connect(c.widget, "grab-broken-event", G_CALLBACK(&OnPictureFocusOut), &c);
        g_signal_connect(c.widget, "state-flags-changed", G_CALLBACK(&OnPictureStateChanged), &c);
        break;
      }
      default:  // texts and the edit field are drawn here
        c.widget = gtk_drawing_area_new();
        g_signal_connect(c.widget, "draw", G_CALLBACK(&DrawStatic), &c);
        break;
    }
    gtk_widget_set_size_request(c.widget, w, h);
    if (d.disabled) gtk_widget_set_sensitive(c.widget, FALSE);
    gtk_fixed_put(fixed, c.widget, left, top);
  }

  void SetText(int32_t id, const std::string& text) {
    ControlView* c = Find(id);
    if (!c) return;
    c->text = text;
    if (c->def.kind == kButton || c->def.kind == kDefaultButton) {
      GtkWidget* label = gtk_bin_get_child(GTK_BIN(c->widget));
      if (GTK_IS_LABEL(label)) gtk_label_set_text(GTK_LABEL(label), text.c_str());
    }
    gtk_widget_queue_draw(c->widget);
  }

  void Enable(int32_t id, bool on) {
    ControlView* c = Find(id);
    if (!c) return;
    gtk_widget_set_sensitive(c->widget, on);
    gtk_widget_queue_draw(c->widget);
  }

  void ShowMessageBox(const std::string& text, const std::string& caption) {
    GtkWidget* box = gtk_message_dialog_new(window_ ? GTK_WINDOW(window_) : nullptr,
                                            static_cast<GtkDialogFlags>(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT),
                                            GTK_MESSAGE_OTHER, GTK_BUTTONS_OK, "%s", text.c_str());
    gtk_window_set_title(GTK_WINDOW(box), caption.c_str());
    gtk_window_set_keep_above(GTK_WINDOW(box), TRUE);
    gtk_window_set_position(GTK_WINDOW(box), window_ ? GTK_WIN_POS_CENTER_ON_PARENT : GTK_WIN_POS_CENTER);
    ++messageBoxes_;
    g_signal_connect(box, "response", G_CALLBACK(&Helper::OnMessageBoxResponse), this);
    g_signal_connect(box, "destroy", G_CALLBACK(&Helper::OnMessageBoxDestroyed), this);
    gtk_widget_show_all(box);
    gtk_window_present(GTK_WINDOW(box));
  }

  static void OnMessageBoxResponse(GtkDialog* box, gint, gpointer) { gtk_widget_destroy(GTK_WIDGET(box)); }

  // Closed by its OK button, Esc, its frame, or destroyed from outside: the caller goes on.
  static void OnMessageBoxDestroyed(GtkWidget*, gpointer p) {
    auto* self = static_cast<Helper*>(p);
    --self->messageBoxes_;
    self->Send(wire::Writer(wire::Msg::MessageBoxDone).Frame());
  }

  // ---- input ----

  static void OnButtonClicked(GtkButton*, gpointer p) {
    auto* c = static_cast<ControlView*>(p);
    c->helper->Report(wire::EventKind::Command, c->def.id);
  }

  // The window went away by some other road than Close (destroyed from outside): the person
  // can no longer answer, so the plug-in hears that the dialog is lost. The controls are
  // released once the destruction under way has finished with them.
  static void OnWindowDestroyed(GtkWidget* w, gpointer p) {
    auto* self = static_cast<Helper*>(p);
    if (self->window_ != w) return;
    self->window_ = nullptr;
    self->Report(wire::EventKind::Lost, 0);
    g_idle_add(&Helper::ReleaseLostDialog, self);
  }

  static gboolean ReleaseLostDialog(gpointer p) {
    auto* self = static_cast<Helper*>(p);
    if (!self->window_) self->CloseDialog();  // unless another dialog has opened since
    return G_SOURCE_REMOVE;
  }

  static gboolean OnDelete(GtkWidget*, GdkEvent*, gpointer p) {
    auto* self = static_cast<Helper*>(p);
    // While a message box is up its owner cannot be closed, as with any modal owner.
    if (self->closeBox_ && !self->MessageBoxOpen()) self->Report(wire::EventKind::CloseBox, 0);
    return TRUE;  // the plug-in decides; the window stays until it says Close
  }

  // Enter reports the focused push button, else the default button (or OK, 1, when the
  // template has none, as a dialog manager does); a disabled target reports nothing.
  // Esc reports Escape.
  static gboolean OnKey(GtkWidget* window, GdkEventKey* ev, gpointer p) {
    auto* self = static_cast<Helper*>(p);
    if (ev->keyval == GDK_KEY_Escape) {
      self->Report(wire::EventKind::Escape, 0);
      return TRUE;
    }
    if (ev->keyval != GDK_KEY_Return && ev->keyval != GDK_KEY_KP_Enter && ev->keyval != GDK_KEY_ISO_Enter)
      return FALSE;
    GtkWidget* focus = gtk_window_get_focus(GTK_WINDOW(window));
    for (auto& c : self->controls_) {
      if (c->widget == focus && (c->def.kind == kButton || c->def.kind == kDefaultButton)) {
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

  // ---- drawing ----

  static void SetColour(cairo_t* cr, const ControlView& c, bool sensitive) {
    if (!sensitive) {
      cairo_set_source_rgb(cr, 109 / 255.0, 109 / 255.0, 109 / 255.0);
      return;
    }
    switch (c.def.colour) {
      case kWarning:
        cairo_set_source_rgb(cr, 1, 0, 0);
        break;
      case kEmphasis:
        cairo_set_source_rgb(cr, 0, 0, 1);
        break;
      default:
        cairo_set_source_rgb(cr, 0, 0, 0);
    }
  }

  static gboolean DrawStatic(GtkWidget* w, cairo_t* cr, gpointer p) {
    auto* c = static_cast<ControlView*>(p);
    const int width = gtk_widget_get_allocated_width(w), height = gtk_widget_get_allocated_height(w);
    const bool sensitive = gtk_widget_is_sensitive(w);
    int inset = 0;
    if (c->def.kind == kEdit) {
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
    } else if (c->def.kind == kSunken) {
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
    if (c->def.kind == kEdit || c->def.kind == kCentred) {
      pango_layout_set_width(l, -1);
      pango_layout_get_pixel_size(l, &tw, &th);
      cairo_move_to(cr, inset + (c->def.kind == kEdit ? 1 : 0), (height - th) / 2);
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
  static gboolean DrawPictureButton(GtkWidget* w, cairo_t* cr, gpointer p) {
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

  static bool Inside(GtkWidget* w, double x, double y) {
    return x >= 0 && y >= 0 && x < gtk_widget_get_allocated_width(w) && y < gtk_widget_get_allocated_height(w);
  }

  static gboolean OnPointerMove(GtkWidget* w, GdkEvent* ev, gpointer p) {
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

  static gboolean OnPointerLeave(GtkWidget* w, GdkEventCrossing* ev, gpointer p) {
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

  static gboolean OnPicturePress(GtkWidget* w, GdkEventButton* ev, gpointer p) {
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

  static gboolean OnPictureRelease(GtkWidget* w, GdkEventButton* ev, gpointer p) {
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
  static gboolean OnPictureKey(GtkWidget* w, GdkEventKey* ev, gpointer p) {
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

  static gboolean OnPictureFocusOut(GtkWidget* w, GdkEvent*, gpointer p) {
    auto* c = static_cast<ControlView*>(p);
    if (c->tracking || c->pushed) {
      c->tracking = false;
      c->pushed = false;
      gtk_widget_queue_draw(w);
    }
    return FALSE;
  }

  static void OnPictureStateChanged(GtkWidget* w, GtkStateFlags, gpointer p) {
    if (!gtk_widget_is_sensitive(w)) OnPictureFocusOut(w, nullptr, p);
  }

  int fd_;
  wire::FrameSplitter in_;
  bool greeted_ = false;
  int dropped_ = 0;
  uint32_t openCount_ = 0;
  bool quitting_ = false;
  GtkWidget* window_ = nullptr;
  bool mappedByServer_ = false;
  bool shown_ = false;
  bool closeBox_ = false;
  int32_t defaultId_ = -1;
  PangoFontDescription* font_ = nullptr;
  std::vector<std::unique_ptr<ControlView>> controls_;
  std::vector<std::function<void()>> afterPaint_;
  bool flushPending_ = false;
  int messageBoxes_ = 0;
};

}  // namespace
}  // namespace quilta::ui::gtk

int main(int argc, char** argv) {
  int fd = -1;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--fd") == 0 && i + 1 < argc) {
      char* end = nullptr;
      const long v = std::strtol(argv[++i], &end, 10);
      if (end && *end == '\0' && v >= 0 && v < 65536) fd = static_cast<int>(v);
    } else if (std::strcmp(argv[i], "--version") == 0) {
      std::printf("quilta-dialogs protocol %u\n", quilta::ui::wire::kVersion);
      return 0;
    }
  }
  if (fd < 0) {
    std::fprintf(stderr, "usage: quilta-dialogs --fd N (started by the plug-in)\n");
    return 2;
  }
  signal(SIGPIPE, SIG_IGN);
  int gargc = 1;
  char** gargv = argv;
  if (!gtk_init_check(&gargc, &gargv)) {
    std::fprintf(stderr, "quilta-dialogs: cannot open the display\n");
    close(fd);
    return 3;
  }
  auto* helper = new quilta::ui::gtk::Helper(fd);
  helper->Start();
  gtk_main();
  close(fd);
  return 0;
}
