#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/xfile/document.h"
#include "platform/xfile/error.h"

namespace zv::platform {

struct XReadOptions {
  // Compressed files that claim to expand beyond this are refused.
  uint64_t max_decompressed_size = uint64_t{512} << 20;
};

// Reads an X file of any form (text, binary, compressed text or binary;
// versions 0302 and 0303; 32- or 64-bit floats) from memory. The standard
// templates are known in advance; the file may declare more.
XResult<XDocument> ParseXFile(std::span<const uint8_t> bytes, const XReadOptions& options = {});

// The same from the file at `path`.
XResult<XDocument> ReadXFile(const std::string& path, const XReadOptions& options = {});
// The whole file at `path`.
XResult<std::vector<uint8_t>> ReadXFileBytes(const std::string& path);

// The error with the line its offset lies on, when `file` is an
// uncompressed text X file (people read those by lines); an error about one
// number of an object is placed at that number first.
XError PlaceOnItsLine(XError error, std::span<const uint8_t> file);

}  // namespace zv::platform
