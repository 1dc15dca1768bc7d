#include "runtime/vm/numeric/number_format.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace zv {
namespace {

TEST(NumberFormat, GeneralFloatFormMatchesTheThreeDigitExponentForm) {
  struct Case {
    double in;
    const char* out;
  } cases[] = {
      {0.0, "0"},
      {-0.0, "-0"},
      {0.5, "0.5"},
      {100.0, "100"},
      {1.5, "1.5"},
      {-2.25, "-2.25"},
      {123456.0, "123456"},
      {999999.4, "999999"},
      {999999.5, "1e+006"},  // rounding carries into the exponent form
      {1000000.0, "1e+006"},
      {1234567.0, "1.23457e+006"},
      {0.0001, "0.0001"},
      {0.00001, "1e-005"},
      {0.000123456789, "0.000123457"},
      {3.4028234663852886e38, "3.40282e+038"},
      {1e300, "1e+300"},
      {1.401298464324817e-45, "1.4013e-045"},
      {static_cast<double>(0.1f), "0.1"},
      {static_cast<double>(16777217.0f), "1.67772e+007"},
      {std::numeric_limits<double>::infinity(), "inf"},
      {-std::numeric_limits<double>::infinity(), "-inf"},
      {std::nan(""), "nan"},
  };
  for (const Case& c : cases) EXPECT_EQ(FormatFloat(c.in), c.out) << c.in;
}

TEST(NumberFormat, IntegersInDecimalAndHex) {
  EXPECT_EQ(FormatInt(0), "0");
  EXPECT_EQ(FormatInt(INT32_MIN), "-2147483648");
  EXPECT_EQ(FormatHex(0), "0");
  EXPECT_EQ(FormatHex(255), "FF");
  EXPECT_EQ(FormatHex(0xFFFFFFFFu), "FFFFFFFF");
  EXPECT_EQ(FormatHex(0x80000000u), "80000000");
}

TEST(NumberFormat, DateAndTimeUseTwoDigitFields) {
  std::tm when{};
  when.tm_year = 2005 - 1900;
  when.tm_mon = 2;
  when.tm_mday = 7;
  when.tm_hour = 9;
  when.tm_min = 5;
  when.tm_sec = 3;
  EXPECT_EQ(FormatDate(when), "03/07/05");
  EXPECT_EQ(FormatTime(when), "09:05:03");
  when.tm_year = 1999 - 1900;
  EXPECT_EQ(FormatDate(when), "03/07/99");
}

}  // namespace
}  // namespace zv
