#include "platform/xfile/reader.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/paths/file_read.h"
#include "platform/xfile/header.h"
#include "platform/xfile/inflate.h"
#include "platform/xfile/parser.h"
#include "platform/xfile/standard_templates.h"

namespace zv::platform {

XError PlaceOnItsLine(XError error, std::span<const uint8_t> file) {
  auto header = XHeader::Parse(file);
  if (!header.ok() || header->compressed) return error;
  if (error.number) {
    if (const std::optional<uint64_t> at = FindXNumber(file, *header, StandardTemplates(), error.offset, *error.number))
      error.offset = *at;
    error.number.reset();
  }
  if (header->encoding != XEncoding::kText) return error;
  const size_t end = static_cast<size_t>(std::min<uint64_t>(error.offset, file.size()));
  error.line = 1 + static_cast<uint64_t>(std::count(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(end), '\n'));
  return error;
}

XResult<XDocument> ParseXFile(std::span<const uint8_t> bytes, const XReadOptions& options) {
  auto header = XHeader::Parse(bytes);
  if (!header.ok()) return header.error();
  if (!header->compressed) {
    auto document = ParseXBody(bytes, *header, StandardTemplates());
    if (document.ok()) return document;
    return PlaceOnItsLine(document.error(), bytes);
  }
  auto inflated = InflateXFile(bytes, options.max_decompressed_size);
  if (!inflated.ok()) return inflated.error();
  return ParseXBody(*inflated, *header, StandardTemplates());
}

XResult<std::vector<uint8_t>> ReadXFileBytes(const std::string& path) {
  auto bytes = ReadWholeFile(path);
  if (!bytes) return XError{0, "cannot open " + path + ": " + std::strerror(errno)};
  return std::move(*bytes);
}

XResult<XDocument> ReadXFile(const std::string& path, const XReadOptions& options) {
  auto bytes = ReadXFileBytes(path);
  if (!bytes.ok()) return bytes.error();
  return ParseXFile(*bytes, options);
}

}  // namespace zv::platform
