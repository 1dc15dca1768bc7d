#pragma once

#include <cstdint>
#include <ctime>
#include <string>

// How the language writes numbers as text. These are our own, not the C
// library's printf: the results must not depend on the locale, and the
// exponent of the general float form always has at least three digits
// ("1e+006"), as programs written for this system expect.
namespace zv {

// "%d": signed decimal.
std::string FormatInt(int32_t value);
// "%X": the 32-bit word in upper-case hexadecimal, no leading zeros.
std::string FormatHex(uint32_t value);
// "%g": six significant digits, trailing zeros and a trailing point removed;
// exponent form ("1.5e+010", "1e-005") when the decimal exponent is below -4
// or at least 6. Infinities are "inf" and "-inf", a NaN is "nan".
std::string FormatFloat(double value);

// "MM/DD/YY" (the year modulo 100) and "HH:MM:SS" (24-hour clock).
std::string FormatDate(const std::tm& when);
std::string FormatTime(const std::tm& when);

}  // namespace zv
