#pragma once

#include <cstdint>
#include <string_view>

// Reading the number at the start of a text, as the language's conversion
// functions do: leading white space is skipped, an optional sign and the
// longest run that forms a number are taken, the rest is ignored, and a text
// that does not start with a number gives 0. Neither depends on the locale.
namespace zv {

// Digits with an optional decimal point and an optional exponent ("e" or
// "E", optional sign, digits). Past the double range: an infinity or 0.
double ParseLeadingFloat(std::string_view text);
// Decimal digits only; values past the int range give INT32_MAX or INT32_MIN.
int32_t ParseLeadingInt(std::string_view text);

}  // namespace zv
