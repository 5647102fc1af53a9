#include "base/js_number.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace quilta {
namespace {

// What String(x) gives in JavaScript.
TEST(JsNumberToString, WritesNumbersAsJavaScriptDoes) {
  const struct {
    double x;
    const char* text;
  } cases[] = {
      {0.0, "0"},
      {-0.0, "0"},
      {1, "1"},
      {-1, "-1"},
      {100, "100"},
      {1234.5678, "1234.5678"},
      {-0.5, "-0.5"},
      {0.1 + 0.2, "0.30000000000000004"},
      {0.000001, "0.000001"},
      {0.000001234, "0.000001234"},
      {1e-7, "1e-7"},
      {-1.5e-7, "-1.5e-7"},
      {123e-20, "1.23e-18"},
      {9007199254740992.0, "9007199254740992"},
      {1e20, "100000000000000000000"},
      {123456789012345680000.0, "123456789012345680000"},
      {1e21, "1e+21"},
      {1.5e21, "1.5e+21"},
      {5e-324, "5e-324"},
      {std::numeric_limits<double>::max(), "1.7976931348623157e+308"},
  };
  for (const auto& c : cases) EXPECT_EQ(JsNumberToString(c.x), c.text) << c.text;
  EXPECT_EQ(JsNumberToString(std::nan("")), std::nullopt);
  EXPECT_EQ(JsNumberToString(-std::numeric_limits<double>::infinity()), std::nullopt);
}

}  // namespace
}  // namespace quilta
