#include "audio/library/packed_blocks.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace zv {
namespace {

// The block's payload, read as words least significant bit first; reads
// beyond it give zeros.
class BitReader {
 public:
  BitReader(const uint8_t* payload, size_t bytes) : words_((bytes + 1024 + 3) / 4, 0) {
    std::memcpy(words_.data(), payload, bytes);
    current_ = Word(0);
    next_ = 1;
    left_ = 32;
  }

  uint32_t Read(int n) {
    if (n <= left_) {
      const uint32_t value = n == 32 ? current_ : current_ & ((1u << n) - 1);
      current_ = n == 32 ? 0 : current_ >> n;
      left_ -= n;
      return value;
    }
    const uint32_t low = current_;
    const int need = n - left_;
    const uint32_t word = Word(next_++);
    const uint32_t high = need == 32 ? word : word & ((1u << need) - 1);
    const uint32_t value = low | (left_ == 32 ? 0 : high << left_);
    current_ = need == 32 ? 0 : word >> need;
    left_ = 32 - need;
    return value;
  }

 private:
  uint32_t Word(size_t i) const {
    if (i >= words_.size()) return 0;
    uint32_t w = 0;
    std::memcpy(&w, reinterpret_cast<const uint8_t*>(words_.data()) + i * 4, 4);
    return w;  // stored little-endian, as this machine reads it
  }

  std::vector<uint32_t> words_;
  uint32_t current_ = 0;
  size_t next_ = 0;
  int left_ = 0;
};

// The constants of the two forms.
struct Form {
  int start_width;      // 9 or 17
  int value_bits;       // 8 or 16
  int count_bits;       // width-change count: 3 or 4
  uint32_t full_mask;   // 255 or 65535
  int border_span;      // 8 or 16
  int border_less;      // 4 or 8
  int64_t block_values; // 32768 or 16384
};

template <typename T>
bool Decode(const Form& f, const uint8_t* in, size_t in_bytes, T* out, int64_t count, bool double_delta) {
  if (count <= 0) return true;
  if (out == nullptr) return false;
  std::fill(out, out + count, T{0});
  if (in == nullptr) return false;
  using U = std::make_unsigned_t<T>;
  int64_t done = 0;
  while (done < count) {
    if (in_bytes < 2) return false;
    const size_t bytes = static_cast<size_t>(in[0] | (in[1] << 8));
    in += 2;
    in_bytes -= 2;
    if (bytes > in_bytes) return false;
    BitReader bits(in, bytes);
    in += bytes;
    in_bytes -= bytes;
    const int64_t block = std::min(count - done, f.block_values);
    int width = f.start_width;
    U sum1 = 0, sum2 = 0;
    int64_t produced = 0;
    while (produced < block) {
      if (width > f.start_width) return false;
      const uint32_t v = bits.Read(width);
      if (width < 7) {
        if (v == (1u << (width - 1))) {
          const int n = static_cast<int>(bits.Read(f.count_bits)) + 1;
          width = n >= width ? n + 1 : n;
          continue;
        }
      } else if (width < f.start_width) {
        const uint32_t border = (f.full_mask >> (f.start_width - width)) - static_cast<uint32_t>(f.border_less);
        if (v > border && v <= border + static_cast<uint32_t>(f.border_span)) {
          const int n = static_cast<int>(v - border);
          width = n >= width ? n + 1 : n;
          continue;
        }
      } else if (v & (1u << f.value_bits)) {
        width = static_cast<int>(v & 255) + 1;
        continue;
      }
      U delta;
      if (width < f.value_bits) {
        const int shift = 32 - width;
        delta = static_cast<U>(static_cast<int32_t>(v << shift) >> shift);
      } else {
        delta = static_cast<U>(v);
      }
      sum1 = static_cast<U>(sum1 + delta);
      sum2 = static_cast<U>(sum2 + sum1);
      out[done + produced] = static_cast<T>(double_delta ? sum2 : sum1);
      ++produced;
    }
    done += block;
  }
  return true;
}

constexpr Form kForm8{9, 8, 3, 255, 8, 4, kPackedBlockValues8};
constexpr Form kForm16{17, 16, 4, 65535, 16, 8, kPackedBlockValues16};

}  // namespace

bool DecodePackedBlocks8(const uint8_t* input, size_t input_bytes, int8_t* output, int64_t count, bool double_delta) {
  return Decode(kForm8, input, input_bytes, output, count, double_delta);
}

bool DecodePackedBlocks16(const uint8_t* input, size_t input_bytes, int16_t* output, int64_t count,
                          bool double_delta) {
  return Decode(kForm16, input, input_bytes, output, count, double_delta);
}

}  // namespace zv
