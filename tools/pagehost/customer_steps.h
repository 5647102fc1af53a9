// The `customer` statement of page scripts: what the scripted customer does in the next
// dialogs, steps separated by ';':
//   ok | cancel | esc | close | press ID | keys DIGITS FIRST-KEY-ID | wait TICKS | pull | insert
#pragma once

#include <string>
#include <vector>

#include "testsupport/scripted_customer.h"

namespace quilta::pagehost {

// Queues the steps of words[1..] on `customer`; false with *error set for an unknown or
// malformed step (the steps before it stay queued).
bool QueueCustomerSteps(ui::ScriptedCustomer& customer, const std::vector<std::string>& words,
                        std::string* error);

}  // namespace quilta::pagehost
