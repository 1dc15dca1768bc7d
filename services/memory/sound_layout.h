#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace zv {

// A sound as a memory block: bits per sample (8 or 16), frequency in Hz and
// length in samples as three 32-bit words, then the mono sample data as the
// sample stores it.
struct SoundMemblockLayout {
  static constexpr uint32_t kHeaderBytes = 12;
  // The rates a sound holds, and a WAV file with it.
  static constexpr uint32_t kLowestFrequency = 1;
  static constexpr uint32_t kHighestFrequency = 2147483647;

  uint32_t bits = 0, frequency = 0;
  uint32_t length = 0;  // written from the sound; not read back
  std::vector<uint8_t> data;
};

// The size of the block for `sound`; nothing above `limit` bytes.
std::optional<uint32_t> SoundBlockSize(const SoundMemblockLayout& sound, uint32_t limit);
// Writes the header and the data; `block` holds SoundBlockSize bytes.
void WriteSoundLayout(std::span<uint8_t> block, const SoundMemblockLayout& sound);

// Reads a sound block into `out`: 0, or the error that refuses it (5105 for
// a block shorter than its header, 3004 for bits other than 8 or 16 or a
// frequency outside kLowestFrequency..kHighestFrequency). The
// data holds whole samples: a 16-bit block's odd last byte is left out.
int32_t ReadSoundLayout(std::span<const uint8_t> block, SoundMemblockLayout* out);

}  // namespace zv
