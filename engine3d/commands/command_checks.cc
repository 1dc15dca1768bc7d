#include "engine3d/commands/command_checks.h"

#include "display/graphics.h"
#include "engine3d/scene/matrix_terrain.h"

namespace zv {

FoundRecord CheckedMatrix(Vm& vm, int32_t number) {
  Engine3D* e = FindEngine(vm);
  return FoundRecord{e, e ? ExistingMatrix(vm, *e, number) : 0};
}

int32_t ExistingMesh(Vm& vm, Engine3D& e, int32_t number) {
  if (!MeshNumberInRange(number)) {
    vm.RunError(object_error::kMeshNumber);
    return 0;
  }
  const int32_t record = e.pools.mesh_ids.Get(number);
  if (record <= 0) {
    vm.RunError(object_error::kMeshMissing);
    return 0;
  }
  return record;
}

bool OptionalMesh(Vm& vm, Engine3D& e, int32_t number, int32_t* record) {
  *record = number == 0 ? 0 : ExistingMesh(vm, e, number);
  return number == 0 || *record != 0;
}

int32_t ExistingImage(Vm& vm, int32_t number) {
  if (!IdMap::InRange(number)) {
    vm.RunError(object_error::kImageNumber);
    return 0;
  }
  Graphics* graphics = FindGraphics(vm);
  const int32_t record = graphics ? graphics->Pools().image_ids.Get(number) : 0;
  if (record <= 0 || !graphics->Pools().images.InUse(record)) {
    vm.RunError(object_error::kImageMissing);
    return 0;
  }
  return record;
}

bool OptionalImage(Vm& vm, int32_t number, int32_t* record) {
  *record = number == 0 ? 0 : ExistingImage(vm, number);
  return number == 0 || *record != 0;
}

}  // namespace zv
