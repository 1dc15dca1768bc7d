#include "platform/xfile/reader.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/xfile/header.h"
#include "platform/xfile/inflate.h"
#include "platform/xfile/parser.h"
#include "platform/xfile/standard_templates.h"

namespace zv::platform {

XResult<XDocument> ParseXFile(std::span<const uint8_t> bytes, const XReadOptions& options) {
  auto header = XHeader::Parse(bytes);
  if (!header.ok()) return header.error();
  if (!header->compressed) return ParseXBody(bytes, *header, StandardTemplates());
  auto inflated = InflateXFile(bytes, options.max_decompressed_size);
  if (!inflated.ok()) return inflated.error();
  return ParseXBody(*inflated, *header, StandardTemplates());
}

XResult<XDocument> ReadXFile(const std::string& path, const XReadOptions& options) {
  std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
  if (!file) return XError{0, "cannot open " + path + ": " + std::strerror(errno)};
  std::vector<uint8_t> bytes;
  uint8_t chunk[1 << 16];
  size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, file.get())) > 0)
    bytes.insert(bytes.end(), chunk, chunk + got);
  if (std::ferror(file.get())) return XError{bytes.size(), "cannot read " + path};
  return ParseXFile(bytes, options);
}

}  // namespace zv::platform
