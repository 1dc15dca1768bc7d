#include "runtime/vm/numeric/number_parse.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace zv {
namespace {

TEST(NumberParse, FloatTakesTheLongestNumberAtTheStart) {
  struct Case {
    const char* in;
    double out;
  } cases[] = {
      {"1.5e2x", 150.0},
      {"  -3.25", -3.25},
      {"+7", 7.0},
      {".5", 0.5},
      {"5.", 5.0},
      {"1e", 1.0},      // an exponent without digits is not part of the number
      {"2E-1", 0.2},
      {"1e+", 1.0},
      {"abc", 0.0},
      {"", 0.0},
      {".", 0.0},
      {"-", 0.0},
      {"\t\n12", 12.0},
      {"0x10", 0.0},    // no hexadecimal
      {"inf", 0.0},     // no named values
      {"nan", 0.0},
      {"1,5", 1.0},     // the point is the decimal separator whatever the locale
  };
  for (const Case& c : cases) EXPECT_EQ(ParseLeadingFloat(c.in), c.out) << c.in;
}

TEST(NumberParse, FloatPastTheDoubleRangeGivesInfinityOrZero) {
  EXPECT_EQ(ParseLeadingFloat("1e999"), INFINITY);
  EXPECT_EQ(ParseLeadingFloat("-1e999"), -INFINITY);
  EXPECT_EQ(ParseLeadingFloat("1e-999"), 0.0);
  EXPECT_EQ(ParseLeadingFloat("1" + std::string(400, '0')), INFINITY);
  EXPECT_EQ(ParseLeadingFloat("0." + std::string(400, '0') + "1"), 0.0);
  EXPECT_EQ(ParseLeadingFloat("1e99999999999999999999"), INFINITY);
  EXPECT_EQ(ParseLeadingFloat(std::string(400, '0') + "1e-5"), 1e-5);
}

TEST(NumberParse, IntTakesDecimalDigitsAndSaturates) {
  struct Case {
    const char* in;
    int32_t out;
  } cases[] = {
      {"  12abc", 12},
      {"abc", 0},
      {"-42", -42},
      {"+42", 42},
      {"3.9", 3},
      {"1e5", 1},
      {"2147483647", 2147483647},
      {"2147483648", 2147483647},
      {"-2147483648", INT32_MIN},
      {"-99999999999999999999", INT32_MIN},
      {"- 5", 0},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseLeadingInt(c.in), c.out) << c.in;
}

}  // namespace
}  // namespace zv
