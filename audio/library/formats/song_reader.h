#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>

namespace zv {

// Reads a module file held in memory. Every read is checked: bytes past
// the end read as zeros, so a file cut short loads as if it ended in
// silence, and nothing is ever read outside the image.
class SongReader {
 public:
  explicit SongReader(std::span<const uint8_t> image) : image_(image) {}

  size_t Size() const { return image_.size(); }
  size_t Tell() const { return position_; }
  void Seek(size_t position) { position_ = std::min(position, image_.size()); }
  void Skip(size_t count) { Seek(position_ + std::min(count, image_.size())); }
  size_t Remaining() const { return image_.size() - position_; }
  bool AtEnd() const { return position_ >= image_.size(); }

  uint8_t U8() {
    if (position_ >= image_.size()) return 0;
    return image_[position_++];
  }
  int8_t S8() { return static_cast<int8_t>(U8()); }
  uint16_t U16() {
    const uint16_t lo = U8();
    return static_cast<uint16_t>(lo | (U8() << 8));
  }
  uint32_t U32() {
    const uint32_t lo = U16();
    return lo | (static_cast<uint32_t>(U16()) << 16);
  }
  uint16_t U16Big() {
    const uint16_t hi = U8();
    return static_cast<uint16_t>((hi << 8) | U8());
  }
  uint32_t U32Big() {
    const uint32_t hi = U16Big();
    return (hi << 16) | U16Big();
  }
  // Copies up to `count` bytes; the rest of `out` is zeroed. Returns the
  // number of bytes the image had.
  size_t Read(void* out, size_t count) {
    const size_t n = std::min(count, Remaining());
    if (n) std::memcpy(out, image_.data() + position_, n);
    if (n < count) std::memset(static_cast<uint8_t*>(out) + n, 0, count - n);
    position_ += n;
    return n;
  }
  // A fixed-size text field, cut at its first zero.
  std::string Text(size_t count) {
    std::string text(count, '\0');
    Read(text.data(), count);
    text.resize(std::strlen(text.c_str()));
    return text;
  }
  // The bytes from `offset` on, at most `count` of them (fewer at the end).
  std::span<const uint8_t> Bytes(size_t offset, size_t count) const {
    if (offset >= image_.size()) return {};
    return image_.subspan(offset, std::min(count, image_.size() - offset));
  }
  bool Matches(size_t offset, const char* text) const {
    const size_t n = std::strlen(text);
    return offset <= image_.size() && image_.size() - offset >= n &&
           std::memcmp(image_.data() + offset, text, n) == 0;
  }

 private:
  std::span<const uint8_t> image_;
  size_t position_ = 0;
};

}  // namespace zv
