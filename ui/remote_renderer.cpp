#include "ui/remote_renderer.h"

#include <atomic>
#include <utility>

#include "base/text.h"
#include "ui/warm_helper.h"

namespace quilta::ui {
namespace {

constexpr int64_t kOpenLimitMs = 15000;  // a helper that has not built the dialog by then is stuck

// The helper's event kinds are the renderer's: the same values, Lost standing for Closed.
constexpr bool SameKind(wire::EventKind w, UiEvent::Kind k) {
  return static_cast<uint8_t>(w) == static_cast<uint8_t>(k);
}
static_assert(SameKind(wire::EventKind::Command, UiEvent::Kind::Command) &&
              SameKind(wire::EventKind::Escape, UiEvent::Kind::Escape) &&
              SameKind(wire::EventKind::CloseBox, UiEvent::Kind::CloseBox) &&
              SameKind(wire::EventKind::Lost, UiEvent::Kind::Closed));
constexpr uint8_t kMaxEventKind = static_cast<uint8_t>(wire::EventKind::Lost);

std::atomic<uint64_t> g_ownerWindow{0};

wire::OpenMsg ToWire(const DialogTemplate& tmpl, const std::u16string& caption, uint64_t owner) {
  wire::OpenMsg m;
  m.number = tmpl.number;
  m.width = tmpl.width;
  m.height = tmpl.height;
  m.caption = ToUtf8(caption);
  m.fontFace = ToUtf8(tmpl.fontFace);
  m.fontPoints = tmpl.fontPoints;
  m.closeBox = tmpl.closeBox;
  m.centreOverOwner = tmpl.centreOverOwner;
  m.ownerWindow = owner;
  for (const Control& c : tmpl.controls) {
    wire::ControlMsg w;
    w.id = c.id;
    w.kind = wire::WireValue(c.kind);
    w.x = c.x;
    w.y = c.y;
    w.w = c.w;
    w.h = c.h;
    w.text = ToUtf8(c.text);
    w.colour = wire::WireValue(c.colour);
    w.disabled = c.disabled;
    w.bitmap = c.bitmap;
    w.hoverBitmap = c.hoverBitmap;
    m.controls.push_back(std::move(w));
  }
  return m;
}

}  // namespace

std::unique_ptr<Renderer> MakeDefaultRenderer() {
  if (!ui::HasDisplay()) return nullptr;
  return std::make_unique<RemoteRenderer>();
}

RemoteRenderer::RemoteRenderer() : ownerWindow_(g_ownerWindow.load()) {}

RemoteRenderer::RemoteRenderer(std::string helperPath)
    : helperPath_(std::move(helperPath)), pathGiven_(true), ownerWindow_(g_ownerWindow.load()) {}

void RemoteRenderer::SetProcessOwnerWindow(uint64_t window) { g_ownerWindow = window; }

RemoteRenderer::~RemoteRenderer() { ReleaseHelper(); }

std::string RemoteRenderer::DefaultHelperPath() { return ui::DefaultHelperPath(); }

bool RemoteRenderer::HasDisplay() { return ui::HasDisplay(); }

bool RemoteRenderer::EnsureHelper() {
  if (helper_ && helper_->Alive()) return true;
  helper_.reset();  // gone: reaped
  dialogOpen_ = false;
  needShow_ = false;
  helper_ = TakeHelper(pathGiven_ ? helperPath_ : ui::DefaultHelperPath());
  if (!helper_) return false;
  helper_->SetHandler(
      [this](wire::Msg type, std::span<const uint8_t> body) { HandleFrame(type, body); });
  return true;
}

void RemoteRenderer::ReleaseHelper() {
  if (!helper_) return;
  if (!helper_->Gone()) {
    // Nothing of this renderer's stays for a later dialog to see: its window and boxes close.
    helper_->ForgetOpenBoxes();
    helper_->Send(wire::Writer(wire::Msg::Close).Frame());
  }
  GiveBackHelper(std::move(helper_));
}

void RemoteRenderer::SendFrame(const std::vector<uint8_t>& frame) {
  if (helper_) helper_->Send(frame);
}

void RemoteRenderer::HandleFrame(wire::Msg type, std::span<const uint8_t> body) {
  wire::Reader r(body);
  switch (type) {
    case wire::Msg::Opened: {
      const auto m = wire::DecodeOpened(body);
      openAnswered_ = true;
      openOk_ = m && m->ok;
      if (openOk_) geometry_ = Geometry{m->baseX, m->baseY, m->clientWidth, m->clientHeight};
      return;
    }
    case wire::Msg::Event: {
      const uint8_t kind = r.U8();
      const int32_t id = r.I32();
      const uint32_t dialog = r.U32();
      // Input for an earlier dialog, of this renderer or of one before it, is dropped.
      if (!r.Done() || !dialogOpen_ || dialog != helper_->Opens()) return;
      if (kind > kMaxEventKind) return;  // a kind of a newer helper
      UiEvent ev;
      ev.kind = static_cast<UiEvent::Kind>(kind);
      if (ev.kind == UiEvent::Kind::Command) ev.id = id;
      events_.push_back(ev);
      return;
    }
    case wire::Msg::MessageBoxDone:  // the helper's tally passes only this dialog's boxes
      events_.push_back(UiEvent{UiEvent::Kind::MessageBoxClosed, 0});
      return;
    case wire::Msg::Pong: {
      const uint32_t token = r.U32();
      if (r.Done()) pongToken_ = token;
      return;
    }
    default:
      return;  // unknown messages from a newer helper are ignored
  }
}

bool RemoteRenderer::Open(const DialogTemplate& tmpl, const std::u16string& caption) {
  const wire::OpenMsg m = ToWire(tmpl, caption, ownerWindow_);
  dialogOpen_ = false;
  needShow_ = false;
  // A helper kept from an earlier dialog may end just as it is asked again: one more start.
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (!EnsureHelper()) return false;
    const bool kept = !helper_->Fresh();
    if (SendOpen(m)) {
      needShow_ = true;
      return true;
    }
    if (!helper_ || !helper_->Gone() || !kept) return false;
  }
  return false;
}

bool RemoteRenderer::SendOpen(const wire::OpenMsg& m) {
  events_.clear();
  geometry_.reset();
  openAnswered_ = false;
  openOk_ = false;
  dialogOpen_ = true;
  helper_->CountOpen();
  SendFrame(wire::EncodeOpen(m));
  if (!helper_->PumpUntil([this] { return openAnswered_; }, kOpenLimitMs) || !openOk_) {
    dialogOpen_ = false;
    if (!helper_->Gone() && !openAnswered_)
      helper_.reset();  // stuck: stopped, started afresh next time
    return false;
  }
  return true;
}

void RemoteRenderer::ShowIfNeeded() {
  if (!needShow_ || !dialogOpen_) return;
  needShow_ = false;
  SendFrame(wire::Writer(wire::Msg::Show).Frame());
}

void RemoteRenderer::SetText(int32_t id, const std::u16string& text) {
  if (!dialogOpen_) return;
  SendFrame(wire::Writer(wire::Msg::SetText).I32(id).Str(ToUtf8(text)).Frame());
}

void RemoteRenderer::Enable(int32_t id, bool enabled) {
  if (!dialogOpen_) return;
  SendFrame(wire::Writer(wire::Msg::Enable).I32(id).U8(enabled ? 1 : 0).Frame());
}

void RemoteRenderer::Focus(int32_t id) {
  if (!dialogOpen_) return;
  SendFrame(wire::Writer(wire::Msg::Focus).I32(id).Frame());
}

bool RemoteRenderer::OpenMessageBox(const std::u16string& text, const std::u16string& caption) {
  if (!EnsureHelper()) return false;
  ShowIfNeeded();
  helper_->CountBox();
  SendFrame(wire::Writer(wire::Msg::MessageBox).Str(ToUtf8(text)).Str(ToUtf8(caption)).Frame());
  return !helper_->Gone();
}

void RemoteRenderer::Close() {
  if (!dialogOpen_) return;
  dialogOpen_ = false;
  needShow_ = false;
  events_.clear();
  helper_->ForgetOpenBoxes();  // they go away with the window
  SendFrame(wire::Writer(wire::Msg::Close).Frame());
}

std::optional<UiEvent> RemoteRenderer::WaitEvent(int64_t timeoutMs) {
  ShowIfNeeded();
  if (events_.empty() && !Gone())
    helper_->PumpUntil([this] { return !events_.empty(); }, timeoutMs);
  if (!events_.empty()) {
    const UiEvent ev = events_.front();
    events_.pop_front();
    return ev;
  }
  if (Gone()) return UiEvent{UiEvent::Kind::Closed, 0};
  return std::nullopt;
}

bool RemoteRenderer::Sync() {
  if (Gone()) return false;
  ShowIfNeeded();
  const uint32_t token = helper_->NextPingToken();
  SendFrame(wire::Writer(wire::Msg::Ping).U32(token).Frame());
  return helper_->PumpUntil([this, token] { return pongToken_ == token; }, kOpenLimitMs);
}

}  // namespace quilta::ui
