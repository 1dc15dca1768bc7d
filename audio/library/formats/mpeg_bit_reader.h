#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace zv::mpeg {

// Reads bits most significant first from a byte buffer. Every read is bounded
// by the buffer: bits past its end read as zeros, and overran() tells a
// caller that it consumed more bits than there were.
class BitReader {
 public:
  BitReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  // The next bits, most significant first; at least 57 of them are valid.
  std::uint64_t Window() const { return Load64(position_ >> 3) << (position_ & 7); }
  // The next `count` bits (0..32) without consuming them.
  std::uint32_t Peek(int count) const {
    if (count == 0) return 0;
    return static_cast<std::uint32_t>(Window() >> (64 - count));
  }
  std::uint32_t Read(int count) {
    const std::uint32_t value = Peek(count);
    position_ += static_cast<std::size_t>(count);
    return value;
  }
  void Skip(std::size_t count) { position_ += count; }
  void Seek(std::size_t bit) { position_ = bit; }

  std::size_t position() const { return position_; }
  std::size_t size_bits() const { return size_ * 8; }
  bool overran() const { return position_ > size_bits(); }

 private:
  // Eight bytes from `byte` on as a big-endian word, zeros past the end.
  std::uint64_t Load64(std::size_t byte) const {
    std::uint64_t word = 0;
    if (byte + 8 <= size_) {
      std::memcpy(&word, data_ + byte, 8);
      return __builtin_bswap64(word);
    }
    for (std::size_t i = 0; i < 8; ++i) {
      word <<= 8;
      if (byte < size_ && byte + i < size_) word |= data_[byte + i];
    }
    return word;
  }

  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t position_ = 0;
};

}  // namespace zv::mpeg
