#pragma once

#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/xfile/reader.h"
#include "platform/xfile/token.h"

namespace zv::platform::testing {

inline std::span<const uint8_t> Bytes(std::string_view text) {
  return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

inline XResult<XDocument> Parse(std::string_view file) { return ParseXFile(Bytes(file)); }

// A text file: the 0302 text header and `body`.
inline XResult<XDocument> ParseText(std::string_view body) {
  return Parse("xof 0302txt 0032\n" + std::string(body));
}

// Emits binary-form tokens, for files the writer would never produce.
class BinaryBuilder {
 public:
  explicit BinaryBuilder(std::string header = "xof 0302bin 0032") : out_(std::move(header)) {}

  BinaryBuilder& Token(uint16_t id) {
    out_ += static_cast<char>(id & 0xFF);
    out_ += static_cast<char>(id >> 8);
    return *this;
  }
  BinaryBuilder& U32(uint32_t v) {
    for (int i = 0; i < 4; ++i) out_ += static_cast<char>(v >> (8 * i));
    return *this;
  }
  BinaryBuilder& Name(std::string_view name) {
    Token(xbin::kName).U32(static_cast<uint32_t>(name.size()));
    out_ += name;
    return *this;
  }
  BinaryBuilder& Integers(std::initializer_list<uint32_t> values) {
    Token(xbin::kIntegerList).U32(static_cast<uint32_t>(values.size()));
    for (uint32_t v : values) U32(v);
    return *this;
  }
  BinaryBuilder& Floats(std::initializer_list<float> values) {
    Token(xbin::kFloatList).U32(static_cast<uint32_t>(values.size()));
    for (float v : values) Raw(&v, 4);
    return *this;
  }
  BinaryBuilder& Doubles(std::initializer_list<double> values) {
    Token(xbin::kFloatList).U32(static_cast<uint32_t>(values.size()));
    for (double v : values) Raw(&v, 8);
    return *this;
  }
  BinaryBuilder& Raw(const void* data, size_t size) {
    out_.append(static_cast<const char*>(data), size);
    return *this;
  }
  const std::string& str() const { return out_; }

 private:
  std::string out_;
};

// Compresses an uncompressed X file into the compressed form, in blocks of
// `block_size` bytes, each deflated with the previous block as dictionary.
inline std::string CompressX(std::string_view file, size_t block_size) {
  std::string form = file[8] == 't' ? "tzip" : "bzip";
  std::string out = std::string(file.substr(0, 8)) + form + std::string(file.substr(12, 4));
  uint32_t total = static_cast<uint32_t>(file.size());
  for (int i = 0; i < 4; ++i) out += static_cast<char>(total >> (8 * i));
  std::string_view body = file.substr(16);
  std::string_view previous;
  for (size_t at = 0; at < body.size(); at += block_size) {
    std::string_view block = body.substr(at, block_size);
    z_stream z{};
    deflateInit2(&z, 9, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    if (!previous.empty())
      deflateSetDictionary(&z, reinterpret_cast<const Bytef*>(previous.data()),
                           static_cast<uInt>(previous.size()));
    std::vector<uint8_t> packed(deflateBound(&z, block.size()) + 16);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(block.data()));
    z.avail_in = static_cast<uInt>(block.size());
    z.next_out = packed.data();
    z.avail_out = static_cast<uInt>(packed.size());
    deflate(&z, Z_FINISH);
    size_t packed_size = packed.size() - z.avail_out;
    deflateEnd(&z);
    uint16_t plain = static_cast<uint16_t>(block.size());
    uint16_t stored = static_cast<uint16_t>(packed_size + 2);
    out += static_cast<char>(plain & 0xFF);
    out += static_cast<char>(plain >> 8);
    out += static_cast<char>(stored & 0xFF);
    out += static_cast<char>(stored >> 8);
    out += "CK";
    out.append(reinterpret_cast<const char*>(packed.data()), packed_size);
    previous = block;
  }
  return out;
}

}  // namespace zv::platform::testing
