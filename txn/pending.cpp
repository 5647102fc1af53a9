// Transaction methods not built yet answer 5003 ("Illegal Access Component.") and send
// nothing to the card.
#include "core/atm_core.h"

namespace quilta {
int32_t CAtmCore::DoApplyTAC(const std::optional<Text>&) { return Map(status::kIllegalAccess); }
}  // namespace quilta
