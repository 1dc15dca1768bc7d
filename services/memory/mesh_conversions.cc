#include "services/memory/mesh_conversions.h"

#include <optional>

#include "services/memory/memblock_errors.h"
#include "services/memory/memory_blocks.h"
#include "services/memory/mesh_layout.h"

namespace zv {
namespace {

namespace err = memblock_error;

bool Fail(Vm& vm, int32_t code) {
  vm.RunError(code);
  return false;
}

// The arrays of the block; nothing after raising 5103 or 5105.
std::optional<MeshMemblockLayout> ReadBlock(Vm& vm, int32_t number) {
  const BlockRef block = vm.memory_blocks ? vm.memory_blocks->Table().Hold(number) : nullptr;
  if (!block) {
    vm.RunError(err::kMissing);
    return std::nullopt;
  }
  std::optional<MeshMemblockLayout> arrays = ReadMeshLayout(block->bytes());
  if (!arrays) vm.RunError(err::kOutside);
  return arrays;
}

}  // namespace

bool MakeMemblockFromMesh(Vm& vm, int32_t block, int32_t mesh) {
  if (!vm.memory_blocks) return Fail(vm, memblock_neighbour_error::kMeshMissing);
  MemoryBlocks& memory = *vm.memory_blocks;
  MeshMemblockLayout arrays;
  if (const int32_t error = memory.Meshes().GetMeshLayout(mesh, &arrays)) return Fail(vm, error);
  MemblockTable& table = memory.Table();
  table.Release(block);
  const std::optional<uint32_t> size = MeshBlockSize(arrays, MemblockTable::kMaxSize);
  if (!size || !table.Make(block, *size)) return Fail(vm, err::kAllocation);
  WriteMeshLayout(table.Peek(block)->bytes(), arrays);
  return true;
}

bool MakeMeshFromMemblock(Vm& vm, int32_t block, int32_t mesh) {
  const std::optional<MeshMemblockLayout> arrays = ReadBlock(vm, block);
  if (!arrays) return false;
  if (const int32_t error = vm.memory_blocks->Meshes().MakeMesh(mesh, *arrays)) return Fail(vm, error);
  return true;
}

bool ChangeMeshFromMemblock(Vm& vm, int32_t block, int32_t mesh) {
  const std::optional<MeshMemblockLayout> arrays = ReadBlock(vm, block);
  if (!arrays) return false;
  if (const int32_t error = vm.memory_blocks->Meshes().ChangeMesh(mesh, *arrays)) return Fail(vm, error);
  return true;
}

}  // namespace zv
