// The texts the confirmation and instruction dialogs show for a transaction: accounts as
// "bank/account", the server's date and time with the full or the national year, and the
// amount with thousands separators. Pure functions of the page's inputs.
#pragma once

#include <cstdint>

#include "base/text.h"

namespace quilta::txn {

// The first three characters of `bankNo` (fewer when it is shorter), "/", `accountNo`:
// "008/0081234500012345".
Text AccountText(const Text& bankNo, const Text& accountNo);

// ServerDateTime (YYYYMMDDhhmmss) as "YYYY/MM/DD hh:mm:ss". With `nationalYear` the year is
// YYYY - 1911 written with all its digits: 20180104093000 gives "107/01/04 09:30:00". The
// year is read as the decimal value of its leading digits (a year without digits reads as 0).
// A text shorter than 14 characters gives the parts it has (callers check the width first).
Text DateText(const Text& serverDateTime, bool nationalYear);

// The amount in decimal with "," between every group of three digits counted from the
// right: 1234567 gives "1,234,567", 500 gives "500".
Text AmountText(int64_t amount);

}  // namespace quilta::txn
