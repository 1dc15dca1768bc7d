#include "services/memory/sound_layout.h"

#include <algorithm>

#include "services/memory/little_endian.h"
#include "services/memory/memblock_errors.h"

namespace zv {

std::optional<uint32_t> SoundBlockSize(const SoundMemblockLayout& sound, uint32_t limit) {
  const uint64_t size = uint64_t{SoundMemblockLayout::kHeaderBytes} + sound.data.size();
  if (size > limit) return std::nullopt;
  return static_cast<uint32_t>(size);
}

void WriteSoundLayout(std::span<uint8_t> block, const SoundMemblockLayout& sound) {
  le::StoreU32(block.data(), sound.bits);
  le::StoreU32(block.data() + 4, sound.frequency);
  le::StoreU32(block.data() + 8, sound.length);
  std::copy(sound.data.begin(), sound.data.end(), block.begin() + SoundMemblockLayout::kHeaderBytes);
}

int32_t ReadSoundLayout(std::span<const uint8_t> block, SoundMemblockLayout* out) {
  if (block.size() < SoundMemblockLayout::kHeaderBytes) return memblock_error::kOutside;
  SoundMemblockLayout sound;
  sound.bits = le::LoadU32(block.data());
  sound.frequency = le::LoadU32(block.data() + 4);
  sound.length = le::LoadU32(block.data() + 8);
  if (sound.bits != 8 && sound.bits != 16) return memblock_neighbour_error::kSoundMissing;
  if (sound.frequency < SoundMemblockLayout::kLowestFrequency || sound.frequency > SoundMemblockLayout::kHighestFrequency)
    return memblock_neighbour_error::kSoundMissing;
  size_t bytes = block.size() - SoundMemblockLayout::kHeaderBytes;
  bytes -= bytes % (sound.bits / 8);
  sound.data.assign(block.begin() + SoundMemblockLayout::kHeaderBytes, block.begin() + SoundMemblockLayout::kHeaderBytes + bytes);
  *out = std::move(sound);
  return 0;
}

}  // namespace zv
