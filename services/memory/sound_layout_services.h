#pragma once

#include <cstdint>

#include "services/memory/memblock_errors.h"
#include "services/memory/sound_layout.h"

namespace zv {

// What the sound conversions ask of the sound system. The sound system
// implements it; NullSoundLayouts stands in until it is linked and refuses
// every call with the error of a sound that is not loaded. Sound numbers
// arrive checked (1 to 1025).
class SoundLayoutServices {
 public:
  virtual ~SoundLayoutServices() = default;

  // A copy of the loaded sound's sample: bits 8 or 16, its default
  // frequency, its length in samples and its data. 0, or 3004 when the sound
  // is not loaded or its sample cannot be read.
  virtual int32_t ExportSound(int32_t sound, SoundMemblockLayout* out) {
    (void)sound, (void)out;
    return memblock_neighbour_error::kSoundMissing;
  }
  // Replaces the sound's sample by a mono sample made from the layout (bits
  // 8 or 16, whole samples; the length word is not used): 0, 101 when
  // memory runs out, or 3004 when the sound system refuses it.
  virtual int32_t ImportSound(int32_t sound, const SoundMemblockLayout& layout) {
    (void)sound, (void)layout;
    return memblock_neighbour_error::kSoundMissing;
  }
};

class NullSoundLayouts final : public SoundLayoutServices {};

}  // namespace zv
