#include "platform/xfile/guid.h"

#include <cstdio>

namespace zv::platform {
namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads exactly `digits` hex digits from `text` at `pos`.
std::optional<uint32_t> ReadHex(std::string_view text, size_t& pos, int digits) {
  if (pos + digits > text.size()) return std::nullopt;
  uint32_t value = 0;
  for (int i = 0; i < digits; ++i) {
    int d = HexDigit(text[pos + i]);
    if (d < 0) return std::nullopt;
    value = value << 4 | static_cast<uint32_t>(d);
  }
  pos += digits;
  return value;
}

bool Expect(std::string_view text, size_t& pos, char c) {
  if (pos >= text.size() || text[pos] != c) return false;
  ++pos;
  return true;
}

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && static_cast<unsigned char>(s.front()) <= ' ') s.remove_prefix(1);
  while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ') s.remove_suffix(1);
  return s;
}

}  // namespace

std::string XGuid::ToString() const {
  char text[40];
  std::snprintf(text, sizeof text, "%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x", data1,
                data2, data3, data4[0], data4[1], data4[2], data4[3], data4[4], data4[5],
                data4[6], data4[7]);
  return text;
}

std::optional<XGuid> XGuid::Parse(std::string_view text) {
  text = TrimBlanks(text);
  size_t pos = 0;
  XGuid guid;
  auto d1 = ReadHex(text, pos, 8);
  if (!d1 || !Expect(text, pos, '-')) return std::nullopt;
  auto d2 = ReadHex(text, pos, 4);
  if (!d2 || !Expect(text, pos, '-')) return std::nullopt;
  auto d3 = ReadHex(text, pos, 4);
  if (!d3 || !Expect(text, pos, '-')) return std::nullopt;
  guid.data1 = *d1;
  guid.data2 = static_cast<uint16_t>(*d2);
  guid.data3 = static_cast<uint16_t>(*d3);
  for (int i = 0; i < 8; ++i) {
    if (i == 2 && !Expect(text, pos, '-')) return std::nullopt;
    auto byte = ReadHex(text, pos, 2);
    if (!byte) return std::nullopt;
    guid.data4[i] = static_cast<uint8_t>(*byte);
  }
  if (pos != text.size()) return std::nullopt;
  return guid;
}

std::array<uint8_t, 16> XGuid::ToBytes() const {
  std::array<uint8_t, 16> b{};
  for (int i = 0; i < 4; ++i) b[i] = static_cast<uint8_t>(data1 >> (8 * i));
  for (int i = 0; i < 2; ++i) b[4 + i] = static_cast<uint8_t>(data2 >> (8 * i));
  for (int i = 0; i < 2; ++i) b[6 + i] = static_cast<uint8_t>(data3 >> (8 * i));
  for (int i = 0; i < 8; ++i) b[8 + i] = data4[i];
  return b;
}

XGuid XGuid::FromBytes(const uint8_t* b) {
  XGuid guid;
  guid.data1 = uint32_t{b[0]} | uint32_t{b[1]} << 8 | uint32_t{b[2]} << 16 | uint32_t{b[3]} << 24;
  guid.data2 = static_cast<uint16_t>(b[4] | b[5] << 8);
  guid.data3 = static_cast<uint16_t>(b[6] | b[7] << 8);
  for (int i = 0; i < 8; ++i) guid.data4[i] = b[8 + i];
  return guid;
}

}  // namespace zv::platform
