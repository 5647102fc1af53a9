// The insurance-policy loan transfer: a core operation that no page can call. Its member-table
// row (DoPolicyLoanTransferTAC) is VtableOnly: only the ActiveX control's typed interface
// reaches it, through the script layer like every method.
//
// It is the transfer with two more inputs and its own order: the checks come first (those
// of DoTransferTAC without the card-account check, then AccountName and Kind, each with its
// row's rule: not empty), then ReadBasicData, then the card-account check only when Kind is
// "2" (5038), then UnwrapSessionKey. The block is the transfer's (80 bytes, Lc "50"). The
// dialogs are titled "保單借款確認" when Kind is "1" and "保單還款確認" otherwise; on reader
// type 1 the summary dialog (CTransferDlg, rows as the transfer's) is shown once, not in a
// loop: an outcome that would show it again ends with 5021. Reader types 2 and 3 use the
// transfer's instruction dialogs. Results as every TAC transaction.
#pragma once

#include <cstdint>
#include <optional>

#include "core/atm_core.h"

namespace quilta::txn {

int32_t DoPolicyLoanTAC(CAtmCore& core, const std::optional<Text>& pin);

}  // namespace quilta::txn
