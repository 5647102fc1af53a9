// The helper's side of the conversation: frames in and out of the socket, their dispatch, and
// the answer to Ping once everything sent before it has been painted.
#include <glib-unix.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

#include "ui/gtk/helper.h"

namespace quilta::ui::gtk {

namespace {

struct PendingPing {
  Helper* self;
  uint32_t token;
};

}  // namespace

void Helper::Start() {
  WatchParent();
  InstallCss();
  Send(wire::Writer(wire::Msg::Hello).U16(wire::kVersion).Frame());
  g_unix_fd_add(fd_, static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR), &Helper::OnSocket, this);
}

void Helper::WatchParent() {
  parent_ = getppid();
  const int pidfd = static_cast<int>(syscall(SYS_pidfd_open, parent_, 0));
  if (pidfd >= 0) {
    g_unix_fd_add(pidfd, G_IO_IN, &Helper::OnParentEnded, this);  // readable once it has ended
  } else {
    g_timeout_add_seconds(1, &Helper::CheckParent, this);  // no pidfd: look now and then
  }
  // It may have ended before the watch began.
  if (getppid() != parent_) g_idle_add(&Helper::CheckParent, this);
}

gboolean Helper::OnParentEnded(gint, GIOCondition, gpointer self) {
  static_cast<Helper*>(self)->Quit();
  return G_SOURCE_REMOVE;
}

// An orphan is taken over by another process: its parent is then no longer the one it had.
gboolean Helper::CheckParent(gpointer p) {
  auto* self = static_cast<Helper*>(p);
  if (getppid() == self->parent_) return G_SOURCE_CONTINUE;
  self->Quit();
  return G_SOURCE_REMOVE;
}

void Helper::Report(wire::EventKind kind, int32_t id) {
  Send(wire::Writer(wire::Msg::Event).U8(static_cast<uint8_t>(kind)).I32(id).U32(openCount_).Frame());
}

// ---- socket ----

void Helper::Send(const std::vector<uint8_t>& frame) {
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

gboolean Helper::OnSocket(gint, GIOCondition, gpointer self) {
  return static_cast<Helper*>(self)->ReadSocket() ? G_SOURCE_CONTINUE : G_SOURCE_REMOVE;
}

bool Helper::ReadSocket() {
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

void Helper::Quit() {
  if (quitting_) return;
  quitting_ = true;
  gtk_main_quit();
}

bool Helper::Handle(wire::Msg type, std::span<const uint8_t> body) {
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
      CloseAll();
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

void Helper::AfterPaint(std::function<void()> done) {
  afterPaint_.push_back(std::move(done));
  if (window_ && gtk_widget_get_mapped(window_) && mappedByServer_) {
    gtk_widget_queue_draw(window_);
  } else if (!window_ || !shown_) {
    ScheduleFlush();  // nothing on the screen to wait for
  }
  // A window still on its way to the screen flushes from its first draw.
}

void Helper::ScheduleFlush() {
  if (flushPending_) return;
  flushPending_ = true;
  g_idle_add_full(G_PRIORITY_DEFAULT_IDLE, &Helper::FlushAfterPaint, this, nullptr);
}

gboolean Helper::FlushAfterPaint(gpointer p) {
  auto* self = static_cast<Helper*>(p);
  self->flushPending_ = false;
  gdk_display_sync(gdk_display_get_default());
  auto waiting = std::move(self->afterPaint_);
  self->afterPaint_.clear();
  for (auto& f : waiting) f();
  return G_SOURCE_REMOVE;
}

gboolean Helper::AnswerPingAfterPaint(gpointer p) {
  std::unique_ptr<PendingPing> ping(static_cast<PendingPing*>(p));
  Helper* self = ping->self;
  const uint32_t token = ping->token;
  self->AfterPaint([self, token] { self->Send(wire::Writer(wire::Msg::Pong).U32(token).Frame()); });
  g_timeout_add_seconds(2, &Helper::FlushIfStillWaiting, self);  // a window that cannot paint
  return G_SOURCE_REMOVE;
}

gboolean Helper::FlushIfStillWaiting(gpointer p) {
  auto* self = static_cast<Helper*>(p);
  if (!self->afterPaint_.empty()) self->ScheduleFlush();
  return G_SOURCE_REMOVE;
}

gboolean Helper::OnWindowDrawn(GtkWidget*, cairo_t*, gpointer p) {
  auto* self = static_cast<Helper*>(p);
  if (self->mappedByServer_ && !self->afterPaint_.empty()) self->ScheduleFlush();
  return FALSE;
}

gboolean Helper::OnWindowMapped(GtkWidget* w, GdkEvent*, gpointer p) {
  auto* self = static_cast<Helper*>(p);
  self->mappedByServer_ = true;
  gtk_widget_queue_draw(w);
  return FALSE;
}

}  // namespace quilta::ui::gtk
