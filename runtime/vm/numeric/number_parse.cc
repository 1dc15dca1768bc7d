#include "runtime/vm/numeric/number_parse.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <string>

namespace zv {
namespace {

bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Moves past white space and a sign; true for a minus.
bool SkipSpaceAndSign(std::string_view text, size_t& at) {
  while (at < text.size() && IsSpace(text[at])) ++at;
  if (at < text.size() && (text[at] == '+' || text[at] == '-')) return text[at++] == '-';
  return false;
}

size_t SkipDigits(std::string_view text, size_t at) {
  while (at < text.size() && IsDigit(text[at])) ++at;
  return at;
}

// The decimal exponent of the first significant digit of a number whose
// integer digits are `integer`, fraction digits `fraction` and explicit
// exponent `exponent`: tells an overflow from an underflow.
int64_t LeadingExponent(std::string_view integer, std::string_view fraction, int64_t exponent) {
  size_t first = integer.find_first_not_of('0');
  if (first != std::string_view::npos)
    return static_cast<int64_t>(integer.size() - first) - 1 + exponent;
  size_t zeros = fraction.find_first_not_of('0');
  if (zeros == std::string_view::npos) return std::numeric_limits<int64_t>::min();  // zero
  return -static_cast<int64_t>(zeros) - 1 + exponent;
}

}  // namespace

double ParseLeadingFloat(std::string_view text) {
  size_t at = 0;
  bool negative = SkipSpaceAndSign(text, at);
  const size_t start = at;
  const size_t integer_end = SkipDigits(text, start);
  size_t fraction_end = integer_end;
  if (integer_end < text.size() && text[integer_end] == '.')
    fraction_end = SkipDigits(text, integer_end + 1);
  std::string_view integer = text.substr(start, integer_end - start);
  std::string_view fraction =
      fraction_end > integer_end ? text.substr(integer_end + 1, fraction_end - integer_end - 1)
                                 : std::string_view();
  if (integer.empty() && fraction.empty()) return 0.0;

  size_t end = fraction_end;
  int64_t exponent = 0;
  if (end < text.size() && (text[end] == 'e' || text[end] == 'E')) {
    size_t e = end + 1;
    bool exponent_negative = false;
    if (e < text.size() && (text[e] == '+' || text[e] == '-')) exponent_negative = text[e++] == '-';
    size_t exponent_end = SkipDigits(text, e);
    if (exponent_end > e) {
      for (size_t k = e; k < exponent_end; ++k)
        exponent = std::min<int64_t>(exponent * 10 + (text[k] - '0'), 1'000'000);
      if (exponent_negative) exponent = -exponent;
      end = exponent_end;
    }
  }

  std::string number(text.substr(start, end - start));
  double value = 0.0;
  auto result = std::from_chars(number.data(), number.data() + number.size(), value);
  if (result.ec == std::errc::result_out_of_range)
    value = LeadingExponent(integer, fraction, exponent) > 0 ? std::numeric_limits<double>::infinity()
                                                             : 0.0;
  return negative ? -value : value;
}

int32_t ParseLeadingInt(std::string_view text) {
  size_t at = 0;
  bool negative = SkipSpaceAndSign(text, at);
  int64_t value = 0;
  const int64_t limit = negative ? -int64_t{INT32_MIN} : INT32_MAX;
  for (; at < text.size() && IsDigit(text[at]); ++at) {
    value = value * 10 + (text[at] - '0');
    if (value > limit) value = limit;  // saturates, and keeps the product small
  }
  return static_cast<int32_t>(negative ? -value : value);
}

}  // namespace zv
