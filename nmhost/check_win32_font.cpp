// --check: the font the card dialogs are written in, installed or substituted.
#include "nmhost/check_win32_parts.h"

#include <string_view>

#include "core/script.h"

namespace quilta::nmhost::check {
namespace {

// The faces the templates name besides the system's own, with the font's English name and
// what brings it.
struct KnownFace {
  std::u16string_view face;
  const char* english;
  const char* install;
};
constexpr KnownFace kKnownFaces[] = {
    {u"標楷體", "DFKai-SB",
     "in Settings, Apps, Optional features, add \"Chinese (Traditional) Supplemental Fonts\""},
};

int CALLBACK FoundFamily(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
  *reinterpret_cast<bool*>(found) = true;
  return 0;
}

bool FamilyInstalled(HDC dc, const std::wstring& family) {
  if (family.empty() || family.size() >= LF_FACESIZE) return false;
  LOGFONTW lf{};
  lf.lfCharSet = DEFAULT_CHARSET;
  family.copy(lf.lfFaceName, family.size());
  bool found = false;
  EnumFontFamiliesExW(dc, &lf, FoundFamily, reinterpret_cast<LPARAM>(&found), 0);
  return found;
}

// The family FontSubstitutes maps `face` to ("Family" or "Family,charset").
std::optional<std::wstring> Substitute(const std::wstring& face) {
  const RegPlace subs{HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY,
                      L"Software\\Microsoft\\Windows NT\\CurrentVersion\\FontSubstitutes"};
  std::optional<std::wstring> to = ReadValue(subs, face.c_str());
  if (to) to = to->substr(0, to->find(L','));
  return to && !to->empty() ? to : std::nullopt;
}

}  // namespace

void CheckFont(Report& report) {
  const std::vector<std::u16string_view> faces = DialogFontFaces();
  HDC dc = CreateCompatibleDC(nullptr);
  for (const std::u16string_view face16 : faces) {
    const std::wstring face(face16.begin(), face16.end());
    const std::string name = Utf8(face);
    if (FamilyInstalled(dc, face)) {
      report
          .Add("font", Level::kOk, "The card dialogs' font (" + name + ") is installed.")
          .With("font", name);
      continue;
    }
    if (const std::optional<std::wstring> to = Substitute(face); to && FamilyInstalled(dc, *to)) {
      report
          .Add("font", Level::kOk,
               "The card dialogs' font (" + name + ") is installed as " + Utf8(*to) +
                   " (FontSubstitutes).")
          .With("font", name)
          .With("substitute", Utf8(*to));
      continue;
    }
    std::string shown = name, install = "install the font " + name;
    for (const KnownFace& k : kKnownFaces) {
      if (k.face == face16) {
        shown += std::string(", ") + k.english;
        install = k.install;
      }
    }
    report
        .Add("font-missing", Level::kFail,
             "The Chinese font the card dialogs are written in (" + shown +
                 ") is not installed: " + install + " and run this check again.")
        .With("font", name);
  }
  DeleteDC(dc);
}

}  // namespace quilta::nmhost::check
