#include "ui/win32/dialog_memory.h"

#include <windows.h>

namespace quilta::ui::win32 {
namespace {

class Writer {
 public:
  void Align(size_t n) {
    while (bytes_.size() % n) bytes_.push_back(0);
  }
  void U16(uint16_t v) { Raw(&v, 2); }
  void U32(uint32_t v) { Raw(&v, 4); }
  void I16(int16_t v) { Raw(&v, 2); }
  void Text(std::u16string_view t) {
    for (char16_t c : t) U16(c);
    U16(0);
  }
  std::vector<uint8_t> Take() { return std::move(bytes_); }

 private:
  void Raw(const void* p, size_t n) {
    const auto* b = static_cast<const uint8_t*>(p);
    bytes_.insert(bytes_.end(), b, b + n);
  }
  std::vector<uint8_t> bytes_;
};

constexpr uint16_t kButtonClass = 0x0080;
constexpr uint16_t kEditClass = 0x0081;
constexpr uint16_t kStaticClass = 0x0082;

}  // namespace

int16_t TextWidthDlu(std::u16string_view text) {
  int w = 2;
  for (char16_t c : text) w += c < 0x0100 ? 4 : 8;
  return static_cast<int16_t>(w);
}

std::vector<uint8_t> BuildDialogTemplate(const DialogTemplate& tmpl, const std::u16string& caption) {
  Writer w;
  DWORD style = DS_SETFONT | DS_MODALFRAME | DS_CENTER | WS_POPUP | WS_CAPTION;
  if (tmpl.closeBox) style |= WS_SYSMENU;
  w.U16(1);       // dlgVer
  w.U16(0xFFFF);  // signature
  w.U32(0);       // helpID
  w.U32(WS_EX_TOPMOST);
  w.U32(style);
  w.U16(static_cast<uint16_t>(tmpl.controls.size()));
  w.I16(0);
  w.I16(0);
  w.I16(tmpl.width);
  w.I16(tmpl.height);
  w.U16(0);  // no menu
  w.U16(0);  // the dialog class
  w.Text(caption);
  w.U16(static_cast<uint16_t>(tmpl.fontPoints));
  w.U16(FW_NORMAL);
  w.U16(0x0100);  // italic 0, charset DEFAULT_CHARSET (1)
  w.Text(tmpl.fontFace);

  for (const Control& c : tmpl.controls) {
    w.Align(4);
    DWORD cstyle = WS_CHILD | WS_VISIBLE;
    uint16_t cls = kStaticClass;
    switch (c.kind) {
      case ControlKind::Text:
        cstyle |= SS_LEFT;
        break;
      case ControlKind::SunkenText:
        cstyle |= SS_LEFT | SS_SUNKEN;
        break;
      case ControlKind::CenteredText:
        cstyle |= SS_CENTER | SS_CENTERIMAGE;
        break;
      case ControlKind::Edit:
        cls = kEditClass;
        cstyle |= WS_BORDER | ES_AUTOHSCROLL | ES_READONLY;
        break;
      case ControlKind::Button:
        cls = kButtonClass;
        cstyle |= BS_PUSHBUTTON | WS_TABSTOP;
        break;
      case ControlKind::DefaultButton:
        cls = kButtonClass;
        cstyle |= BS_DEFPUSHBUTTON | WS_TABSTOP;
        break;
      case ControlKind::BitmapButton:
        cls = kButtonClass;
        cstyle |= BS_OWNERDRAW | WS_TABSTOP;
        break;
    }
    if (c.disabled) cstyle |= WS_DISABLED;
    w.U32(0);  // helpID
    w.U32(0);  // exStyle
    w.U32(cstyle);
    w.I16(c.x);
    w.I16(c.y);
    w.I16(c.w ? c.w : TextWidthDlu(c.text));
    w.I16(c.h ? c.h : 8);
    w.U32(static_cast<uint32_t>(c.id == -1 ? 0xFFFF : c.id));
    w.U16(0xFFFF);
    w.U16(cls);
    w.Text(c.text);
    w.U16(0);  // no creation data
  }
  return w.Take();
}

}  // namespace quilta::ui::win32
