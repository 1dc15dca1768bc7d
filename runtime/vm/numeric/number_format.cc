#include "runtime/vm/numeric/number_format.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace zv {
namespace {

constexpr int kSignificantDigits = 6;
constexpr int kMinExponentDigits = 3;

// The value rounded to six significant digits: the digits (exactly six) and
// the decimal exponent of the first one.
struct Rounded {
  std::string digits;
  int exponent = 0;
};

Rounded RoundToSignificant(double magnitude) {
  char buffer[64];
  // Scientific form with five digits after the point: "d.ddddde[+-]x".
  auto result = std::to_chars(buffer, buffer + sizeof buffer, magnitude,
                              std::chars_format::scientific, kSignificantDigits - 1);
  std::string_view text(buffer, static_cast<size_t>(result.ptr - buffer));
  Rounded out;
  size_t e = text.find('e');
  for (char c : text.substr(0, e))
    if (c != '.') out.digits += c;
  std::string_view exponent = text.substr(e + 1);
  if (!exponent.empty() && exponent.front() == '+') exponent.remove_prefix(1);
  std::from_chars(exponent.data(), exponent.data() + exponent.size(), out.exponent);
  return out;
}

void TrimTrailingZeros(std::string& digits) {
  while (!digits.empty() && digits.back() == '0') digits.pop_back();
}

}  // namespace

std::string FormatInt(int32_t value) {
  char buffer[16];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

std::string FormatHex(uint32_t value) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out;
  do {
    out.insert(out.begin(), kDigits[value & 15]);
    value >>= 4;
  } while (value != 0);
  return out;
}

std::string FormatFloat(double value) {
  if (std::isnan(value)) return "nan";
  std::string out = std::signbit(value) ? "-" : "";
  double magnitude = std::fabs(value);
  if (std::isinf(magnitude)) return out + "inf";
  if (magnitude == 0) return out + "0";

  Rounded r = RoundToSignificant(magnitude);
  if (r.exponent < -4 || r.exponent >= kSignificantDigits) {
    std::string fraction = r.digits.substr(1);
    TrimTrailingZeros(fraction);
    out += r.digits[0];
    if (!fraction.empty()) out += "." + fraction;
    out += r.exponent < 0 ? "e-" : "e+";
    std::string exponent = std::to_string(std::abs(r.exponent));
    if (exponent.size() < kMinExponentDigits)
      exponent.insert(0, kMinExponentDigits - exponent.size(), '0');
    return out + exponent;
  }
  if (r.exponent < 0) {
    std::string fraction = std::string(static_cast<size_t>(-r.exponent - 1), '0') + r.digits;
    TrimTrailingZeros(fraction);
    return out + "0." + fraction;
  }
  size_t integer_digits = static_cast<size_t>(r.exponent) + 1;
  std::string fraction = r.digits.substr(integer_digits);
  TrimTrailingZeros(fraction);
  out += r.digits.substr(0, integer_digits);
  if (!fraction.empty()) out += "." + fraction;
  return out;
}

std::string FormatDate(const std::tm& when) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%02d/%02d/%02d", when.tm_mon + 1, when.tm_mday,
                (when.tm_year + 1900) % 100);
  return buffer;
}

std::string FormatTime(const std::tm& when) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d", when.tm_hour, when.tm_min, when.tm_sec);
  return buffer;
}

}  // namespace zv
