#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace zv::codecs {

// Reads little- or big-endian values from an untrusted byte range. A read
// past the end yields 0 and marks the reader failed, so a decoder can read
// a whole header and check once.
class ByteReader {
 public:
  explicit ByteReader(std::span<const uint8_t> data, size_t at = 0) : data_(data), at_(at) {
    if (at_ > data_.size()) Fail();
  }

  bool Ok() const { return ok_; }
  size_t Position() const { return at_; }
  size_t Remaining() const { return ok_ ? data_.size() - at_ : 0; }
  std::span<const uint8_t> Data() const { return data_; }

  uint8_t U8() {
    if (!Have(1)) return 0;
    return data_[at_++];
  }
  uint16_t U16() {
    if (!Have(2)) return 0;
    const uint16_t v = static_cast<uint16_t>(data_[at_] | data_[at_ + 1] << 8);
    at_ += 2;
    return v;
  }
  uint32_t U32() {
    if (!Have(4)) return 0;
    const uint32_t v = static_cast<uint32_t>(data_[at_]) | static_cast<uint32_t>(data_[at_ + 1]) << 8 |
                       static_cast<uint32_t>(data_[at_ + 2]) << 16 |
                       static_cast<uint32_t>(data_[at_ + 3]) << 24;
    at_ += 4;
    return v;
  }
  uint16_t U16Be() {
    if (!Have(2)) return 0;
    const uint16_t v = static_cast<uint16_t>(data_[at_] << 8 | data_[at_ + 1]);
    at_ += 2;
    return v;
  }
  uint32_t U32Be() {
    if (!Have(4)) return 0;
    const uint32_t v = static_cast<uint32_t>(data_[at_]) << 24 | static_cast<uint32_t>(data_[at_ + 1]) << 16 |
                       static_cast<uint32_t>(data_[at_ + 2]) << 8 | static_cast<uint32_t>(data_[at_ + 3]);
    at_ += 4;
    return v;
  }
  // The next `count` bytes, or an empty span (and failure) when fewer remain.
  std::span<const uint8_t> Bytes(size_t count) {
    if (!Have(count)) return {};
    std::span<const uint8_t> s = data_.subspan(at_, count);
    at_ += count;
    return s;
  }
  void Skip(size_t count) {
    if (Have(count)) at_ += count;
  }
  void Seek(size_t at) {
    if (at > data_.size()) return Fail();
    at_ = at;
  }

 private:
  bool Have(size_t count) {
    if (!ok_ || data_.size() - at_ < count) {
      Fail();
      return false;
    }
    return true;
  }
  void Fail() {
    ok_ = false;
    at_ = data_.size();
  }

  std::span<const uint8_t> data_;
  size_t at_ = 0;
  bool ok_ = true;
};

}  // namespace zv::codecs
