// Card-engine methods not built yet answer 5003 ("Illegal Access Component.").
#include "core/atm_core.h"

namespace quilta {
int32_t CAtmCore::ConnectDriver() { return Map(status::kIllegalAccess); }
int32_t CAtmCore::DisconnectDriver() { return Map(status::kIllegalAccess); }
int32_t CAtmCore::ListReadersName() { return Map(status::kIllegalAccess); }
int32_t CAtmCore::CheckCardInsert() { return Map(status::kIllegalAccess); }
int32_t CAtmCore::ConnectCard() { return Map(status::kIllegalAccess); }
int32_t CAtmCore::DisconnectCard() { return Map(status::kIllegalAccess); }
int32_t CAtmCore::CheckCardChange() { return Map(status::kIllegalAccess); }
int32_t CAtmCore::ReadBasicData() { return Map(status::kIllegalAccess); }
int32_t CAtmCore::ReadAuthInAcctNo() { return Map(status::kIllegalAccess); }
int32_t CAtmCore::SetReaderType(const Text&) { return Map(status::kIllegalAccess); }
int32_t CAtmCore::VerifyPIN(const Text&) { return Map(status::kIllegalAccess); }
int32_t CAtmCore::ChangePIN(const Text&, const Text&) { return Map(status::kIllegalAccess); }
int32_t CAtmCore::CardExchange(const CommandFields&) { return Map(status::kIllegalAccess); }
int32_t CAtmCore::CardExchange(std::string_view, std::string_view, std::string_view,
                               std::string_view, std::optional<std::string_view>,
                               std::string_view, std::optional<std::string_view>) {
  return Map(status::kIllegalAccess);
}
}  // namespace quilta
