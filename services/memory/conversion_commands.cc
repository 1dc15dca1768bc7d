// The handlers that turn bitmaps, images, meshes and sounds into memory
// blocks and back: each reads its two operands, checks the numbers in the
// order of its operands, then converts.
#include "display/bitmaps.h"
#include "display/graphics.h"
#include "display/id_map.h"
#include "services/memory/memblock_errors.h"
#include "services/memory/memory_blocks.h"
#include "services/memory/memory_handlers.h"
#include "services/memory/mesh_conversions.h"
#include "services/memory/pixel_conversions.h"
#include "services/memory/sound_conversions.h"

namespace zv {
namespace {

namespace op = memblock_opcode;
namespace other = memblock_neighbour_error;

constexpr int32_t kLastMesh = 65534;
constexpr int32_t kLastSound = 1025;

// Each raises its error and gives false when the number is out of range.
bool BlockNumber(Vm& vm, int32_t n) {
  if (MemblockTable::InProgramRange(n)) return true;
  vm.RunError(memblock_error::kNumber);
  return false;
}
bool BitmapNumber(Vm& vm, int32_t n) {
  if (BitmapTable::InRange(n)) return true;
  vm.RunError(other::kBitmapNumber);
  return false;
}
bool ImageNumber(Vm& vm, int32_t n) {
  if (IdMap::InRange(n)) return true;
  vm.RunError(other::kImageNumber);
  return false;
}
bool MeshNumber(Vm& vm, int32_t n) {
  if (n >= 1 && n <= kLastMesh) return true;
  vm.RunError(other::kMeshNumber);
  return false;
}
bool SoundNumber(Vm& vm, int32_t n) {
  if (n >= 1 && n <= kLastSound) return true;
  vm.RunError(other::kSoundNumber);
  return false;
}
bool BlockExists(Vm& vm, int32_t n) {
  if (vm.memory_blocks && vm.memory_blocks->Table().Exists(n)) return true;
  vm.RunError(memblock_error::kMissing);
  return false;
}

// The image's record index in the image map; 0 without one.
int32_t ImageRecordOf(Vm& vm, int32_t image) {
  Graphics* g = FindGraphics(vm);
  return g ? g->Pools().image_ids.Get(image) : 0;
}

void CmdMakeMemblockFromBitmap(Vm& vm) {
  const int32_t block = vm.NextInt();
  const int32_t bitmap = vm.NextInt();
  if (BlockNumber(vm, block) && BitmapNumber(vm, bitmap)) MakeMemblockFromBitmap(vm, block, bitmap);
}

void CmdMakeBitmapFromMemblock(Vm& vm) {
  const int32_t bitmap = vm.NextInt();
  const int32_t block = vm.NextInt();
  if (BitmapNumber(vm, bitmap) && BlockNumber(vm, block)) MakeBitmapFromMemblock(vm, block, bitmap);
}

void CmdMakeMemblockFromMesh(Vm& vm) {
  const int32_t block = vm.NextInt();
  const int32_t mesh = vm.NextInt();
  if (BlockNumber(vm, block) && MeshNumber(vm, mesh)) MakeMemblockFromMesh(vm, block, mesh);
}

void CmdMakeMeshFromMemblock(Vm& vm) {
  const int32_t mesh = vm.NextInt();
  const int32_t block = vm.NextInt();
  if (MeshNumber(vm, mesh) && BlockNumber(vm, block)) MakeMeshFromMemblock(vm, block, mesh);
}

void CmdChangeMeshFromMemblock(Vm& vm) {
  const int32_t mesh = vm.NextInt();
  const int32_t block = vm.NextInt();
  if (!MeshNumber(vm, mesh) || !BlockNumber(vm, block) || !BlockExists(vm, block)) return;
  if (!vm.memory_blocks->Meshes().MeshExists(mesh)) return vm.RunError(other::kMeshNotChanged);
  ChangeMeshFromMemblock(vm, block, mesh);
}

void CmdMakeMemblockFromSound(Vm& vm) {
  const int32_t block = vm.NextInt();
  const int32_t sound = vm.NextInt();
  if (BlockNumber(vm, block) && SoundNumber(vm, sound)) MakeMemblockFromSound(vm, block, sound);
}

void CmdMakeSoundFromMemblock(Vm& vm) {
  const int32_t sound = vm.NextInt();
  const int32_t block = vm.NextInt();
  if (SoundNumber(vm, sound) && BlockNumber(vm, block)) MakeSoundFromMemblock(vm, block, sound);
}

void CmdMakeMemblockFromImage(Vm& vm) {
  const int32_t block = vm.NextInt();
  const int32_t image = vm.NextInt();
  if (!BlockNumber(vm, block) || !ImageNumber(vm, image)) return;
  const int32_t index = ImageRecordOf(vm, image);
  if (index <= 0) return vm.RunError(other::kImageMissing);
  MakeMemblockFromImage(vm, block, index);
}

void CmdMakeImageFromMemblock(Vm& vm) {
  const int32_t image = vm.NextInt();
  const int32_t block = vm.NextInt();
  if (!ImageNumber(vm, image) || !BlockNumber(vm, block) || !BlockExists(vm, block)) return;
  Graphics* g = FindGraphics(vm);
  if (!g) return vm.RunError(other::kImageMissing);
  int32_t index = g->Pools().image_ids.Get(image);
  MakeImageFromMemblock(vm, block, index);
  g->Pools().image_ids.Set(image, index);
}

}  // namespace

void RegisterConversionCommands(HandlerTable& t) {
  t.Set(op::kMakeMemblockFromBitmap, CmdMakeMemblockFromBitmap);
  t.Set(op::kMakeBitmapFromMemblock, CmdMakeBitmapFromMemblock);
  t.Set(op::kMakeMemblockFromMesh, CmdMakeMemblockFromMesh);
  t.Set(op::kMakeMeshFromMemblock, CmdMakeMeshFromMemblock);
  t.Set(op::kChangeMeshFromMemblock, CmdChangeMeshFromMemblock);
  t.Set(op::kMakeMemblockFromSound, CmdMakeMemblockFromSound);
  t.Set(op::kMakeSoundFromMemblock, CmdMakeSoundFromMemblock);
  t.Set(op::kMakeMemblockFromImage, CmdMakeMemblockFromImage);
  t.Set(op::kMakeImageFromMemblock, CmdMakeImageFromMemblock);
}

}  // namespace zv
