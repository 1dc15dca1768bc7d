#pragma once

#include <array>
#include <cstdint>

namespace zv::song_tables {

// The 132 periods of 11 octaves of 12 notes (S3M, XM, IT).
int32_t S3mPeriod(int32_t note);
// The 144-entry Amiga table of IT: 12 lower notes, then the S3M periods.
int32_t ItAmigaPeriod(int32_t note);
// The MOD player's periods, in quarter Amiga periods, notes 1..132.
int32_t ModPeriod(int32_t note);
// The MOD note table: 108 Amiga periods.
const std::array<int32_t, 108>& ModNoteTable();

// Half a sine wave in 32 steps, 0..255.
extern const std::array<uint8_t, 32> kSine32;
// A whole sine wave in 256 steps, -64..64.
extern const std::array<int8_t, 256> kFineSine;

// A byte from a generator of the runtime's kind, kept by each caller so
// that the mixer thread draws from a state of its own.
struct WaveRandom {
  uint32_t state = 1;
  uint8_t Next() {
    state = state * 214013u + 2531011u;
    return static_cast<uint8_t>((state >> 16) & 0xFF);
  }
};

// The value of a vibrato or tremolo waveform (0 sine, 1 ramp down,
// 2 square, 3 random; only the low 2 bits choose) at a signed position
// of -32..31.
int32_t WaveValue(int32_t waveform, int32_t position, WaveRandom& random);

// Moves a vibrato or tremolo position on by the speed, wrapping from above
// 31 by -64.
inline int8_t AdvanceWave(int8_t position, uint8_t speed) {
  int32_t p = position + speed;
  while (p > 31) p -= 64;
  return static_cast<int8_t>(p);
}

}  // namespace zv::song_tables
