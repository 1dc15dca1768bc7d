// The block table and the three block layouts, as bytes.
#include <gtest/gtest.h>

#include <bit>
#include <cstring>

#include "platform/arena/low_arena.h"
#include "services/memory/little_endian.h"
#include "services/memory/memblock_table.h"
#include "services/memory/mesh_layout.h"
#include "services/memory/pixel_layout.h"
#include "services/memory/sound_layout.h"

namespace zv {
namespace {

std::vector<uint8_t> Words(std::initializer_list<uint32_t> words, size_t extra = 0) {
  std::vector<uint8_t> bytes(words.size() * 4 + extra);
  size_t i = 0;
  for (uint32_t w : words) le::StoreU32(bytes.data() + 4 * i++, w);
  return bytes;
}

TEST(MemblockTable, BlocksAreZeroedAndLowInMemory) {
  MemblockTable table;
  ASSERT_TRUE(table.Make(1, 1000));
  const BlockMemory& block = *table.Peek(1);
  EXPECT_EQ(block.size(), 1000u);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(block.data()) >> 32, 0u);
  EXPECT_EQ(block.Address(), static_cast<uint32_t>(reinterpret_cast<uintptr_t>(block.data())));
  for (uint8_t b : block.bytes()) ASSERT_EQ(b, 0);
}

TEST(MemblockTable, SizesAreBounded) {
  MemblockTable table;
  EXPECT_FALSE(table.Make(1, 0));
  EXPECT_FALSE(table.Make(1, MemblockTable::kMaxSize + 1));
  EXPECT_FALSE(table.Exists(1));
  EXPECT_FALSE(table.Make(MemblockTable::kEntries, 4));
  EXPECT_FALSE(table.Make(-1, 4));
  EXPECT_EQ(table.Peek(-1), nullptr);
  EXPECT_EQ(table.Hold(MemblockTable::kEntries), nullptr);
}

TEST(MemblockTable, AHeldBlockKeepsItsMemoryAndAddress) {
  MemblockTable table;
  ASSERT_TRUE(table.Make(5, 64));
  table.Peek(5)->data()[0] = 77;
  BlockRef held = table.Hold(5);
  const uint32_t address = held->Address();
  table.Release(5);
  EXPECT_FALSE(table.Exists(5));
  // New blocks of the same size cannot take the held block's place.
  for (int32_t n = 1; n <= 4; ++n) {
    ASSERT_TRUE(table.Make(n, 64));
    EXPECT_NE(table.Peek(n)->Address(), address);
  }
  EXPECT_EQ(held->data()[0], 77);
  EXPECT_TRUE(platform::ProgramArena().Contains(address, 64));
  held.reset();
  EXPECT_FALSE(platform::ProgramArena().Contains(address, 64));
}

TEST(MemblockTable, ReleaseAllEmptiesEveryEntry) {
  MemblockTable table;
  for (int32_t n : {0, 1, 255, 256, 257}) ASSERT_TRUE(table.Make(n, 8));
  EXPECT_EQ(table.Count(), 5);
  const size_t in_use = platform::ProgramArena().BytesInUse();
  table.ReleaseAll();
  EXPECT_EQ(table.Count(), 0);
  EXPECT_LT(platform::ProgramArena().BytesInUse(), in_use);
}

// ---- Pixel layout -------------------------------------------------------------------

TEST(PixelMemblockLayout, SizeIsHeaderAndRows) {
  EXPECT_EQ(PixelBlockSize({3, 2, 16}, MemblockTable::kMaxSize), 24u);
  EXPECT_EQ(PixelBlockSize({3, 2, 32}, MemblockTable::kMaxSize), 36u);
  EXPECT_EQ(PixelBlockSize({0x7FFFFFFF, 0x7FFFFFFF, 32}, MemblockTable::kMaxSize), std::nullopt);
  EXPECT_EQ(PixelBlockSize({0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF}, MemblockTable::kMaxSize), std::nullopt);
  EXPECT_EQ(PixelBlockSize({4, 4, 8}, 27), std::nullopt);
  EXPECT_EQ(PixelBlockSize({4, 4, 8}, 28), 28u);
}

TEST(PixelMemblockLayout, HeaderMustPromiseNoMoreThanTheBlockHolds) {
  EXPECT_FALSE(ReadPixelLayout(Words({3, 2})));
  std::optional<PixelMemblockLayout> fits = ReadPixelLayout(Words({3, 2, 16}, 12));
  ASSERT_TRUE(fits);
  EXPECT_EQ(fits->width, 3u);
  EXPECT_EQ(fits->height, 2u);
  EXPECT_EQ(fits->bits, 16u);
  EXPECT_EQ(fits->RowOffset(1), 18u);
  EXPECT_FALSE(ReadPixelLayout(Words({3, 2, 16}, 11)));
  EXPECT_FALSE(ReadPixelLayout(Words({0xFFFFFFFF, 0xFFFFFFFF, 32}, 64)));
  EXPECT_FALSE(ReadPixelLayout(Words({0x40000000, 4, 32}, 64)));   // 2^32 bytes per row
  EXPECT_FALSE(ReadPixelLayout(Words({1, 0x40000001, 32}, 64)));   // rows wrap 32 bits
  // Nothing to copy is no overrun: empty pictures and sub-byte depths.
  EXPECT_TRUE(ReadPixelLayout(Words({0, 0xFFFFFFFF, 32})));
  EXPECT_TRUE(ReadPixelLayout(Words({0xFFFFFFFF, 0xFFFFFFFF, 7})));
}

// ---- Mesh layout --------------------------------------------------------------------

MeshMemblockLayout Triangle() {
  MeshMemblockLayout m;
  m.face_count = 1;
  m.vertices = {0, 0, 0, 1, 0, 0, 0, 1, 0};
  m.normals = {0, 0, -1};
  m.face_data = {0, 1, 2, 0, 0, 0, 0xFFFFFFFF};
  m.uvs = {0, 0, 1, 0, 0, 1};
  return m;
}

TEST(MeshLayout, WritesHeaderOffsetsAndPackedArrays) {
  const MeshMemblockLayout m = Triangle();
  const std::optional<uint32_t> size = MeshBlockSize(m, MemblockTable::kMaxSize);
  ASSERT_EQ(size, 32u + 36 + 12 + 28 + 24);
  std::vector<uint8_t> block(*size);
  WriteMeshLayout(block, m);
  const uint32_t header[8] = {3, 32, 1, 68, 1, 80, 7, 108};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(le::LoadU32(block.data() + 4 * i), header[i]) << i;
  EXPECT_EQ(std::bit_cast<float>(le::LoadU32(block.data() + 32 + 12)), 1.0f);
  EXPECT_EQ(le::LoadU32(block.data() + 80 + 24), 0xFFFFFFFFu);
  EXPECT_EQ(std::bit_cast<float>(le::LoadU32(block.data() + 108 + 20)), 1.0f);

  std::optional<MeshMemblockLayout> back = ReadMeshLayout(block);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->face_count, 1u);
  EXPECT_EQ(back->vertices, m.vertices);
  EXPECT_EQ(back->normals, m.normals);
  EXPECT_EQ(back->face_data, m.face_data);
  EXPECT_EQ(back->uvs, m.uvs);
}

TEST(MeshLayout, ReadersIgnoreTheStoredOffsets) {
  std::vector<uint8_t> block(*MeshBlockSize(Triangle(), MemblockTable::kMaxSize));
  WriteMeshLayout(block, Triangle());
  for (int word : {1, 3, 5, 7}) le::StoreU32(block.data() + 4 * word, 0xDEADBEEF);
  std::optional<MeshMemblockLayout> back = ReadMeshLayout(block);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->face_data, Triangle().face_data);
  EXPECT_EQ(back->uvs, Triangle().uvs);
}

TEST(MeshLayout, CountsMustFitTheBlock) {
  EXPECT_FALSE(ReadMeshLayout(Words({0, 32, 0, 32, 0, 32})));  // short header
  EXPECT_TRUE(ReadMeshLayout(Words({0, 32, 0, 32, 0, 32, 0, 32})));
  EXPECT_FALSE(ReadMeshLayout(Words({1, 32, 0, 0, 0, 0, 0, 0}, 19)));  // 20 bytes per vertex
  EXPECT_TRUE(ReadMeshLayout(Words({1, 32, 0, 0, 0, 0, 0, 0}, 20)));
  EXPECT_FALSE(ReadMeshLayout(Words({0, 0, 0, 0, 0, 0, 3, 0}, 11)));
  // Counts whose byte sizes wrap 32 bits.
  EXPECT_FALSE(ReadMeshLayout(Words({0x40000000, 0, 0x40000000, 0, 0, 0, 0x40000000, 0}, 64)));
  EXPECT_FALSE(ReadMeshLayout(Words({0xFFFFFFFF, 0, 0xFFFFFFFF, 0, 0, 0, 0xFFFFFFFF, 0}, 64)));
  MeshMemblockLayout huge;
  huge.face_data.resize(MemblockTable::kMaxSize / 4);
  EXPECT_EQ(MeshBlockSize(huge, MemblockTable::kMaxSize), std::nullopt);
}

// ---- Sound layout -------------------------------------------------------------------

TEST(SoundMemblockLayout, RoundTrip) {
  SoundMemblockLayout sound;
  sound.bits = 16;
  sound.frequency = 22050;
  sound.length = 2;
  sound.data = {1, 2, 3, 4};
  std::vector<uint8_t> block(*SoundBlockSize(sound, MemblockTable::kMaxSize));
  ASSERT_EQ(block.size(), 16u);
  WriteSoundLayout(block, sound);
  EXPECT_EQ(block, (std::vector<uint8_t>{16, 0, 0, 0, 0x22, 0x56, 0, 0, 2, 0, 0, 0, 1, 2, 3, 4}));
  SoundMemblockLayout back;
  ASSERT_EQ(ReadSoundLayout(block, &back), 0);
  EXPECT_EQ(back.bits, 16u);
  EXPECT_EQ(back.frequency, 22050u);
  EXPECT_EQ(back.data, sound.data);
}

TEST(SoundMemblockLayout, RefusesShortBlocksAndOtherDepths) {
  SoundMemblockLayout out;
  EXPECT_EQ(ReadSoundLayout(Words({8, 44100}), &out), 5105);
  EXPECT_EQ(ReadSoundLayout(Words({12, 44100, 0}, 4), &out), 3004);
  EXPECT_EQ(ReadSoundLayout(Words({8, 44100, 0}), &out), 0);
  EXPECT_TRUE(out.data.empty());
  // A 16-bit block hands over whole samples only.
  EXPECT_EQ(ReadSoundLayout(Words({16, 44100, 0}, 5), &out), 0);
  EXPECT_EQ(out.data.size(), 4u);
  EXPECT_EQ(ReadSoundLayout(Words({8, 44100, 0}, 5), &out), 0);
  EXPECT_EQ(out.data.size(), 5u);
}

}  // namespace
}  // namespace zv
