#include "audio/library/formats/mpeg_huffman.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "audio/library/formats/mpeg_huffman_codes.h"

namespace zv::mpeg {
namespace {

// One slot of a lookup table: either a decoded value and the length of its
// code word, or a link to a second-level table.
struct LookupEntry {
  std::uint16_t value = 0;   // x * 16 + y, a quadruple 8v + 4w + 2x + y, or the link's offset
  std::uint8_t length = 0;   // code word bits, or the link's index width
  std::uint8_t is_link = 0;
};

constexpr int kRootBits = 8;

// A two-level lookup table of one Huffman code: the first kRootBits bits
// select an entry; longer code words continue in a second-level table.
class LookupTable {
 public:
  LookupTable() = default;
  // `values[i]` is what code word i decodes to.
  LookupTable(const HuffmanCodeTable& code, const std::vector<std::uint16_t>& values) {
    Build(code, values);
  }

  bool empty() const { return entries_.empty(); }

  // The code word at the top of `window` (bits left-aligned).
  LookupEntry Find(std::uint64_t window) const {
    const LookupEntry& root = entries_[window >> (64 - kRootBits)];
    if (!root.is_link) return root;
    const LookupEntry& leaf = entries_[root.value + ((window << kRootBits) >> (64 - root.length))];
    return {leaf.value, static_cast<std::uint8_t>(kRootBits + leaf.length), 0};
  }

 private:
  void Build(const HuffmanCodeTable& code, const std::vector<std::uint16_t>& values) {
    entries_.assign(1u << kRootBits, LookupEntry{});
    const std::size_t n = code.codes.size();
    // Short code words fill every root slot that starts with them.
    for (std::size_t i = 0; i < n; ++i) {
      const int length = code.lengths[i];
      if (length > kRootBits) continue;
      const std::uint32_t first = std::uint32_t{code.codes[i]} << (kRootBits - length);
      for (std::uint32_t slot = first; slot < first + (1u << (kRootBits - length)); ++slot) {
        entries_[slot] = {values[i], static_cast<std::uint8_t>(length), 0};
      }
    }
    // Long code words go to a second-level table per root prefix, as wide as
    // the longest code word under that prefix needs.
    for (std::uint32_t prefix = 0; prefix < (1u << kRootBits); ++prefix) {
      int width = 0;
      for (std::size_t i = 0; i < n; ++i) {
        const int length = code.lengths[i];
        if (length > kRootBits && std::uint32_t{code.codes[i]} >> (length - kRootBits) == prefix) {
          width = std::max(width, length - kRootBits);
        }
      }
      if (width == 0) continue;
      const std::size_t offset = entries_.size();
      entries_.resize(offset + (std::size_t{1} << width), LookupEntry{});
      entries_[prefix] = {static_cast<std::uint16_t>(offset), static_cast<std::uint8_t>(width), 1};
      for (std::size_t i = 0; i < n; ++i) {
        const int length = code.lengths[i];
        if (length <= kRootBits || std::uint32_t{code.codes[i]} >> (length - kRootBits) != prefix) continue;
        const int extra = length - kRootBits;
        const std::uint32_t tail = code.codes[i] & ((1u << extra) - 1);
        const std::uint32_t first = tail << (width - extra);
        for (std::uint32_t slot = first; slot < first + (1u << (width - extra)); ++slot) {
          entries_[offset + slot] = {values[i], static_cast<std::uint8_t>(extra), 0};
        }
      }
    }
  }

  std::vector<LookupEntry> entries_;
};

struct HuffmanTables {
  LookupTable pairs[32];
  int linbits[32] = {};
  LookupTable quads[2];

  HuffmanTables() {
    for (int t = 0; t < 32; ++t) {
      const HuffmanCodeTable code = PairCodeTable(t);
      if (code.size == 0) continue;
      std::vector<std::uint16_t> values(code.codes.size());
      for (std::size_t i = 0; i < values.size(); ++i) {
        const int x = static_cast<int>(i) / code.size, y = static_cast<int>(i) % code.size;
        values[i] = static_cast<std::uint16_t>(x << 4 | y);
      }
      pairs[t] = LookupTable(code, values);
      linbits[t] = PairTableLinbits(t);
    }
    std::vector<std::uint16_t> quad_values(16);
    for (int i = 0; i < 16; ++i) quad_values[static_cast<std::size_t>(i)] = static_cast<std::uint16_t>(i);
    quads[0] = LookupTable(QuadCodeTable(0), quad_values);
    quads[1] = LookupTable(QuadCodeTable(1), quad_values);
  }
};

const HuffmanTables& Tables() {
  static const HuffmanTables tables;
  return tables;
}

// One value of a pair, its linbits and its sign taken from `window`
// (left-aligned) at bit `used`, which moves past them.
inline int PairValue(int magnitude, int linbits, std::uint64_t window, int& used) {
  if (linbits && magnitude == 15) {
    magnitude += static_cast<int>((window << used) >> (64 - linbits));
    used += linbits;
  }
  if (magnitude == 0) return 0;
  const bool negative = (window << used) >> 63;
  ++used;
  return negative ? -magnitude : magnitude;
}

}  // namespace

void InitHuffmanTables() { (void)Tables(); }

int DecodeHuffman(BitReader& bits, const HuffmanRegions& regions, int values[576]) {
  const HuffmanTables& t = Tables();
  int line = 0;
  for (int r = 0; r < 3; ++r) {
    const int end = std::clamp(regions.region_end[r], line, 576);
    const int table = regions.table_select[r] & 31;
    if (t.pairs[table].empty()) {
      std::fill(values + line, values + end, 0);
      line = end;
      continue;
    }
    const LookupTable& lookup = t.pairs[table];
    const int linbits = t.linbits[table];
    for (; line + 1 < end; line += 2) {
      // A code word (up to 19 bits) with two linbits fields (up to 13 bits)
      // and two signs fits the 57 bits of one window.
      const std::uint64_t window = bits.Window();
      const LookupEntry pair = lookup.Find(window);
      int used = pair.length;
      values[line] = PairValue(pair.value >> 4, linbits, window, used);
      values[line + 1] = PairValue(pair.value & 15, linbits, window, used);
      bits.Skip(static_cast<std::size_t>(used));
      if (bits.position() > regions.end_bit) return -1;
    }
    line = end;
  }

  // The count1 region runs until the granule's bits end; a quadruple whose
  // bits cross that end is not part of it.
  const LookupTable& quad = t.quads[regions.count1_table & 1];
  while (line + 4 <= 576 && bits.position() < regions.end_bit) {
    const std::uint64_t window = bits.Window();
    const LookupEntry q = quad.Find(window);
    int used = q.length;
    int v[4];
    for (int i = 0; i < 4; ++i) v[i] = PairValue((q.value >> (3 - i)) & 1, 0, window, used);
    bits.Skip(static_cast<std::size_t>(used));
    if (bits.position() > regions.end_bit) break;
    for (int i = 0; i < 4; ++i) values[line + i] = v[i];
    line += 4;
  }
  std::fill(values + line, values + 576, 0);
  bits.Seek(regions.end_bit);
  return line;
}

}  // namespace zv::mpeg
