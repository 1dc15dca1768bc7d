#include "services/memory/sound_conversions.h"

#include <optional>

#include "services/memory/memblock_errors.h"
#include "services/memory/memory_blocks.h"
#include "services/memory/sound_layout.h"

namespace zv {
namespace {

namespace err = memblock_error;

bool Fail(Vm& vm, int32_t code) {
  vm.RunError(code);
  return false;
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
  if (const int32_t error = ReadSoundLayout(memory->bytes(), &layout)) return Fail(vm, error);
  if (const int32_t error = vm.memory_blocks->Sounds().ImportSound(sound, layout)) return Fail(vm, error);
  return true;
}

}  // namespace zv
