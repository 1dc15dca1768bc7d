#pragma once

#include <cstddef>
#include <cstdint>
#include <map>

namespace zv::platform {

// Memory whose addresses fit in 32 bits, for every block a program may see as
// an integer (memory blocks, a locked surface's pixels, strings handed to user
// libraries). Blocks come zeroed. The bookkeeping lives outside the blocks, so
// a program that writes past the end of its block cannot corrupt the arena.
class LowArena {
 public:
  // `capacity` bytes of address space are reserved on first use; pages are
  // backed only when touched.
  explicit LowArena(size_t capacity = size_t{1} << 30);
  ~LowArena();
  LowArena(const LowArena&) = delete;
  LowArena& operator=(const LowArena&) = delete;

  // A zeroed block of `size` bytes (at least 1), 16-byte aligned, or nullptr
  // when the arena is full or cannot be reserved.
  void* Allocate(size_t size);
  // Releases a block from Allocate; nullptr and unknown addresses are ignored,
  // so a second release of one block does nothing.
  void Free(void* block);
  // Size of the live block starting at `block`, 0 for anything else.
  size_t SizeOf(const void* block) const;
  // True when [address, address + length) lies inside one live block.
  bool Contains(uint32_t address, size_t length) const;

  size_t BytesInUse() const { return in_use_; }

  static uint32_t AddressOf(const void* block) {
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(block));
  }

 private:
  bool Reserve();
  void AddFree(uint64_t offset, uint64_t size);

  size_t capacity_;
  uint8_t* base_ = nullptr;
  size_t in_use_ = 0;
  std::map<uint64_t, uint64_t> free_;  // offset -> size, coalesced
  std::map<uint64_t, uint64_t> live_;  // offset -> size
  // No block has reached this offset or beyond yet: those pages are still
  // the system's zeros, untouched, and a block there needs no clearing.
  uint64_t untouched_ = 0;
};

// The arena shared by the whole process.
LowArena& ProgramArena();

}  // namespace zv::platform
