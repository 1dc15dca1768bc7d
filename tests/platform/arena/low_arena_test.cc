#include "platform/arena/low_arena.h"

#include <sys/mman.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace zv::platform {
namespace {

TEST(LowArena, BlocksHave32BitAddressesAndComeZeroed) {
  LowArena arena(size_t{64} << 20);
  auto* block = static_cast<uint8_t*>(arena.Allocate(1000));
  ASSERT_NE(block, nullptr);
  EXPECT_LT(reinterpret_cast<uintptr_t>(block) + 1000, uintptr_t{1} << 32);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(block) % 16, 0u);
  for (int i = 0; i < 1000; ++i) ASSERT_EQ(block[i], 0);
  std::memset(block, 0xAB, 1000);
  arena.Free(block);
  // Reused memory is zeroed again, also where a block reaches past it.
  auto* again = static_cast<uint8_t*>(arena.Allocate(3000));
  for (int i = 0; i < 3000; ++i) ASSERT_EQ(again[i], 0) << i;
}

TEST(LowArena, MemoryNeverHandedOutIsNotTouched) {
  LowArena arena(size_t{64} << 20);
  constexpr size_t kBytes = size_t{16} << 20;
  auto* block = static_cast<uint8_t*>(arena.Allocate(kBytes));
  ASSERT_NE(block, nullptr);
  const size_t page = static_cast<size_t>(::sysconf(_SC_PAGESIZE));
  std::vector<unsigned char> resident((kBytes + page - 1) / page);
  ASSERT_EQ(::mincore(block, kBytes, resident.data()), 0);
  EXPECT_EQ(std::count_if(resident.begin(), resident.end(), [](unsigned char r) { return r & 1; }), 0);
}

TEST(LowArena, FreeIgnoresUnknownAndRepeatedAddresses) {
  LowArena arena(size_t{64} << 20);
  void* a = arena.Allocate(64);
  int outside = 0;
  arena.Free(&outside);
  arena.Free(static_cast<uint8_t*>(a) + 16);
  arena.Free(a);
  arena.Free(a);
  EXPECT_EQ(arena.BytesInUse(), 0u);
}

TEST(LowArena, CoalescesFreedNeighboursAndReportsFull) {
  LowArena arena(size_t{16} << 20);
  std::vector<void*> blocks;
  for (int i = 0; i < 16; ++i) blocks.push_back(arena.Allocate(size_t{1} << 20));
  for (void* b : blocks) ASSERT_NE(b, nullptr);
  EXPECT_EQ(arena.Allocate(16), nullptr);
  for (void* b : blocks) arena.Free(b);
  EXPECT_NE(arena.Allocate(size_t{16} << 20), nullptr);  // one run again
}

TEST(LowArena, ContainsChecksRangesAgainstLiveBlocks) {
  LowArena arena(size_t{64} << 20);
  void* a = arena.Allocate(100);
  uint32_t address = LowArena::AddressOf(a);
  EXPECT_EQ(arena.SizeOf(a), 112u);
  EXPECT_TRUE(arena.Contains(address, 100));
  EXPECT_TRUE(arena.Contains(address + 50, 50));
  EXPECT_FALSE(arena.Contains(address + 50, 100));
  arena.Free(a);
  EXPECT_FALSE(arena.Contains(address, 1));
}

}  // namespace
}  // namespace zv::platform
