#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace zv {

// Decodes IT-packed sample data (blocks of variable-width deltas; IT 2.15
// files sum the deltas twice) into `frames` 16-bit values, through the sound
// library's packed-block decoder. A sample cut short, or a damaged block,
// ends in silence.
void UnpackItSample(std::span<const uint8_t> packed, bool sixteen_bit, bool double_delta, std::vector<int16_t>& out,
                    size_t frames);

// Where the packed data of `frames` values from `at` in `image` end, as
// their blocks' byte counts claim; a block whose count the image ends
// before claims its count's two bytes.
uint64_t ItPackedSampleEnd(std::span<const uint8_t> image, uint64_t at, uint64_t frames, bool sixteen_bit);

}  // namespace zv
