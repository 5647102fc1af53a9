#include <gtest/gtest.h>

#include <set>

#include "ui/dialog_template.h"

namespace quilta::ui {
namespace {

TEST(Templates, EveryDialogHasItsTemplateAndNoOther) {
  std::set<int32_t> numbers;
  for (const DialogTemplate& t : AllTemplates()) {
    numbers.insert(t.number);
    EXPECT_EQ(FindTemplate(t.number), &t);
    std::set<int32_t> ids;
    for (const Control& c : t.controls)
      if (c.id != -1) {
        EXPECT_TRUE(ids.insert(c.id).second) << t.number << " id " << c.id;
      }
  }
  EXPECT_EQ(numbers, (std::set<int32_t>{103, 104, 105, 1051, 106, 201, 203, 204, 205, 206, 207,
                                        208, 904, 9041}));
  EXPECT_EQ(FindTemplate(102), nullptr);
}

TEST(Templates, FontsCaptionsCloseBoxesAndTexts) {
  EXPECT_EQ(FindTemplate(904)->caption, u"Tovak銀行  網路ATM");
  EXPECT_EQ(FindTemplate(9041)->fontPoints, 16);
  EXPECT_EQ(FindTemplate(201)->fontFace, u"System");
  for (const DialogTemplate& t : AllTemplates())
    EXPECT_EQ(t.closeBox, t.number == 105 || t.number == 1051 || t.number == 201) << t.number;
  EXPECT_EQ(FindTemplate(1051)->controls.data(), FindTemplate(105)->controls.data());
  EXPECT_EQ(FindControl(*FindTemplate(904), 212)->text,
            u"為確保您的交易安全，您需要將您的晶片卡抽出後重新插入，才能按確認繼續進行交易！ ");
  EXPECT_EQ(FindControl(*FindTemplate(201), 1)->text, u"確 認");
}

TEST(Templates, ColourLists) {
  auto colours = [](int32_t number) {
    std::set<int32_t> red, blue;
    for (const Control& c : FindTemplate(number)->controls) {
      if (c.colour == TextColour::Warning) red.insert(c.id);
      if (c.colour == TextColour::Emphasis) blue.insert(c.id);
    }
    return std::make_pair(red, blue);
  };
  for (int32_t n : {904, 104, 203, 204})
    EXPECT_EQ(colours(n), std::make_pair(std::set<int32_t>{211, 212, 214}, std::set<int32_t>{213}));
  for (int32_t n : {205, 206, 207, 208})
    EXPECT_EQ(colours(n), std::make_pair(std::set<int32_t>{212, 215, 216}, std::set<int32_t>{213}));
  EXPECT_EQ(colours(103), std::make_pair(std::set<int32_t>{204, 207, 208}, std::set<int32_t>{205}));
  EXPECT_EQ(colours(106),
            std::make_pair(std::set<int32_t>{214, 217, 218}, std::set<int32_t>{215}));
  EXPECT_EQ(colours(201).first.size() + colours(201).second.size(), 0u);
}

TEST(Templates, KeypadKeysAreFixed) {
  for (const auto& [number, pad] :
       {std::make_pair(201, kInputKeypad), std::make_pair(104, kTransferKeypad)}) {
    const DialogTemplate& t = *FindTemplate(number);
    for (int k = 0; k < 10; ++k) {
      const Control* key = FindControl(t, pad.firstKeyId + k);
      ASSERT_NE(key, nullptr);
      EXPECT_EQ(key->kind, ControlKind::BitmapButton);
      EXPECT_EQ(key->bitmap, pad.firstBitmap + k);
      EXPECT_EQ(key->hoverBitmap, pad.firstHover + k);
    }
    const Control* clear = FindControl(t, pad.clearId);
    EXPECT_EQ(clear->bitmap, pad.clearBitmap);
    EXPECT_EQ(clear->hoverBitmap, pad.clearHover);
  }
  // Key 0 of the transfer keypad is the leftmost, key 9 the rightmost.
  EXPECT_EQ(FindControl(*FindTemplate(104), 217)->x, 56);
  EXPECT_EQ(FindControl(*FindTemplate(104), 226)->x, 56 + 13 * 9);
  EXPECT_TRUE(FindControl(*FindTemplate(104), 216)->disabled);
}

}  // namespace
}  // namespace quilta::ui
