#include <gtest/gtest.h>

#include <vector>

#include "audio/library/packed_blocks.h"

namespace zv {
namespace {

// Writes bit fields least significant bit first and frames them in blocks.
class PackedWriter {
 public:
  void Bits(uint32_t value, int count) {
    for (int i = 0; i < count; ++i) {
      if (bit_ == 0) block_.push_back(0);
      if (value & (1u << i)) block_.back() |= static_cast<uint8_t>(1u << bit_);
      bit_ = (bit_ + 1) % 8;
    }
  }
  void EndBlock() {
    out_.push_back(static_cast<uint8_t>(block_.size()));
    out_.push_back(static_cast<uint8_t>(block_.size() >> 8));
    out_.insert(out_.end(), block_.begin(), block_.end());
    block_.clear();
    bit_ = 0;
  }
  const std::vector<uint8_t>& Bytes() const { return out_; }

 private:
  std::vector<uint8_t> out_;
  std::vector<uint8_t> block_;
  int bit_ = 0;
};

TEST(PackedBlocks, EightBitBlocksOfFullWidthDeltas) {
  PackedWriter w;
  for (int i = 0; i < 32768; ++i) w.Bits(1, 9);  // delta +1 each
  w.EndBlock();
  for (int i = 0; i < 7232; ++i) w.Bits(2, 9);
  w.EndBlock();
  std::vector<int8_t> out(40000, 99);
  ASSERT_TRUE(DecodePackedBlocks8(w.Bytes().data(), w.Bytes().size(), out.data(), 40000, false));
  EXPECT_EQ(out[0], 1);
  EXPECT_EQ(out[126], 127);
  EXPECT_EQ(out[127], -128);  // the sum wraps in 8 bits
  // The sums restart with the second block.
  EXPECT_EQ(out[32768], 2);
  EXPECT_EQ(out[32769], 4);
}

TEST(PackedBlocks, SixteenBitBlocksSplitAt16384) {
  PackedWriter w;
  for (int block : {16384, 16384, 7232}) {
    for (int i = 0; i < block; ++i) w.Bits(1, 17);
    w.EndBlock();
  }
  std::vector<int16_t> out(40000);
  ASSERT_TRUE(DecodePackedBlocks16(w.Bytes().data(), w.Bytes().size(), out.data(), 40000));
  EXPECT_EQ(out[16383], 16384);
  EXPECT_EQ(out[16384], 1);  // the sums restart with each block
  EXPECT_EQ(out[39999], 7232);
}

TEST(PackedBlocks, WidthChangesProduceNoSampleAndKeepTheSums) {
  PackedWriter w;
  w.Bits(5, 9);              // +5
  w.Bits(0x100 | 3, 9);      // width 4
  w.Bits(0xF, 4);            // -1
  w.Bits(0x8, 4);            // a change: read 3 bits
  w.Bits(7, 3);              // 7 + 1 >= 4: width 9
  w.Bits(10, 9);             // +10
  w.EndBlock();
  std::vector<int8_t> out(3);
  ASSERT_TRUE(DecodePackedBlocks8(w.Bytes().data(), w.Bytes().size(), out.data(), 3, false));
  EXPECT_EQ(out, (std::vector<int8_t>{5, 4, 14}));
}

TEST(PackedBlocks, BorderCodesChangeTheMiddleWidths) {
  PackedWriter w;
  w.Bits(0x100 | 7, 9);  // width 8
  w.Bits(2, 8);          // +2
  w.Bits(123 + 3, 8);    // border 123: width 3
  w.Bits(0x3, 3);        // +3
  w.EndBlock();
  std::vector<int8_t> out(2);
  ASSERT_TRUE(DecodePackedBlocks8(w.Bytes().data(), w.Bytes().size(), out.data(), 2, false));
  EXPECT_EQ(out, (std::vector<int8_t>{2, 5}));
}

TEST(PackedBlocks, DoubleDeltaSumsTheSums) {
  PackedWriter w;
  for (int i = 0; i < 4; ++i) w.Bits(1, 9);
  w.EndBlock();
  std::vector<int8_t> out(4);
  ASSERT_TRUE(DecodePackedBlocks8(w.Bytes().data(), w.Bytes().size(), out.data(), 4, true));
  EXPECT_EQ(out, (std::vector<int8_t>{1, 3, 6, 10}));
}

TEST(PackedBlocks, AWidthBeyondTheFormEndsTheDecodeInSilence) {
  PackedWriter w;
  w.Bits(7, 9);
  w.Bits(0x100 | 9, 9);  // width 10: not an 8-bit width
  w.Bits(5, 10);
  w.EndBlock();
  std::vector<int8_t> out(4, 1);
  EXPECT_FALSE(DecodePackedBlocks8(w.Bytes().data(), w.Bytes().size(), out.data(), 4, false));
  EXPECT_EQ(out, (std::vector<int8_t>{7, 0, 0, 0}));
}

TEST(PackedBlocks, ShortInputIsNotReadPast) {
  PackedWriter w;
  for (int i = 0; i < 100; ++i) w.Bits(1, 9);
  w.EndBlock();
  std::vector<uint8_t> cut(w.Bytes().begin(), w.Bytes().begin() + 20);
  std::vector<int8_t> out(100, 1);
  EXPECT_FALSE(DecodePackedBlocks8(cut.data(), cut.size(), out.data(), 100, false));
  EXPECT_EQ(out[0], 0);
  // A block that says less than it needs gives zeros from there on, not a read past it.
  std::vector<uint8_t> lying = {2, 0, 0xFF, 0x00};
  std::vector<int16_t> wide(50, 7);
  EXPECT_TRUE(DecodePackedBlocks16(lying.data(), lying.size(), wide.data(), 50));
}

}  // namespace
}  // namespace zv
