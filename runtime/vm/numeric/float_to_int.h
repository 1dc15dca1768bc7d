#pragma once

#include <cstdint>

// Float-to-integer conversions as the x86 truncating conversions perform
// them, written so that no input (NaN, infinities, values past the integer
// range) reaches a conversion whose result C++ leaves undefined. Every place
// that turns a program's float into an integer goes through these.
namespace zv {

// The processor's 64-bit truncating conversion: toward zero; NaN and values
// outside the 64-bit range give the "integer indefinite" INT64_MIN.
inline int64_t TruncateToInt64(double value) {
  // -2^63 is exact in a double; every double below 2^63 truncates into range.
  if (value >= -9223372036854775808.0 && value < 9223372036854775808.0)
    return static_cast<int64_t>(value);
  return INT64_MIN;
}

// The processor's 32-bit truncating conversion: toward zero; NaN and values
// outside the 32-bit range give INT32_MIN.
inline int32_t TruncateToInt32(double value) {
  if (value > -2147483649.0 && value < 2147483648.0) return static_cast<int32_t>(value);
  return INT32_MIN;
}

// The language's float-to-integer rule: truncate toward zero to 64 bits and
// keep the low 32. A value that does not fit 64 bits, an infinity or a NaN
// gives 0 (the low half of INT64_MIN).
inline int32_t FloatToInt(double value) {
  uint64_t bits = static_cast<uint64_t>(TruncateToInt64(value));
  return static_cast<int32_t>(static_cast<uint32_t>(bits));
}

}  // namespace zv
