#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zv::platform {

// A template or object identity as X files carry it: in text as
// "xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx" between angle brackets, in binary as
// a little-endian 32-bit word, two 16-bit words and eight bytes.
struct XGuid {
  uint32_t data1 = 0;
  uint16_t data2 = 0;
  uint16_t data3 = 0;
  std::array<uint8_t, 8> data4{};

  friend bool operator==(const XGuid&, const XGuid&) = default;

  // The text form without angle brackets, lower-case hex digits.
  std::string ToString() const;
  // Parses the text form (either case; surrounding blanks allowed).
  static std::optional<XGuid> Parse(std::string_view text);

  // The 16-byte binary form.
  std::array<uint8_t, 16> ToBytes() const;
  static XGuid FromBytes(const uint8_t* bytes);
};

}  // namespace zv::platform
