#include "services/memory/sound_conversions.h"

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "services/memory/little_endian.h"
#include "services/memory/memblock_errors.h"
#include "services/memory/memory_blocks.h"
#include "services/memory/sound_layout.h"

namespace zv {
namespace {

namespace err = memblock_error;

bool Fail(Vm& vm, int32_t code, std::string_view cause = {}) {
  vm.RunError(code, {}, cause);
  return false;
}

// The causes that the code ("Sound does not exist") would hide.
std::string HeaderRefused(std::span<const uint8_t> block) {
  const uint32_t bits = le::LoadU32(block.data());
  if (bits != 8 && bits != 16)
    return "its header gives " + std::to_string(bits) + " bits per sample where a sound has 8 or 16";
  return "its header gives " + std::to_string(le::LoadU32(block.data() + 4)) + " Hz where a sound has " +
         std::to_string(SoundMemblockLayout::kLowestFrequency) + " to " +
         std::to_string(SoundMemblockLayout::kHighestFrequency);
}
std::string_view SoundRefused(const SoundMemblockLayout& sound) {
  return sound.data.empty() ? "it holds no samples after its header" : "the sound system could not make a sound of it";
}

}  // namespace

bool MakeMemblockFromSound(Vm& vm, int32_t block, int32_t sound) {
  if (!vm.memory_blocks) return Fail(vm, memblock_neighbour_error::kSoundMissing);
  MemoryBlocks& memory = *vm.memory_blocks;
  SoundMemblockLayout layout;
  if (const int32_t error = memory.Sounds().ExportSound(sound, &layout)) return Fail(vm, error);
  MemblockTable& table = memory.Table();
  table.Release(block);
  const std::optional<uint32_t> size = SoundBlockSize(layout, MemblockTable::kMaxSize);
  if (layout.data.empty() || !size || !table.Make(block, *size)) return Fail(vm, err::kMissing);
  WriteSoundLayout(table.Peek(block)->bytes(), layout);
  return true;
}

bool MakeSoundFromMemblock(Vm& vm, int32_t block, int32_t sound) {
  const BlockRef memory = vm.memory_blocks ? vm.memory_blocks->Table().Hold(block) : nullptr;
  if (!memory) return Fail(vm, err::kMissing);
  SoundMemblockLayout layout;
  const int32_t refused = ReadSoundLayout(memory->bytes(), &layout);
  if (refused == memblock_error::kOutside) return Fail(vm, refused);
  if (refused != 0) return Fail(vm, refused, HeaderRefused(memory->bytes()));
  if (const int32_t error = vm.memory_blocks->Sounds().ImportSound(sound, layout))
    return Fail(vm, error, error == memblock_neighbour_error::kSoundMissing ? SoundRefused(layout) : "");
  return true;
}

}  // namespace zv
