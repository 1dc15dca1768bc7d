#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// The files that whole arrays are saved to and loaded from; no header, no
// count:
//
//   numeric   each element as 4 little-endian bytes (an integer, or a
//             float's bits), in the array's flat order
//   strings   each element's characters, then CR LF, one line per element
namespace zv::files {

// The longest element a string array file load keeps; the rest of a longer
// line is passed over.
constexpr size_t kMaxArrayLine = 255;

// `count` elements from a numeric array file: as many whole dwords as the
// file holds (trailing 1 to 3 bytes are ignored), 0 for the rest.
std::vector<uint32_t> DecodeNumberArrayFile(std::span<const uint8_t> bytes, size_t count);

// `count` elements from a string array file. Each takes the bytes up to a CR
// that an LF follows, the end of the data or kMaxArrayLine characters; the
// reading then moves past the next CR and the next LF. Elements beyond the
// file's lines are empty.
std::vector<std::string> DecodeStringArrayFile(std::span<const uint8_t> bytes, size_t count);

std::vector<uint8_t> EncodeNumberArrayFile(std::span<const uint32_t> elements);
std::vector<uint8_t> EncodeStringArrayFile(std::span<const std::string_view> elements);

}  // namespace zv::files
