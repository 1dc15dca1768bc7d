#pragma once

#include <cstdint>

#include "runtime/vm/vm.h"

namespace zv {

// Sounds to memory blocks and back, in the layout of sound_layout.h,
// through the sound system's SoundLayoutServices. Sound numbers arrive
// checked (1 to 1025); each returns true on success and false after raising
// its error.

// 3004 when the sound is not loaded or will not export; then 5103 when it
// has no data or no block can be had (the block is gone after that).
bool MakeMemblockFromSound(Vm& vm, int32_t block, int32_t sound);
// 5103 without the block, 5105 for a block shorter than its header, 3004
// for bits other than 8 or 16 or when the sound system refuses.
bool MakeSoundFromMemblock(Vm& vm, int32_t block, int32_t sound);

}  // namespace zv
