#pragma once

#include <cstddef>
#include <cstdint>

namespace zv {

// Unpacks sample data stored as blocks of variable-width delta codes: each
// block a 16-bit byte count and that many bytes of bit stream (32-bit
// little-endian words, least significant bits first). The output (`count`
// values) is zeroed first; a damaged or short input ends the decode and
// leaves the values not yet produced at zero. True when all were produced.
// A block holds at most kPackedBlockValues8 (or 16) values.
inline constexpr int64_t kPackedBlockValues8 = 32768;
inline constexpr int64_t kPackedBlockValues16 = 16384;
bool DecodePackedBlocks8(const uint8_t* input, size_t input_bytes, int8_t* output, int64_t count, bool double_delta);
bool DecodePackedBlocks16(const uint8_t* input, size_t input_bytes, int16_t* output, int64_t count,
                          bool double_delta = false);

}  // namespace zv
