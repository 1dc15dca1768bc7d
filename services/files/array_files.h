#pragma once

#include <cstdint>
#include <optional>
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

// `count` elements from a numeric array file: as many whole dwords as the
// file holds (trailing 1 to 3 bytes are ignored), 0 for the rest.
std::vector<uint32_t> DecodeNumberArrayFile(std::span<const uint8_t> bytes, size_t count);

// What a string array file gives an array of `count` elements.
struct StringArrayLines {
  std::vector<std::string> elements;  // `count` of them; empty beyond the file's lines
  bool more = false;                  // the file holds lines past the last element's
};

// The `count` elements a string array file gives, empty beyond its lines.
// A file that holds a CR LF anywhere is the array files' own kind: a line
// ends only at CR LF, so the lone LFs and CRs that strings hold come back in
// them. A file without any CR LF (a text file written on Linux) is read in
// lines ended by LF. Either way the last line may lack its end, and a line
// is taken whole but for its zero bytes, which no string holds.
StringArrayLines DecodeStringArrayFile(std::span<const uint8_t> bytes, size_t count);

// The first element (counted from 0) that a string array file cannot keep:
// one holding CR LF, which would end its line there, so that the load would
// shift every element after it and drop the last. None when all can be kept.
std::optional<size_t> FirstElementWithLineEnd(std::span<const std::string_view> elements);

std::vector<uint8_t> EncodeNumberArrayFile(std::span<const uint32_t> elements);
std::vector<uint8_t> EncodeStringArrayFile(std::span<const std::string_view> elements);

}  // namespace zv::files
