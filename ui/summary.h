// The transaction summary that the confirmation dialogs, the summary reader dialog (106) and
// the apply dialogs show above their own controls: up to four rows of label and value, and two
// header lines drawn at the same place.
#pragma once

#include <array>
#include <optional>

#include "base/text.h"
#include "ui/control_ids.h"

namespace quilta::ui {

using OptText = std::optional<Text>;

struct Summary {
  std::array<OptText, kSummaryRows> label;  // controls 201..204
  std::array<OptText, kSummaryRows> value;  // controls 205..208
  OptText header1, header2;                 // controls 209, 210

  // Calls show(id, text) for the first `rows` rows and both headers; an absent text is shown
  // empty.
  template <typename Show>
  void ShowRows(int rows, Show&& show) const {
    for (int i = 0; i < rows; ++i) {
      show(SummaryLabelId(i), label[i].value_or(Text()));
      show(SummaryValueId(i), value[i].value_or(Text()));
    }
    show(kIdHeader1, header1.value_or(Text()));
    show(kIdHeader2, header2.value_or(Text()));
  }
};

}  // namespace quilta::ui
