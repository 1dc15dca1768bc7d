#include "services/memory/memblock_table.h"

#include "platform/arena/low_arena.h"

namespace zv {

std::shared_ptr<BlockMemory> BlockMemory::Allocate(uint32_t size) {
  void* data = platform::ProgramArena().Allocate(size);
  if (!data) return nullptr;
  return std::shared_ptr<BlockMemory>(new BlockMemory(static_cast<uint8_t*>(data), size));
}

BlockMemory::~BlockMemory() { platform::ProgramArena().Free(data_); }

uint32_t BlockMemory::Address() const { return platform::LowArena::AddressOf(data_); }

bool MemblockTable::Make(int32_t number, uint32_t size) {
  if (!InTable(number)) return false;
  Release(number);
  if (size == 0 || size > kMaxSize) return false;
  entries_[static_cast<size_t>(number)] = BlockMemory::Allocate(size);
  return Exists(number);
}

void MemblockTable::Release(int32_t number) {
  if (InTable(number)) entries_[static_cast<size_t>(number)].reset();
}

void MemblockTable::ReleaseAll() {
  for (BlockRef& entry : entries_) entry.reset();
}

int32_t MemblockTable::Count() const {
  int32_t count = 0;
  for (const BlockRef& entry : entries_) count += entry != nullptr;
  return count;
}

}  // namespace zv
