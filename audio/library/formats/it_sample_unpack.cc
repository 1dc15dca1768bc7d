#include "audio/library/formats/it_sample_unpack.h"

#include "audio/library/packed_blocks.h"

namespace zv {

void UnpackItSample(std::span<const uint8_t> packed, bool sixteen_bit, bool double_delta, std::vector<int16_t>& out,
                    size_t frames) {
  out.assign(frames, 0);
  const auto count = static_cast<int64_t>(frames);
  if (sixteen_bit) {
    DecodePackedBlocks16(packed.data(), packed.size(), out.data(), count, double_delta);
    return;
  }
  std::vector<int8_t> narrow(frames);
  DecodePackedBlocks8(packed.data(), packed.size(), narrow.data(), count, double_delta);
  for (size_t i = 0; i < frames; ++i) out[i] = static_cast<int16_t>(narrow[i] * 256);
}

uint64_t ItPackedSampleEnd(std::span<const uint8_t> image, uint64_t at, uint64_t frames, bool sixteen_bit) {
  const auto per_block = static_cast<uint64_t>(sixteen_bit ? kPackedBlockValues16 : kPackedBlockValues8);
  for (uint64_t done = 0; done < frames; done += per_block) {
    if (at + 2 > image.size()) return at + 2;
    at += 2 + (image[at] | (image[at + 1] << 8));
  }
  return at;
}

}  // namespace zv
