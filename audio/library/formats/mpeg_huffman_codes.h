#pragma once

#include <cstdint>
#include <span>

namespace zv::mpeg {

// The code words of one layer III Huffman table. For a pair table `size` is
// the number of values per coordinate (entry x * size + y); for a quadruple
// table it is 4 and the entry is 8v + 4w + 2x + y. An empty table (size 0)
// codes nothing: every value it stands for is zero.
struct HuffmanCodeTable {
  int size = 0;
  std::span<const std::uint16_t> codes;
  std::span<const std::uint8_t> lengths;
};

// Table select 0 to 31 of the big-values region.
HuffmanCodeTable PairCodeTable(int table);
// Count1 table select 0 (table A) or 1 (table B).
HuffmanCodeTable QuadCodeTable(int table);
// The number of extra bits that follow a coded 15 in a pair table.
int PairTableLinbits(int table);

}  // namespace zv::mpeg
