// The dialog helper's state: one connection to the plug-in, at most one dialog window (built
// from the Open message, shown on Show) and its message boxes. The helper serves one dialog
// after another for as long as the plug-in keeps it; Close takes away the dialog and every
// message box, so that nothing of one dialog is left for the next. It ends when the socket
// closes or the process that started it ends. The work is split by role:
//   messaging.cpp  the socket, the frames and their dispatch, answering Ping after painting
//   window.cpp     building and placing the window and its controls, texts, message boxes,
//                  keyboard and window-manager input
//   painting.cpp   drawing the static texts and the picture buttons, and the picture
//                  buttons' pointer and key handling
//   text_fit.cpp   making room for texts set at run time in the controls sized by their text
#pragma once

#include <gtk/gtk.h>
#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "ui/gtk/dialog_units.h"
#include "ui/dialog_wire.h"

namespace quilta::ui::gtk {

class Helper;

// A control's place in the dialog's client area, in pixels.
struct PixelRect {
  int x = 0, y = 0, w = 0, h = 0;
  int Right() const { return x + w; }
  int Bottom() const { return y + h; }
  bool operator==(const PixelRect&) const = default;
};

// One control of the open dialog as the helper shows it.
struct ControlView {
  Helper* helper = nullptr;
  wire::ControlMsg def;
  GtkWidget* widget = nullptr;
  std::string text;  // the text shown (the template's until the plug-in sets another)
  PixelRect base;    // where the template puts it (sized by the template's text where it says so)
  PixelRect at;      // where it is now (ui/gtk/text_fit.cpp)
  // picture buttons
  bool hover = false, tracking = false, pushed = false;
  cairo_surface_t* normal = nullptr;
  cairo_surface_t* hoverPicture = nullptr;

  ControlKind Kind() const { return def.Kind(); }
  ~ControlView();
};

// Text from the plug-in as GTK needs it: valid UTF-8 without NUL characters.
std::string ValidUtf8(const std::string& s);

class Helper {
 public:
  explicit Helper(int fd) : fd_(fd) {}

  // Greets the plug-in and starts listening on the socket.
  void Start();
  // Reports the person's input for the open dialog.
  void Report(wire::EventKind kind, int32_t id);

  PangoFontDescription* font() const { return font_; }
  bool MessageBoxOpen() const { return !messageBoxes_.empty(); }

 private:
  // ---- messaging.cpp ----
  void Send(const std::vector<uint8_t>& frame);
  static gboolean OnSocket(gint, GIOCondition, gpointer self);
  bool ReadSocket();
  void Quit();
  // Ends the helper when the process that started it ends, even while a copy of the socket
  // lives on elsewhere (a process forked from it).
  void WatchParent();
  static gboolean OnParentEnded(gint, GIOCondition, gpointer self);
  static gboolean CheckParent(gpointer self);
  // False when the message was malformed (it is then ignored).
  bool Handle(wire::Msg type, std::span<const uint8_t> body);
  // Runs `done` once the dialog window has been painted and the display has processed the
  // drawing (at once, through an idle, when no dialog is showing).
  void AfterPaint(std::function<void()> done);
  void ScheduleFlush();
  static gboolean FlushAfterPaint(gpointer p);
  static gboolean AnswerPingAfterPaint(gpointer p);
  static gboolean FlushIfStillWaiting(gpointer p);
  static gboolean OnWindowDrawn(GtkWidget*, cairo_t*, gpointer p);
  static gboolean OnWindowMapped(GtkWidget* w, GdkEvent*, gpointer p);

  // ---- window.cpp ----
  void InstallCss();
  ControlView* Find(int32_t id);
  void CloseDialog();
  // The Close message: the dialog and every message box, those shown without a dialog too.
  void CloseAll();
  void Open(wire::OpenMsg m);
  void ShowDialog();
  void InitialFocus();
  void PlaceWindow(int w, int h, uint64_t owner);
  void PlaceControl(ControlView& c, GtkFixed* fixed, const BaseUnits& base, int clientW, int clientH);
  void SetText(int32_t id, const std::string& text);
  void Enable(int32_t id, bool on);
  void ShowMessageBox(const std::string& text, const std::string& caption);
  static void OnMessageBoxResponse(GtkDialog* box, gint, gpointer);
  static void OnMessageBoxDestroyed(GtkWidget*, gpointer p);
  static void OnButtonClicked(GtkButton*, gpointer p);
  static void OnWindowDestroyed(GtkWidget* w, gpointer p);
  static gboolean ReleaseLostDialog(gpointer p);
  static gboolean OnDelete(GtkWidget*, GdkEvent*, gpointer p);
  static gboolean OnKey(GtkWidget* window, GdkEventKey* ev, gpointer p);

  // ---- text_fit.cpp ----
  // What a text needs: laid out on one line (wrapWidth < 0) or wrapped at wrapWidth pixels.
  struct TextExtent {
    int width = 0, height = 0;
    int lastLineTop = 0, lastLineWidth = 0;
  };
  TextExtent Measure(const std::string& text, int wrapWidth) const;
  // Lays the text controls that the template sizes by their text out again for the texts
  // they hold now; see text_fit.cpp.
  void FitTexts();
  void FitText(ControlView& c);
  ControlView* FollowerOf(const ControlView& c);

  int fd_;
  wire::FrameSplitter in_;
  bool greeted_ = false;
  int dropped_ = 0;
  uint32_t openCount_ = 0;
  bool quitting_ = false;
  GtkWidget* window_ = nullptr;
  GtkWidget* fixed_ = nullptr;  // the client area
  int clientW_ = 0, clientH_ = 0;
  bool mappedByServer_ = false;
  bool shown_ = false;
  bool closeBox_ = false;
  int32_t defaultId_ = -1;
  PangoFontDescription* font_ = nullptr;
  std::vector<std::unique_ptr<ControlView>> controls_;
  std::vector<std::function<void()>> afterPaint_;
  bool flushPending_ = false;
  std::vector<GtkWidget*> messageBoxes_;
  pid_t parent_ = -1;
};

// ---- painting.cpp ----

// A drawing area that paints a static text, the sunken frame or the edit field of `c`.
GtkWidget* NewStaticView(ControlView& c);
// A drawing area that paints and runs the picture button `c`: its pictures, hover, push and
// click by pointer or space bar; a click is reported as the button's command.
GtkWidget* NewPictureButton(ControlView& c);

}  // namespace quilta::ui::gtk
