// Transaction methods not built yet answer 5003 ("Illegal Access Component.") and send
// nothing to the card.
#include "core/atm_core.h"

namespace quilta {
int32_t CAtmCore::DoLoginTAC() { return Map(status::kIllegalAccess); }
int32_t CAtmCore::DoInquiryTAC(const std::optional<Text>&) { return Map(status::kIllegalAccess); }
int32_t CAtmCore::DoAccessibleInquiryTAC(const std::optional<Text>&) { return Map(status::kIllegalAccess); }
int32_t CAtmCore::DoTransferTAC(const std::optional<Text>&) { return Map(status::kIllegalAccess); }
int32_t CAtmCore::DoAccessibleTransferTAC(const std::optional<Text>&) { return Map(status::kIllegalAccess); }
int32_t CAtmCore::DoNBTransferTAC(const std::optional<Text>&) { return Map(status::kIllegalAccess); }
int32_t CAtmCore::DoPayTaxTAC(const std::optional<Text>&) { return Map(status::kIllegalAccess); }
int32_t CAtmCore::DoPayFeeTAC(const std::optional<Text>&) { return Map(status::kIllegalAccess); }
int32_t CAtmCore::DoPayMoneyTAC(const std::optional<Text>&) { return Map(status::kIllegalAccess); }
int32_t CAtmCore::ReadTACLog() { return Map(status::kIllegalAccess); }
int32_t CAtmCore::GetAtmCode(const Text&, const Text&, const Text&) { return Map(status::kIllegalAccess); }
int32_t CAtmCore::DoApplyTAC(const std::optional<Text>&) { return Map(status::kIllegalAccess); }
int32_t CAtmCore::DoInput() { return Map(status::kIllegalAccess); }
}  // namespace quilta
