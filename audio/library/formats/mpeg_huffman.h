#pragma once

#include <cstddef>

#include "audio/library/formats/mpeg_bit_reader.h"

namespace zv::mpeg {

// The Huffman-coded part of one granule and channel, as the side information
// describes it.
struct HuffmanRegions {
  int table_select[3] = {};
  int region_end[3] = {};   // line where regions 0, 1 and 2 end; the last is big_values * 2
  int count1_table = 0;     // 0 = table A, 1 = table B
  std::size_t end_bit = 0;  // where the granule's part2_3 bits end
};

// Decodes the big-values and count1 regions into `values` (576 signed
// magnitudes). Returns the line after the last one that may be non-zero, or
// -1 when the big-values data runs past `end_bit` (a damaged granule).
// Leaves `bits` at `end_bit`.
int DecodeHuffman(BitReader& bits, const HuffmanRegions& regions, int values[576]);

void InitHuffmanTables();

}  // namespace zv::mpeg
