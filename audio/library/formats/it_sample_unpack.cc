#include "audio/library/formats/it_sample_unpack.h"

#include <algorithm>

namespace zv {
namespace {

// Reads bits least significant first; past the block's end it reads zeros.
class BitReader {
 public:
  explicit BitReader(std::span<const uint8_t> block) : block_(block) {}
  uint32_t Read(int n) {
    uint32_t value = 0;
    for (int i = 0; i < n; ++i) {
      const size_t byte = bit_ >> 3;
      const uint32_t bit = byte < block_.size() ? (block_[byte] >> (bit_ & 7)) & 1 : 0;
      value |= bit << i;
      ++bit_;
    }
    return value;
  }

 private:
  std::span<const uint8_t> block_;
  size_t bit_ = 0;
};

}  // namespace

void UnpackItSample(std::span<const uint8_t> packed, bool sixteen_bit, bool double_delta, std::vector<int16_t>& out,
                    size_t frames) {
  out.assign(frames, 0);
  const int top = sixteen_bit ? 17 : 9;           // the widest code
  const int fetch = sixteen_bit ? 4 : 3;          // bits of a short width change
  const size_t block_samples = sixteen_bit ? 0x4000 : 0x8000;
  size_t at = 0;
  size_t done = 0;
  while (done < frames) {
    if (at + 2 > packed.size()) return;  // the rest stays silent
    const size_t bytes = packed[at] | (packed[at + 1] << 8);
    at += 2;
    const std::span<const uint8_t> block = packed.subspan(at, std::min(bytes, packed.size() - at));
    at += block.size();
    BitReader in(block);
    const size_t count = std::min(frames - done, block_samples);
    int width = top;
    int32_t sum1 = 0, sum2 = 0;
    size_t made = 0;
    while (made < count) {
      const uint32_t v = in.Read(width);
      if (width < 7) {
        if (v == (1u << (width - 1))) {
          const int n = static_cast<int>(in.Read(fetch)) + 1;
          width = n < width ? n : n + 1;
          continue;
        }
      } else if (width < top) {
        const uint32_t border = sixteen_bit ? (0xFFFFu >> (top - width)) - 8 : (0xFFu >> (top - width)) - 4;
        if (v > border && v <= border + (sixteen_bit ? 16u : 8u)) {
          const int n = static_cast<int>(v - border);
          width = n < width ? n : n + 1;
          continue;
        }
      } else if (width == top) {
        if (v & (1u << (top - 1))) {
          width = static_cast<int>(v & (sixteen_bit ? 0xFFFF : 0xFF)) + 1;
          if (width > top || width < 1) return;
          continue;
        }
      } else {
        return;
      }
      int32_t delta;
      const int bits = sixteen_bit ? 16 : 8;
      if (width < bits) {
        const int shift = 32 - width;
        delta = static_cast<int32_t>(v << shift) >> shift;
      } else {
        delta = sixteen_bit ? static_cast<int16_t>(v & 0xFFFF) : static_cast<int8_t>(v & 0xFF);
      }
      sum1 += delta;
      sum2 += sum1;
      const int32_t value = double_delta ? sum2 : sum1;
      out[done + made] = sixteen_bit ? static_cast<int16_t>(value) : static_cast<int16_t>(static_cast<int8_t>(value) * 256);
      ++made;
    }
    done += count;
  }
}

}  // namespace zv
