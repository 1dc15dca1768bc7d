#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <span>

namespace zv::files {

// Bytes read in order from an open file or from memory. Nothing read from
// one is trusted.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Reads up to `out.size()` bytes; the number read (0 at the end), or -1
  // when the read failed.
  virtual int64_t Read(std::span<uint8_t> out) = 0;
  // Bytes left before the end.
  virtual uint64_t Remaining() = 0;
};

// A source over bytes held in memory (tests, the fuzz target).
class MemorySource final : public ByteSource {
 public:
  explicit MemorySource(std::span<const uint8_t> bytes) : bytes_(bytes) {}
  int64_t Read(std::span<uint8_t> out) override {
    const size_t n = std::min(out.size(), bytes_.size() - pos_);
    if (n) std::memcpy(out.data(), bytes_.data() + pos_, n);
    pos_ += n;
    return static_cast<int64_t>(n);
  }
  uint64_t Remaining() override { return bytes_.size() - pos_; }

 private:
  std::span<const uint8_t> bytes_;
  size_t pos_ = 0;
};

}  // namespace zv::files
