#include "platform/arena/low_arena.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstring>

namespace zv::platform {
namespace {

constexpr uint64_t kAlign = 16;
// Freed runs at least this long give their pages back to the system.
constexpr uint64_t kReleasePages = 256 * 1024;
constexpr uint64_t kPage = 4096;

uint64_t RoundUp(uint64_t n, uint64_t to) { return (n + to - 1) / to * to; }

}  // namespace

LowArena::LowArena(size_t capacity) : capacity_(capacity) {}

LowArena::~LowArena() {
  if (base_) ::munmap(base_, capacity_);
}

bool LowArena::Reserve() {
  if (base_) return true;
  // MAP_32BIT places the mapping in the first 2 GiB; try smaller sizes when
  // the full reservation does not fit there.
  for (size_t size = capacity_; size >= (size_t{1} << 24); size /= 2) {
    void* p = ::mmap(nullptr, size, PROT_READ | PROT_WRITE,
                     MAP_PRIVATE | MAP_ANONYMOUS | MAP_32BIT | MAP_NORESERVE, -1, 0);
    if (p == MAP_FAILED) continue;
    if (reinterpret_cast<uintptr_t>(p) + size > (uint64_t{1} << 32)) {
      ::munmap(p, size);
      continue;
    }
    base_ = static_cast<uint8_t*>(p);
    capacity_ = size;
    free_[0] = size;
    return true;
  }
  return false;
}

void* LowArena::Allocate(size_t size) {
  if (!Reserve()) return nullptr;
  uint64_t need = RoundUp(size == 0 ? 1 : size, kAlign);
  // Best fit: the smallest free run that holds the block.
  auto best = free_.end();
  for (auto it = free_.begin(); it != free_.end(); ++it)
    if (it->second >= need && (best == free_.end() || it->second < best->second)) best = it;
  if (best == free_.end()) return nullptr;

  uint64_t offset = best->first;
  uint64_t run = best->second;
  free_.erase(best);
  if (run > need) free_[offset + need] = run - need;
  live_[offset] = need;
  in_use_ += need;
  // Clearing memory nobody has written would only make the system back it
  // with pages now: a surface the program never draws on costs nothing.
  if (offset < untouched_) std::memset(base_ + offset, 0, std::min(need, untouched_ - offset));
  untouched_ = std::max(untouched_, offset + need);
  return base_ + offset;
}

void LowArena::AddFree(uint64_t offset, uint64_t size) {
  auto next = free_.lower_bound(offset);
  if (next != free_.end() && offset + size == next->first) {
    size += next->second;
    next = free_.erase(next);
  }
  if (next != free_.begin()) {
    auto prev = std::prev(next);
    if (prev->first + prev->second == offset) {
      offset = prev->first;
      size += prev->second;
      free_.erase(prev);
    }
  }
  free_[offset] = size;
  if (size >= kReleasePages) {
    uint64_t first = RoundUp(offset, kPage);
    uint64_t last = (offset + size) / kPage * kPage;
    if (last > first) ::madvise(base_ + first, last - first, MADV_DONTNEED);
  }
}

void LowArena::Free(void* block) {
  if (!block || !base_) return;
  auto* p = static_cast<uint8_t*>(block);
  if (p < base_ || p >= base_ + capacity_) return;
  auto it = live_.find(static_cast<uint64_t>(p - base_));
  if (it == live_.end()) return;
  uint64_t offset = it->first, size = it->second;
  live_.erase(it);
  in_use_ -= size;
  AddFree(offset, size);
}

size_t LowArena::SizeOf(const void* block) const {
  if (!block || !base_) return 0;
  auto* p = static_cast<const uint8_t*>(block);
  if (p < base_ || p >= base_ + capacity_) return 0;
  auto it = live_.find(static_cast<uint64_t>(p - base_));
  return it == live_.end() ? 0 : it->second;
}

bool LowArena::Contains(uint32_t address, size_t length) const {
  if (!base_) return false;
  uintptr_t start = reinterpret_cast<uintptr_t>(base_);
  if (address < start || address >= start + capacity_) return false;
  uint64_t offset = address - start;
  auto it = live_.upper_bound(offset);
  if (it == live_.begin()) return false;
  --it;
  return offset + length <= it->first + it->second;
}

LowArena& ProgramArena() {
  static LowArena arena;
  return arena;
}

}  // namespace zv::platform
