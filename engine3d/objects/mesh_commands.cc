#include <string>
#include <vector>

#include "engine3d/commands/command_checks.h"
#include "engine3d/objects/model_loading.h"
#include "engine3d/objects/object_commands.h"
#include "engine3d/objects/object_model.h"
#include "engine3d/objects/object_setup.h"

namespace zv {
namespace {

namespace err = object_error;

// Frees the mesh of that number, if there is one.
void FreeNumberedMesh(Engine3D& e, int32_t number) {
  if (const int32_t index = e.pools.mesh_ids.Get(number); index > 0) e.pools.FreeMesh(index);
  e.pools.mesh_ids.Set(number, 0);
}

void CmdLoadMesh(Vm& vm) {
  const std::string file(vm.NextString());
  const int32_t number = vm.NextInt();
  Engine3D* e = FindEngine(vm);
  if (!e) return;
  if (!MeshNumberInRange(number)) return vm.RunError(err::kMeshNumber);
  FreeNumberedMesh(*e, number);
  const int32_t temporary = AllocObjectRecord(*e);
  if (temporary == kNoRecord) return;
  std::string why;
  const int32_t result = LoadObjectMesh(*e, temporary, file, &why);
  if (result < 1) {
    ReleaseObjectRecord(*e, temporary);
    return vm.RunError(result == load_result::kBadKind ? err::kModelKind : err::kMeshLoad, file, why);
  }
  const int32_t mesh = MakeMeshFromObject(*e, temporary, -1, -1);
  ReleaseObjectRecord(*e, temporary);
  if (mesh == kNoMeshRoom) return;
  if (mesh < 0) return why.empty() ? vm.RunError(err::kMeshBuild) : vm.RunError(err::kMeshBuild, file, why);
  e->pools.mesh_ids.Set(number, mesh);
  if (!why.empty()) vm.RunWarning(err::kModelFault, file, why);
}

void CmdDeleteMesh(Vm& vm) {
  const int32_t number = vm.NextInt();
  Engine3D* e = FindEngine(vm);
  if (e && ExistingMesh(vm, *e, number) != 0) FreeNumberedMesh(*e, number);
}

void CmdChecklistObjectLimbs(Vm& vm) {
  const int32_t number = vm.NextInt();
  const auto [e, index] = CheckedObject(vm, number);
  if (index == 0) return;
  vm.checklist.count = 0;
  vm.checklist.made = vm.checklist.values_valid = vm.checklist.texts_valid = true;
  std::vector<models::FrameListEntry> frames;
  if (std::shared_ptr<ObjectModel> model = e->pools.objects[index].model) model->ListLimbsToChecklist(frames);
  for (models::FrameListEntry& frame : frames) {
    ChecklistEntry entry;
    entry.a = frame.number;
    entry.text = std::move(frame.name);
    vm.checklist.Add(std::move(entry));
  }
}

void CmdMakeMeshFromObject(Vm& vm) {
  const int32_t number = vm.NextInt();
  const int32_t object_number = vm.NextInt();
  Engine3D* e = FindEngine(vm);
  if (!e) return;
  if (!MeshNumberInRange(number)) return vm.RunError(err::kMeshNumber);
  const int32_t object = ExistingObject(vm, *e, object_number);
  if (object == 0) return;
  FreeNumberedMesh(*e, number);
  const int32_t mesh = MakeMeshFromObject(*e, object, -1, -1);
  if (mesh == kNoMeshRoom) return;
  if (mesh < 0) return vm.RunError(err::kMeshBuild);
  e->pools.mesh_ids.Set(number, mesh);
}

}  // namespace

void RegisterMeshHandlers(HandlerTable& table) {
  table.Set(7001, CmdLoadMesh);
  table.Set(7002, CmdDeleteMesh);
  table.Set(7003, CmdChecklistObjectLimbs);
  table.Set(7004, CmdMakeMeshFromObject);
}

}  // namespace zv
