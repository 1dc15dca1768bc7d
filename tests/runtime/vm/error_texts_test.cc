#include <gtest/gtest.h>

#include <set>

#include "runtime/vm/errors.h"

namespace zv {
namespace {

TEST(ErrorTexts, MapsCodesToTheirMessageNumbers) {
  struct Case {
    int32_t code, number;
  } cases[] = {{0, 1},      {2, 3},       {21, 5},      {101, 6},     {115, 20},   {300, 21},
               {1014, 173}, {3008, 177},  {7009, 108},  {7010, 107},  {7021, 100}, {7027, 106},
               {7011, 109}, {5101, 194},  {8501, 204},  {8518, 221},  {10007, 167}};
  for (auto c : cases) EXPECT_EQ(ErrorMessageNumber(c.code), c.number) << c.code;
}

TEST(ErrorTexts, EveryMappedCodeHasItsOwnRealText) {
  std::set<int32_t> numbers;
  int mapped = 0;
  for (int32_t code = -5; code <= 10020; ++code) {
    int32_t number = ErrorMessageNumber(code);
    if (number < 0) continue;
    ++mapped;
    EXPECT_TRUE(numbers.insert(number).second) << "message " << number << " used twice";
    std::string text = GetErrorText(code);
    EXPECT_FALSE(text.empty()) << code;
    EXPECT_EQ(text.find("ERROR"), std::string::npos) << code;
  }
  EXPECT_EQ(mapped, 230 - 11);  // 11 of the numbers 1-230 belong to no code
}

TEST(ErrorTexts, UnmappedCodesHaveNoText) {
  for (int32_t code : {-1, 1, 4, 116, 10012, 99999}) EXPECT_EQ(GetErrorText(code), "") << code;
  EXPECT_EQ(GetErrorText(10010), "Severe Exception!");
  EXPECT_EQ(GetErrorText(10008), "Language not found");
}

}  // namespace
}  // namespace zv
