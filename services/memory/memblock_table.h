#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>

namespace zv {

// The bytes of one memory block, zeroed, in the low-address arena so that
// the address a program reads fits 32 bits. The memory goes back to the
// arena when the last holder lets go: a conversion that holds a block keeps
// its address from being handed out again even if the block is released
// meanwhile.
class BlockMemory {
 public:
  // Null when the arena cannot supply `size` bytes.
  static std::shared_ptr<BlockMemory> Allocate(uint32_t size);
  ~BlockMemory();
  BlockMemory(const BlockMemory&) = delete;
  BlockMemory& operator=(const BlockMemory&) = delete;

  uint8_t* data() { return data_; }
  const uint8_t* data() const { return data_; }
  uint32_t size() const { return size_; }
  std::span<uint8_t> bytes() { return {data_, size_}; }
  std::span<const uint8_t> bytes() const { return {data_, size_}; }
  // The address a program sees.
  uint32_t Address() const;

 private:
  BlockMemory(uint8_t* data, uint32_t size) : data_(data), size_(size) {}

  uint8_t* data_;
  uint32_t size_;
};

using BlockRef = std::shared_ptr<BlockMemory>;

// The memory blocks by number. Programs use 1 to 255; 257 is the scratch
// block through which the network commands convert what they send and
// receive; 0 and 256 stay unused.
class MemblockTable {
 public:
  static constexpr int32_t kEntries = 258;
  static constexpr int32_t kFirst = 1;
  static constexpr int32_t kLast = 255;
  static constexpr int32_t kScratch = 257;
  // The largest block: every size, count and offset a block holds is
  // checked against its size, and this bound keeps a single request from
  // taking the whole arena.
  static constexpr uint32_t kMaxSize = uint32_t{256} << 20;

  static bool InProgramRange(int32_t number) { return number >= kFirst && number <= kLast; }
  static bool InTable(int32_t number) { return number >= 0 && number < kEntries; }

  bool Exists(int32_t number) const { return Peek(number) != nullptr; }
  // The block for a moment's access; null when there is none. Valid until
  // the table next changes.
  BlockMemory* Peek(int32_t number) const {
    return InTable(number) ? entries_[static_cast<size_t>(number)].get() : nullptr;
  }
  // The block, held: its memory stays (and keeps its address) until the
  // holder lets go, even if the block is released or replaced meanwhile.
  BlockRef Hold(int32_t number) const {
    return InTable(number) ? entries_[static_cast<size_t>(number)] : nullptr;
  }

  // A new zeroed block of `size` bytes under `number`, replacing whatever
  // the number held. False, with the number left empty, when `size` is 0 or
  // above kMaxSize or the arena cannot supply it.
  bool Make(int32_t number, uint32_t size);
  // Releases the block of that number, if any.
  void Release(int32_t number);
  void ReleaseAll();
  int32_t Count() const;

 private:
  std::array<BlockRef, kEntries> entries_;
};

}  // namespace zv
