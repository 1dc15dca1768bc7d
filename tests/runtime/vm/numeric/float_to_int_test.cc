#include "runtime/vm/numeric/float_to_int.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace zv {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

TEST(FloatToInt, TruncatesTowardZeroAndKeepsTheLow32BitsOf64) {
  struct Case {
    double in;
    int32_t out;
  } cases[] = {
      {-2.7, -2},
      {3.99, 3},
      {-0.5, 0},
      {2147483647.0, 2147483647},
      {2147483648.0, INT32_MIN},  // fits 64 bits: the low half wraps
      {4294967296.0 + 5, 5},
      {-2147483649.0, 2147483647},
      {std::ldexp(1.0, 63), 0},     // 2^63 does not fit 64 bits
      {-std::ldexp(1.0, 63), 0},    // -2^63 fits: its low half is 0
      {std::ldexp(1.0, 63) - 1024, -1024},
      {1e300, 0},
      {kInf, 0},
      {-kInf, 0},
      {kNaN, 0},
  };
  for (const Case& c : cases) EXPECT_EQ(FloatToInt(c.in), c.out) << c.in;
}

TEST(FloatToInt, ProcessorConversionsGiveTheIndefiniteValueOutOfRange) {
  EXPECT_EQ(TruncateToInt32(-2147483648.9), INT32_MIN);
  EXPECT_EQ(TruncateToInt32(2147483647.9), INT32_MAX);
  EXPECT_EQ(TruncateToInt32(2147483648.0), INT32_MIN);
  EXPECT_EQ(TruncateToInt32(kNaN), INT32_MIN);
  EXPECT_EQ(TruncateToInt32(-kInf), INT32_MIN);
  EXPECT_EQ(TruncateToInt64(-std::ldexp(1.0, 63)), INT64_MIN);
  EXPECT_EQ(TruncateToInt64(std::ldexp(1.0, 63)), INT64_MIN);
  EXPECT_EQ(TruncateToInt64(std::ldexp(1.0, 63) - 1024), 9223372036854774784);
  EXPECT_EQ(TruncateToInt64(-1e300), INT64_MIN);
  EXPECT_EQ(TruncateToInt64(kNaN), INT64_MIN);
}

}  // namespace
}  // namespace zv
