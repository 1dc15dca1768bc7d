#include "platform/xfile/inflate.h"

#include <zlib.h>

#include <cstring>
#include <string>

#include "platform/xfile/header.h"

namespace zv::platform {
namespace {

uint32_t ReadU32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

uint16_t ReadU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

// One raw-deflate stream, reused for every block.
class BlockInflater {
 public:
  BlockInflater() { ok_ = inflateInit2(&stream_, -MAX_WBITS) == Z_OK; }
  ~BlockInflater() {
    if (ok_) inflateEnd(&stream_);
  }
  BlockInflater(const BlockInflater&) = delete;
  BlockInflater& operator=(const BlockInflater&) = delete;

  // Inflates `in` into exactly `out_size` bytes at `out`, with `dictionary`
  // preset. Returns an error message, or an empty string.
  std::string Inflate(std::span<const uint8_t> in, std::span<const uint8_t> dictionary,
                      uint8_t* out, uint32_t out_size) {
    if (!ok_) return "cannot start the decompressor";
    if (inflateReset(&stream_) != Z_OK) return "cannot reset the decompressor";
    if (!dictionary.empty() &&
        inflateSetDictionary(&stream_, dictionary.data(), static_cast<uInt>(dictionary.size())) !=
            Z_OK)
      return "cannot set the block dictionary";
    stream_.next_in = const_cast<Bytef*>(in.data());
    stream_.avail_in = static_cast<uInt>(in.size());
    stream_.next_out = out;
    stream_.avail_out = out_size;
    int status = inflate(&stream_, Z_FINISH);
    if (status != Z_STREAM_END) {
      if (status == Z_BUF_ERROR && stream_.avail_out == 0)
        return "block decompresses to more than its stated size";
      return std::string("damaged compressed block") + (stream_.msg ? std::string(" (") + stream_.msg + ")" : "");
    }
    if (stream_.avail_out != 0) return "block decompresses to less than its stated size";
    return {};
  }

 private:
  z_stream stream_{};
  bool ok_ = false;
};

}  // namespace

XResult<std::vector<uint8_t>> InflateXFile(std::span<const uint8_t> file, uint64_t max_size) {
  constexpr size_t kSizeField = kXHeaderSize;
  if (file.size() < kSizeField + 4) return XError{kXHeaderSize, "compressed file ends before its size"};
  const uint64_t total = ReadU32(file.data() + kSizeField);
  if (total < kXHeaderSize) return XError{kSizeField, "compressed file states a size below its header"};
  if (total > max_size)
    return XError{kSizeField, "compressed file states " + std::to_string(total) +
                                  " bytes, more than the limit of " + std::to_string(max_size)};

  std::vector<uint8_t> out(file.begin(), file.begin() + kXHeaderSize);
  BlockInflater inflater;
  size_t pos = kSizeField + 4;
  size_t previous_block = out.size();  // start of the previous block's output
  while (pos < file.size() && out.size() < total) {
    if (file.size() - pos < 4) return XError{pos, "compressed block header is cut off"};
    const uint16_t plain_size = ReadU16(file.data() + pos);
    const uint16_t packed_size = ReadU16(file.data() + pos + 2);
    const size_t block_start = pos;
    pos += 4;
    if (packed_size < 2 || packed_size > file.size() - pos)
      return XError{block_start, "compressed block size " + std::to_string(packed_size) +
                                     " does not fit the file"};
    if (file[pos] != 'C' || file[pos + 1] != 'K')
      return XError{pos, "compressed block lacks its \"CK\" signature"};
    if (plain_size > total - out.size())
      return XError{block_start, "compressed blocks hold more than the stated size"};

    const size_t start = out.size();
    out.resize(start + plain_size);
    std::span<const uint8_t> dictionary(out.data() + previous_block, start - previous_block);
    std::string problem = inflater.Inflate(file.subspan(pos + 2, packed_size - 2), dictionary,
                                           out.data() + start, plain_size);
    if (!problem.empty()) return XError{block_start, problem};
    previous_block = start;
    pos += packed_size;
  }
  if (out.size() != total)
    return XError{pos, "compressed blocks hold " + std::to_string(out.size()) +
                           " bytes, not the stated " + std::to_string(total)};
  return out;
}

}  // namespace zv::platform
