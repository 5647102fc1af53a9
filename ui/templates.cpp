// The module's dialog templates as data. Positions and sizes are dialog units; a width or
// height of 0 means "as large as the text needs". Texts are the dialogs' own, byte for byte.
#include <algorithm>
#include <array>

#include "ui/dialog_template.h"

namespace quilta::ui {
namespace {

using K = ControlKind;
using C = TextColour;

constexpr std::u16string_view kKai = u"標楷體";
constexpr std::u16string_view kBankCaption = u"Tovak銀行  網路ATM";
constexpr std::u16string_view kOutAccount = u"轉出帳號";
constexpr std::u16string_view kInAccount = u"轉入帳號";
constexpr std::u16string_view kAmount = u"金額";
constexpr std::u16string_view kYouHave = u"您有";
constexpr std::u16string_view kSecondsLeft = u"秒的時間，否則交易將取消。";
constexpr std::u16string_view kReinsertWarning =
    u"為確保您的交易安全，您需要將您的晶片卡抽出後重新插入，才能按確認繼續進行交易！ ";
constexpr std::u16string_view kSixtySeconds = u"您需在60秒的時間內完成交易確認，否則交易將取消。";
constexpr std::u16string_view kPleaseAt = u"請在";
constexpr std::u16string_view kSecondGenReader = u"二代晶片卡讀卡機";
constexpr std::u16string_view kOperate = u"操作：";
constexpr std::u16string_view kLongInstruction = kPadInstruction;
constexpr std::u16string_view kShortInstruction = kPadInstructionShort;
constexpr std::u16string_view kConfirm = u"確認";
constexpr std::u16string_view kCancel = u"取消";
constexpr std::u16string_view kPress = u"按";
constexpr std::u16string_view kToAbandon = u"鍵放棄交易";

// ---- 904 / 9041: transfer confirmation ----
constexpr Control k904[] = {
    {kIdHeader1, K::Text, 5, 4, 158, 8, u"Static"},
    {kIdHeader2, K::Text, 6, 4, 160, 9, u"Static"},
    {SummaryLabelId(0), K::Text, 5, 13, 34, 8, kOutAccount},
    {SummaryLabelId(1), K::Text, 5, 28, 34, 8, kInAccount},
    {SummaryLabelId(2), K::Text, 5, 41, 34, 8, kAmount},
    {SummaryLabelId(3), K::Text, 5, 54, 34, 8, kAmount},
    {SummaryValueId(0), K::SunkenText, 50, 13, 107, 10, kOutAccount},
    {SummaryValueId(1), K::Text, 50, 28, 107, 8, kOutAccount},
    {SummaryValueId(2), K::Text, 50, 41, 107, 8, kOutAccount},
    {SummaryValueId(3), K::Text, 50, 55, 107, 8, kOutAccount},
    {kIdOk, K::DefaultButton, 37, 69, 39, 17, kConfirm},
    {kIdCancel, K::Button, 84, 69, 39, 17, kCancel},
    {211, K::Text, 5, 93, 16, 9, kYouHave, C::Warning},
    {kIdCountdown, K::Text, 24, 93, 8, 9, u"45", C::Emphasis},
    {214, K::Text, 37, 93, 126, 9, kSecondsLeft, C::Warning},
    {212, K::Text, 6, 105, 168, 17, kReinsertWarning, C::Warning},
};

// ---- 104: transfer confirmation with the keypad re-entry of the in-account ----
constexpr Control KeyT(int k) {
  return Control{kTransferKeypad.firstKeyId + k, K::BitmapButton,
                 static_cast<int16_t>(56 + 13 * k), 99, 13, 13,
                 std::array<std::u16string_view, 10>{u"1", u"2", u"3", u"4", u"5", u"6", u"7",
                                                     u"8", u"9", u"10"}[k],
                 C::Default, false, static_cast<int16_t>(kTransferKeypad.firstBitmap + k),
                 static_cast<int16_t>(kTransferKeypad.firstHover + k)};
}
constexpr Control k104[] = {
    {kIdHeader1, K::Text, 5, 4, 158, 8, u"Static"},
    {kIdHeader2, K::Text, 6, 4, 160, 9, u"Static"},
    {SummaryLabelId(0), K::Text, 37, 15, 34, 8, kOutAccount},
    {SummaryLabelId(1), K::Text, 37, 30, 34, 8, kInAccount},
    {SummaryLabelId(2), K::Text, 37, 43, 34, 8, kAmount},
    {SummaryLabelId(3), K::Text, 37, 56, 34, 8, kAmount},
    {SummaryValueId(0), K::SunkenText, 82, 15, 107, 10, kOutAccount},
    {SummaryValueId(1), K::Text, 82, 30, 107, 8, kOutAccount},
    {SummaryValueId(2), K::Text, 82, 43, 107, 8, kOutAccount},
    {SummaryValueId(3), K::Text, 82, 57, 107, 8, kOutAccount},
    {-1, K::Text, 5, 72, 182, 10, u"1.請以滑鼠按動態鍵盤，再次輸入轉入帳號末三碼"},
    {kIdTransferEntry, K::CenteredText, 89, 85, 14, 10, u"", C::Default, true},
    {kTransferKeypad.clearId, K::BitmapButton, 107, 84, 34, 14, u"清除重填", C::Default, false,
     kTransferKeypad.clearBitmap, kTransferKeypad.clearHover},
    KeyT(0), KeyT(1), KeyT(2), KeyT(3), KeyT(4), KeyT(5), KeyT(6), KeyT(7), KeyT(8), KeyT(9),
    {-1, K::Text, 5, 120, 253, 9,
     u"2.請將您的晶片卡抽出後重新插入，才能按【確認】鍵繼續進行交易！"},
    {kIdOk, K::DefaultButton, 70, 137, 39, 17, kConfirm},
    {kIdCancel, K::Button, 142, 136, 39, 17, kCancel},
    {211, K::Text, 5, 161, 16, 9, kYouHave, C::Warning},
    {kIdCountdown, K::Text, 23, 161, 8, 9, u"45", C::Emphasis},
    {214, K::Text, 36, 161, 126, 9, kSecondsLeft, C::Warning},
    {212, K::Text, 5, 173, 249, 17, kReinsertWarning, C::Warning},
};

// ---- 103: reader instruction for the PIN ----
constexpr Control k103[] = {
    {201, K::Text, 12, 8, 0, 0, kPleaseAt},
    {205, K::Text, 32, 8, 0, 0, kSecondGenReader, C::Emphasis},
    {206, K::Text, 102, 8, 0, 0, kOperate},
    {kIdPinInstruction, K::Text, 19, 18, 176, 0, kLongInstruction},
    {207, K::Text, 198, 18, 0, 0, kConfirm, C::Warning},
    {203, K::Text, 19, 29, 0, 0, kPress},
    {208, K::Text, 29, 29, 0, 0, kCancel, C::Warning},
    {209, K::Text, 49, 29, 0, 0, kToAbandon},
    {204, K::Text, 12, 40, 201, 0, kSixtySeconds, C::Warning},
};

// ---- 105 / 1051: reader instruction for the transactions ----
constexpr Control k105[] = {
    {201, K::Text, 12, 8, 0, 0, kPleaseAt},
    {205, K::Text, 32, 8, 0, 0, kSecondGenReader, C::Emphasis},
    {206, K::Text, 104, 8, 0, 0, kOperate},
    {203, K::Text, 16, 19, 0, 0, kPress},
    {208, K::Text, 29, 19, 0, 0, kConfirm, C::Warning},
    {209, K::Text, 50, 19, 0, 0, u"鍵繼續進行交易 (多次)"},
    {kIdTxnInstruction, K::Text, 16, 29, 176, 0, kLongInstruction},
    {211, K::Text, 193, 29, 0, 0, kConfirm, C::Warning},
    {207, K::Text, 16, 39, 0, 0, kPress},
    {212, K::Text, 26, 39, 0, 0, kCancel, C::Warning},
    {213, K::Text, 46, 39, 0, 0, kToAbandon},
    {204, K::Text, 12, 52, 200, 0, kSixtySeconds, C::Warning},
};

// ---- 106: reader instruction with the transaction summary ----
constexpr Control k106[] = {
    {kIdHeader1, K::Text, 5, 4, 158, 8, u"Static"},
    {kIdHeader2, K::Text, 6, 4, 160, 9, u"Static"},
    {SummaryLabelId(0), K::Text, 5, 13, 34, 8, kOutAccount},
    {SummaryLabelId(1), K::Text, 5, 28, 34, 8, kInAccount},
    {SummaryLabelId(2), K::Text, 5, 41, 34, 8, kAmount},
    {SummaryLabelId(3), K::Text, 5, 54, 34, 8, kAmount},
    {SummaryValueId(0), K::SunkenText, 50, 13, 107, 10, kOutAccount},
    {SummaryValueId(1), K::Text, 50, 28, 107, 8, kOutAccount},
    {SummaryValueId(2), K::Text, 50, 41, 107, 8, kOutAccount},
    {SummaryValueId(3), K::Text, 50, 55, 107, 8, kOutAccount},
    {211, K::Text, 5, 75, 0, 0, kPleaseAt},
    {215, K::Text, 25, 75, 0, 0, kSecondGenReader, C::Emphasis},
    {216, K::Text, 96, 75, 0, 0, kOperate},
    {kIdSummaryInstruction, K::Text, 5, 85, 172, 0, kPadInstructionCut},
    {-1, K::Text, 5, 96, 0, 0, u"碼並按"},
    {217, K::Text, 38, 96, 0, 0, kConfirm, C::Warning},
    {213, K::Text, 62, 96, 0, 0, kPress},
    {218, K::Text, 72, 96, 0, 0, kCancel, C::Warning},
    {219, K::Text, 92, 96, 0, 0, kToAbandon},
    {214, K::Text, 6, 107, 192, 0, kSixtySeconds, C::Warning},
};

// ---- 201: keypad input ----
constexpr Control KeyI(int k, int16_t x, int16_t y) {
  return Control{kInputKeypad.firstKeyId + k, K::BitmapButton, x, y, 30, 21,
                 std::array<std::u16string_view, 10>{u"1", u"2", u"3", u"4", u"5", u"6", u"7",
                                                     u"8", u"9", u"10"}[k],
                 C::Default, false, static_cast<int16_t>(kInputKeypad.firstBitmap + k),
                 static_cast<int16_t>(kInputKeypad.firstHover + k)};
}
constexpr Control k201[] = {
    {-1, K::Text, 12, 7, 110, 9, u"請以滑鼠按動態鍵盤輸入資料"},
    {kIdInputEntry, K::Edit, 13, 20, 105, 12, u"", C::Default, true},
    KeyI(0, 15, 36), KeyI(1, 51, 37), KeyI(2, 88, 37),
    KeyI(3, 15, 64), KeyI(4, 51, 64), KeyI(5, 88, 64),
    KeyI(6, 15, 91), KeyI(7, 51, 91), KeyI(8, 88, 91),
    KeyI(9, 16, 119),
    {kInputKeypad.clearId, K::BitmapButton, 52, 119, 66, 21, u"clear", C::Default, false,
     kInputKeypad.clearBitmap, kInputKeypad.clearHover},
    {kIdOk, K::DefaultButton, 24, 145, 40, 18, u"確 認"},
    {kIdCancel, K::Button, 71, 145, 40, 18, kCancel},
};

// ---- 203 / 204: apply confirmation (three and two rows) ----
constexpr Control k203[] = {
    {kIdHeader1, K::Text, 5, 4, 158, 8, u"Static"},
    {kIdHeader2, K::Text, 6, 4, 160, 9, u"Static"},
    {SummaryLabelId(0), K::Text, 5, 13, 34, 8, kOutAccount},
    {SummaryLabelId(1), K::Text, 5, 28, 34, 8, kInAccount},
    {SummaryLabelId(2), K::Text, 5, 41, 34, 8, kAmount},
    {SummaryValueId(0), K::SunkenText, 50, 13, 107, 10, kOutAccount},
    {SummaryValueId(1), K::Text, 50, 28, 107, 8, kOutAccount},
    {SummaryValueId(2), K::Text, 50, 41, 107, 8, kOutAccount},
    {kIdOk, K::DefaultButton, 38, 60, 39, 17, kConfirm},
    {kIdCancel, K::Button, 85, 60, 39, 17, kCancel},
    {211, K::Text, 6, 88, 16, 9, kYouHave, C::Warning},
    {kIdCountdown, K::Text, 25, 88, 8, 9, u"45", C::Emphasis},
    {214, K::Text, 38, 88, 126, 9, kSecondsLeft, C::Warning},
    {212, K::Text, 6, 102, 168, 17, kReinsertWarning, C::Warning},
};
constexpr Control k204[] = {
    {kIdHeader1, K::Text, 5, 4, 158, 8, u"Static"},
    {kIdHeader2, K::Text, 6, 4, 160, 9, u"Static"},
    {SummaryLabelId(0), K::Text, 5, 13, 34, 8, kOutAccount},
    {SummaryLabelId(1), K::Text, 5, 28, 34, 8, kInAccount},
    {SummaryValueId(0), K::SunkenText, 50, 13, 107, 10, kOutAccount},
    {SummaryValueId(1), K::Text, 50, 28, 107, 8, kOutAccount},
    {kIdOk, K::DefaultButton, 38, 52, 39, 17, kConfirm},
    {kIdCancel, K::Button, 85, 52, 39, 17, kCancel},
    {211, K::Text, 6, 81, 16, 9, kYouHave, C::Warning},
    {kIdCountdown, K::Text, 25, 81, 8, 9, u"45", C::Emphasis},
    {214, K::Text, 38, 81, 126, 9, kSecondsLeft, C::Warning},
    {212, K::Text, 6, 95, 168, 17, kReinsertWarning, C::Warning},
};

// ---- 205..208: apply reader instruction. Rows at the top, the instruction block below. ----
#define QUILTA_APPLY_BLOCK(Y, LINE, LINEW)                                                     \
  {204, K::Text, 5, (Y), 0, 0, kPleaseAt},                                                     \
      {213, K::Text, 25, (Y), 0, 0, kSecondGenReader, C::Emphasis},                            \
      {214, K::Text, 96, (Y), 0, 0, kOperate},                                                 \
      {208, K::Text, 5, (Y) + 10, (LINEW), 0, (LINE)},                                         \
      {215, K::Text, 5 + (LINEW), (Y) + 10, 0, 0, kConfirm, C::Warning},                       \
      {211, K::Text, 5, (Y) + 21, 0, 0, kPress},                                               \
      {216, K::Text, 15, (Y) + 21, 0, 0, kCancel, C::Warning},                                 \
      {217, K::Text, 35, (Y) + 21, 0, 0, kToAbandon},                                          \
      {212, K::Text, 5, (Y) + 35, 192, 0, kSixtySeconds, C::Warning}

constexpr Control k205[] = {
    {kIdHeader1, K::Text, 5, 4, 158, 8, u"Static"},
    {kIdHeader2, K::Text, 6, 4, 160, 9, u"Static"},
    {SummaryLabelId(0), K::Text, 5, 20, 34, 8, kOutAccount},
    {SummaryLabelId(1), K::Text, 5, 35, 34, 8, kInAccount},
    {SummaryValueId(0), K::SunkenText, 50, 20, 107, 10, kOutAccount},
    {SummaryValueId(1), K::Text, 50, 35, 107, 8, kOutAccount},
    QUILTA_APPLY_BLOCK(50, kShortInstruction, 114),
};
constexpr Control k206[] = {
    {kIdHeader1, K::Text, 5, 4, 158, 8, u"Static"},
    {kIdHeader2, K::Text, 6, 4, 160, 9, u"Static"},
    {SummaryLabelId(0), K::Text, 5, 16, 34, 8, kOutAccount},
    {SummaryLabelId(1), K::Text, 5, 31, 34, 8, kInAccount},
    {SummaryLabelId(2), K::Text, 5, 44, 34, 8, kAmount},
    {SummaryValueId(0), K::SunkenText, 50, 16, 107, 10, kOutAccount},
    {SummaryValueId(1), K::Text, 50, 31, 107, 8, kOutAccount},
    {SummaryValueId(2), K::Text, 50, 44, 107, 8, kOutAccount},
    QUILTA_APPLY_BLOCK(60, kShortInstruction, 114),
};
constexpr Control k207[] = {
    {kIdHeader1, K::Text, 5, 4, 158, 8, u"Static"},
    {kIdHeader2, K::Text, 6, 4, 160, 9, u"Static"},
    {SummaryLabelId(0), K::Text, 5, 17, 34, 8, kOutAccount},
    {SummaryLabelId(1), K::Text, 5, 32, 34, 8, kInAccount},
    {SummaryLabelId(2), K::Text, 5, 45, 34, 8, kAmount},
    {SummaryValueId(0), K::SunkenText, 50, 17, 107, 10, kOutAccount},
    {SummaryValueId(1), K::Text, 50, 32, 107, 8, kOutAccount},
    {SummaryValueId(2), K::Text, 50, 45, 107, 8, kOutAccount},
    QUILTA_APPLY_BLOCK(60, kLongInstruction, 184),
};
constexpr Control k208[] = {
    {kIdHeader1, K::Text, 5, 4, 158, 8, u"Static"},
    {kIdHeader2, K::Text, 6, 4, 160, 9, u"Static"},
    {SummaryLabelId(0), K::Text, 5, 17, 34, 8, kOutAccount},
    {SummaryLabelId(1), K::Text, 5, 32, 34, 8, kInAccount},
    {SummaryValueId(0), K::SunkenText, 50, 17, 107, 10, kOutAccount},
    {SummaryValueId(1), K::Text, 50, 32, 107, 8, kOutAccount},
    QUILTA_APPLY_BLOCK(47, kLongInstruction, 184),
};
#undef QUILTA_APPLY_BLOCK

// number, width, height, caption, font, points, close box, centre over owner, controls
constexpr DialogTemplate kTemplates[] = {
    {103, 218, 56, u"", kKai, 14, false, false, k103},
    {104, 260, 199, kBankCaption, kKai, 14, false, true, k104},
    {105, 220, 75, u"Dialog", kKai, 14, true, false, k105},
    {106, 202, 120, kBankCaption, kKai, 14, false, false, k106},
    {201, 134, 170, u"輸入資料", u"System", 10, true, true, k201},
    {203, 175, 125, kBankCaption, kKai, 14, false, false, k203},
    {204, 176, 116, kBankCaption, kKai, 14, false, false, k204},
    {205, 204, 100, kBankCaption, kKai, 14, false, false, k205},
    {206, 204, 113, kBankCaption, kKai, 14, false, false, k206},
    {207, 220, 111, kBankCaption, kKai, 14, false, false, k207},
    {208, 220, 96, kBankCaption, kKai, 14, false, false, k208},
    {904, 174, 131, kBankCaption, kKai, 14, false, false, k904},
    {1051, 220, 75, u"Dialog", kKai, 16, true, false, k105},
    {9041, 174, 131, kBankCaption, kKai, 16, false, false, k904},
};

// Every kind and colour a template uses can go to the dialog helper (its wire protocol
// accepts the kinds up to kLastControlKind and the colours up to kLastTextColour).
constexpr bool AllOnTheWire() {
  for (const DialogTemplate& t : kTemplates)
    for (const Control& c : t.controls)
      if (c.kind > kLastControlKind || c.colour > kLastTextColour) return false;
  return true;
}
static_assert(AllOnTheWire());

}  // namespace

std::span<const DialogTemplate> AllTemplates() { return kTemplates; }

const DialogTemplate* FindTemplate(int32_t number) {
  for (const DialogTemplate& t : kTemplates)
    if (t.number == number) return &t;
  return nullptr;
}

const Control* FindControl(const DialogTemplate& tmpl, int32_t id) {
  if (id == -1) return nullptr;
  auto it = std::find_if(tmpl.controls.begin(), tmpl.controls.end(),
                         [id](const Control& c) { return c.id == id; });
  return it == tmpl.controls.end() ? nullptr : &*it;
}

}  // namespace quilta::ui
