#pragma once

#include <cstdint>

// The one random-number generator of the system. Its state is 1 when the
// process starts and is never reset by a run; every command of every
// subsystem that draws a random number uses it, so a seeded program sees the
// same sequence whichever commands draw from it.
namespace zv {

constexpr uint32_t kRandomMax = 32767;

// Advances the state (s = s * 214013 + 2531011 mod 2^32) and returns bits
// 16-30 of the new state: a number from 0 to kRandomMax.
uint32_t RandomDraw();
void SeedRandom(uint32_t state);
uint32_t RandomState();

}  // namespace zv
