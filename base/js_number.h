// Numbers that pages pass where a text is expected are taken as the text JavaScript itself
// would print for them (String(x)), so a page sees no difference between passing 0.000001
// and "0.000001".
#pragma once

#include <optional>
#include <string>

namespace quilta {

// x as JavaScript's Number-to-String writes it: the shortest digits that read back as x,
// laid out as a plain number when the decimal exponent allows it ("123", "0.000001",
// "100000000000000000000") and otherwise in exponent form ("1e-7", "1.5e+21", "1.23e-18").
// -0 gives "0". NaN and the infinities have no decimal text: nullopt.
std::optional<std::string> JsNumberToString(double x);

}  // namespace quilta
