#include "runtime/vm/numeric/random.h"

#include <atomic>

namespace zv {
namespace {

// Atomic because the sound library's threads may draw too.
std::atomic<uint32_t> g_state{1};

constexpr uint32_t Next(uint32_t s) { return s * 214013u + 2531011u; }

}  // namespace

uint32_t RandomDraw() {
  uint32_t s = g_state.load(std::memory_order_relaxed);
  while (!g_state.compare_exchange_weak(s, Next(s), std::memory_order_relaxed)) {
  }
  return (Next(s) >> 16) & kRandomMax;
}

void SeedRandom(uint32_t state) { g_state.store(state, std::memory_order_relaxed); }

uint32_t RandomState() { return g_state.load(std::memory_order_relaxed); }

}  // namespace zv
