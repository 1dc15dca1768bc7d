#include "engine3d/objects/static_scene_commands.h"

#include <cerrno>
#include <memory>
#include <string>

#include "engine3d/commands/command_checks.h"
#include "engine3d/objects/model_loading.h"
#include "engine3d/objects/object_model.h"
#include "engine3d/render/render_states.h"
#include "engine3d/scene/static_scene_store.h"
#include "platform/paths/failure_cause.h"

namespace zv {
namespace {

// The copy modes: 1 occluder, 2 the second flag, 3 both, 4 both and full
// height; anything else none.
StaticPieceMode ModeOf(int32_t mode) {
  StaticPieceMode m;
  m.occluder = mode == 1 || mode == 3 || mode == 4;
  m.second = mode == 2 || mode == 3 || mode == 4;
  m.full_height = mode == 4;
  return m;
}

void CopyCommand(Vm& vm, int32_t number, int32_t mode) {
  const auto [e, index] = CheckedObject(vm, number);
  if (index == 0) return;
  const int32_t result = CopyObjectToStaticScene(*e, index, ModeOf(mode));
  if (result != 0 && result != kNoMeshRoom) vm.RunError(object_error::kMeshBuild);
}

void CmdCopyObjectToStaticScene(Vm& vm) {
  const int32_t number = vm.NextInt();
  CopyCommand(vm, number, 0);
}

void CmdCopyObjectToStaticSceneMode(Vm& vm) {
  const int32_t number = vm.NextInt();
  const int32_t mode = vm.NextInt();
  CopyCommand(vm, number, mode);
}

void CmdDeleteStaticObjects(Vm& vm) {
  if (Engine3D* e = FindEngine(vm)) DeleteStaticObjects(*e);
}

// The objects moved into the scene went with it: they are objects again,
// as after `delete static objects`, rather than drawn nowhere.
void CmdLoadStaticObjects(Vm& vm) {
  const std::string name(vm.NextString());
  if (Engine3D* e = FindEngine(vm); e && LoadStaticScene(*e, name)) ShowMovedObjects(*e);
}

void CmdSaveStaticObjects(Vm& vm) {
  const std::string name(vm.NextString());
  Engine3D* e = FindEngine(vm);
  if (!e) return;
  if (const auto failed = SaveStaticScene(*e, name))
    vm.RunWarning(object_error::kFileWrite, failed->name, platform::CauseOf(failed->error));
}

void CmdMakeStaticCollisionBox(Vm& vm) {
  float v[6];
  for (float& value : v) value = vm.NextFloat();
  if (Engine3D* e = FindEngine(vm)) AddStaticBox(e->static_scene, Vector3f{v[0], v[1], v[2]}, Vector3f{v[3], v[4], v[5]});
}

void CmdMoveObjectToStaticScene(Vm& vm) {
  const int32_t number = vm.NextInt();
  const auto [e, index] = CheckedObject(vm, number);
  if (index == 0 || e->pools.objects[index].is_static != 0) return;
  MoveObjectGeometryToStaticScene(*e, index);
  RenderRecordOf(*e, index).shown = 0;
  e->pools.objects[index].is_static = 1;
}

void CmdRemoveObjectFromStaticScene(Vm& vm) {
  const int32_t number = vm.NextInt();
  const auto [e, index] = CheckedObject(vm, number);
  if (index == 0 || e->pools.objects[index].is_static != 1) return;
  RemoveStaticGeometryOf(e->static_scene, index);
  RenderRecordOf(*e, index).shown = 1;
  e->pools.objects[index].is_static = 0;
}

template <uint32_t On>
void CmdSetStaticSceneSwitch(Vm& vm) {
  if (Engine3D* e = FindEngine(vm)) e->static_scene.occlusion_on = On;
}

}  // namespace

int32_t CopyObjectToStaticScene(Engine3D& e, int32_t object, const StaticPieceMode& mode) {
  ObjectRecord* o = e.pools.Object(object);
  if (!o || !o->model) return 0;
  const std::shared_ptr<ObjectModel> model = o->model;
  const int32_t limbs = o->limb_count;
  // Where it is drawn: glued, where its limb holds it.
  const Matrix4 base = ObjectBaseMatrix(e, object);
  int32_t result = 0;
  for (int32_t limb = 0; limb < limbs; ++limb) {
    // The object's shape as it shows: a hidden limb stays out. (Making a
    // mesh may move the object records, so the record is found anew.)
    const LimbRecord* l = e.pools.objects[object].Limb(limb);
    if (l && l->in_use == 1 && l->shown == 0) continue;
    int32_t groups = 0, texture = -1;
    std::string name;
    model->GetLimbMesh(limb, -2, &groups, &texture, &name);
    for (int32_t group = 0; group < groups; ++group) {
      int32_t counter = 0;
      texture = -1;
      model->GetLimbMesh(limb, group, &counter, &texture, &name);
      if (texture == -1) continue;
      const int32_t mesh = MakeMeshFromObject(e, object, limb, texture, base);
      if (mesh == kNoMeshRoom) return kNoMeshRoom;
      if (mesh <= 0) continue;
      if (!AddStaticGeometry(e, texture, e.pools.meshes[mesh], mode)) result = -1;
      e.pools.FreeMesh(mesh);
    }
  }
  return result;
}

void MoveObjectGeometryToStaticScene(Engine3D& e, int32_t object) {
  StaticPieceMode mode;
  mode.owner = object;
  CopyObjectToStaticScene(e, object, mode);
}

void DeleteStaticObjects(Engine3D& e) {
  // Collision boxes go too, also from a scene that holds no geometry.
  if (e.static_scene.HasGroups() || !e.static_scene.boxes.empty()) ClearStaticScene(e);
  ShowMovedObjects(e);
}

void ShowMovedObjects(Engine3D& e) {
  RecordPool<SpriteRecord>& sprites = e.Sprites();
  for (int32_t i = sprites.Head(); i != kNoRecord; i = sprites.Next(i)) {
    if (sprites[i].is_3d != 1 || sprites[i].object <= 0) continue;
    ObjectRecord* o = e.pools.Object(sprites[i].object);
    if (!o || o->is_static != 1) continue;
    sprites[i].shown = 1;
    o->is_static = 0;
  }
}

void RegisterStaticSceneHandlers(HandlerTable& table) {
  table.Set(7005, CmdCopyObjectToStaticScene);
  table.Set(7006, CmdDeleteStaticObjects);
  table.Set(7007, CmdCopyObjectToStaticSceneMode);  // copy object to static scene
  table.Set(7088, CmdLoadStaticObjects);
  table.Set(7089, CmdSaveStaticObjects);
  table.Set(7091, CmdMakeStaticCollisionBox);
  table.Set(7095, CmdMoveObjectToStaticScene);
  table.Set(7096, CmdRemoveObjectFromStaticScene);
  table.Set(7099, CmdSetStaticSceneSwitch<0>);  // clear static scene switch
  table.Set(7100, CmdSetStaticSceneSwitch<1>);
}

}  // namespace zv
