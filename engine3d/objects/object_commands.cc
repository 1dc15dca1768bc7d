#include "engine3d/objects/object_commands.h"

#include <array>
#include <cmath>
#include <string>
#include <utility>

#include "display/graphics.h"
#include "engine3d/commands/command_checks.h"
#include "engine3d/objects/mesh_records.h"
#include "engine3d/objects/model_loading.h"
#include "engine3d/objects/object_model.h"
#include "engine3d/objects/object_setup.h"
#include "engine3d/render/render_settings.h"
#include "engine3d/render/textures.h"

namespace zv {
namespace {

namespace err = object_error;

namespace op {
constexpr int kLoadObject = 7000;
constexpr int kMakeObject = 7008;
constexpr int kDeleteObject = 7009;
constexpr int kSetObjectRenderFlags = 7010;
constexpr int kSetObjectRenderFlagsFilter = 7039;
constexpr int kSetObjectRenderFlagsLight = 7040;
constexpr int kColourObject = 7038;
constexpr int kMakeObjectBox = 7041;
constexpr int kMakeObjectSphere = 7042;
constexpr int kMakeObjectCube = 7043;
constexpr int kMakeObjectCylinder = 7044;
constexpr int kMakeObjectCone = 7045;
constexpr int kMakeObjectPlain = 7046;
constexpr int kMakeObjectTriangle = 7047;
constexpr int kSetObjectRenderFlagsFog = 7048;
constexpr int kSetObjectRenderFlagsAmbient = 7049;
constexpr int kSetObjectTextureMode = 7075;
constexpr int kEnableObjectDepthSort = 7076;
constexpr int kDisableObjectDepthSort = 7077;
constexpr int kEnableWireframe = 7090;
constexpr int kMakeObjectCollisionBox = 7092;
constexpr int kDeleteObjectCollisionBox = 7093;
constexpr int kDisableWireframe = 7094;
constexpr int kSetMipmapMode = 7097;
constexpr int kSetTextureAddressMode = 7098;
constexpr int kInstanceObject = 7264;
}  // namespace op

// Collision shape kinds handed to the model.
constexpr int32_t kFittedBoxes = 52;

// The largest whole last-key time over every track of the keyframes.
float FrameCountOf(ObjectModel& model) {
  const models::KeyframeSet* keys = model.Keyframes();
  if (!keys) return 0.0f;
  float most = 0.0f;
  auto whole = [](float time) { return time > 0.0f ? std::trunc(time) : 0.0f; };
  for (const models::AnimationTrack& t : keys->tracks)
    most = std::max({most, whole(t.rotation_keys.LastKeyTime()), whole(t.scale_keys.LastKeyTime()),
                     whole(t.translation_keys.LastKeyTime())});
  return most;
}

// Every limb of a loaded or instanced object takes its frame's translation
// as its offset, and may not be linked.
void InitLoadedLimbs(Engine3D& e, int32_t index, int32_t count) {
  for (int32_t limb = 0; limb < count; ++limb) {
    ObjectRecord& o = e.pools.objects[index];
    InitLimbRecord(o, limb);
    Matrix4 frame = Matrix4::Identity();
    if (o.model) o.model->GetLimbMatrix(limb, &frame);
    LimbRecord& l = *o.Limb(limb);
    l.offset = Vector3f{frame.m[3][0], frame.m[3][1], frame.m[3][2]};
    l.may_link = 0;
  }
}

void SizeTransitionArrays(ObjectRecord& o, int32_t limbs) {
  const size_t n = static_cast<size_t>(std::max(limbs, 0));
  o.source_rotations.assign(n * 4, 0.0f);
  o.target_rotations.assign(n * 4, 0.0f);
  o.source_scales.assign(n * 3, 0.0f);
  o.target_scales.assign(n * 3, 0.0f);
  o.source_translations.assign(n * 3, 0.0f);
  o.target_translations.assign(n * 3, 0.0f);
}

void BuildFittedBoxes(Engine3D& e, int32_t index) {
  ObjectRecord& o = e.pools.objects[index];
  o.collision_kind = kFittedBoxes;
  if (o.model) o.model->BuildModelCollision(index, kFittedBoxes, 0, 0, 0);
}

void CmdLoadObject(Vm& vm) {
  const std::string file(vm.NextString());
  const int32_t number = vm.NextInt();
  YieldForRefresh(vm);
  Engine3D* e = FindEngine(vm);
  if (!e) return;
  if (!IdMap::InRange(number)) return vm.RunError(err::kNumber);
  if (const int32_t existing = e->pools.object_ids.Get(number); existing > 0) DeleteObject(*e, existing, number);
  const int32_t index = AllocObjectRecord(*e);
  if (index == kNoRecord) return;
  const int32_t result = LoadObjectMesh(*e, index, file);
  if (result <= 0) {
    ReleaseObjectRecord(*e, index);
    switch (result) {
      case load_result::kNotFound: return vm.RunError(err::kFileNotFound);
      case load_result::kNoConvert: return vm.RunWarning(err::kConvert);
      case load_result::kBadKind: return vm.RunError(err::kModelKind);
      default: return vm.RunError(err::kLoad);
    }
  }
  e->pools.object_ids.Set(number, index);
  e->pools.objects[index].number = number;
  SetUpObject(*e, index, true);
  ObjectRecord& o = e->pools.objects[index];
  o.limb_count = result;
  o.frame_count = o.model ? FrameCountOf(*o.model) : 0.0f;
  o.end_frame = o.frame_count;
  SizeTransitionArrays(o, result);
  InitLoadedLimbs(*e, index, result);
  ObjectRecord& loaded = e->pools.objects[index];
  loaded.collision_mode = 1;
  loaded.box_collision = 0;
  BuildFittedBoxes(*e, index);
  e->transforms_changed = 1;
}

void CmdInstanceObject(Vm& vm) {
  const int32_t source_number = vm.NextInt();
  const int32_t number = vm.NextInt();
  YieldForRefresh(vm);
  Engine3D* e = FindEngine(vm);
  if (!e) return;
  const int32_t source = ExistingObject(vm, *e, source_number);
  if (source == 0) return;
  if (!IdMap::InRange(number)) return vm.RunError(err::kNumber);
  // An object cannot be an instance of itself: it would be deleted first.
  if (number == source_number) return vm.RunError(err::kExists);
  if (const int32_t existing = e->pools.object_ids.Get(number); existing > 0) DeleteObject(*e, existing, number);
  const int32_t index = AllocObjectRecord(*e);
  if (index == kNoRecord) return;
  e->pools.object_ids.Set(number, index);
  // The instance shares the source's model and limbs, which live on until
  // the last of the objects using them is deleted.
  e->pools.objects[index] = e->pools.objects[source];
  ObjectRecord& o = e->pools.objects[index];
  o.number = number;
  o.animated = 0;
  o.playing = o.looping = 0;
  SetUpObject(*e, index, true);
  ObjectRecord& placed = e->pools.objects[index];
  placed.limb_count = e->pools.objects[source].limb_count;
  // It shares the source's keyframes, so it counts their frames: with none
  // it could not play them.
  placed.frame_count = placed.model ? FrameCountOf(*placed.model) : 0.0f;
  placed.end_frame = placed.frame_count;
  SizeTransitionArrays(placed, 0);
  InitLoadedLimbs(*e, index, placed.limb_count);
  BuildFittedBoxes(*e, index);
  e->transforms_changed = 1;
}

void CmdMakeObject(Vm& vm) {
  const int32_t number = vm.NextInt();
  const int32_t mesh = vm.NextInt();
  const int32_t image = vm.NextInt();
  YieldForRefresh(vm);
  Engine3D* e = FindEngine(vm);
  if (!e || !FreeObjectNumber(vm, *e, number)) return;
  if (mesh < 0 || mesh > kLastMeshNumber) return vm.RunError(err::kMeshNumber);
  const int32_t mesh_index = mesh == 0 ? 0 : e->pools.mesh_ids.Get(mesh);
  if (mesh != 0 && mesh_index <= 0) return vm.RunError(err::kMeshMissing);
  int32_t image_record = 0;
  if (!CheckedImage(vm, image, &image_record)) return;
  const int32_t index = AllocObjectRecord(*e);
  if (index == kNoRecord) return;
  e->pools.object_ids.Set(number, index);
  e->pools.objects[index].number = number;
  const int32_t texture = image_record > 0 ? GetImageTexture(*e, image_record, true) : 0;
  MakeObjectModelFromMesh(*e, index, mesh_index, texture);
  SetUpObject(*e, index, true);
  ObjectRecord& o = e->pools.objects[index];
  o.limb_count = 1;
  o.Limb(0)->image_index = image_record;
  o.Limb(0)->image_number = image;
  BuildFittedBoxes(*e, index);
  e->transforms_changed = 1;
}

void CmdDeleteObject(Vm& vm) {
  const int32_t number = vm.NextInt();
  YieldForRefresh(vm);
  Engine3D* e = FindEngine(vm);
  if (!e) return;
  if (const int32_t index = ExistingObject(vm, *e, number)) DeleteObject(*e, index, number);
}

// ---- Primitives ---------------------------------------------------------------------------

struct PrimitiveCollision {
  uint8_t box_mode;  // 1: tested by its own collision box
  int32_t kind;
  float a, b, c;
};

template <class MakeMesh>
void MakePrimitiveObject(Vm& vm, int32_t number, MakeMesh make_mesh, PrimitiveCollision collision,
                         bool both_sides) {
  YieldForRefresh(vm);
  Engine3D* e = FindEngine(vm);
  if (!e || !FreeObjectNumber(vm, *e, number)) return;
  const int32_t mesh = e->pools.AllocMesh(vm);
  if (mesh == kNoRecord) return;
  make_mesh(e->pools.meshes[mesh]);
  const int32_t index = AllocObjectRecord(*e);
  if (index == kNoRecord) {
    e->pools.FreeMesh(mesh);
    return;
  }
  e->pools.object_ids.Set(number, index);
  e->pools.objects[index].number = number;
  CreateObjectMeshWrapper(*e, index, mesh);
  const int32_t record = SetUpObject(*e, index, true);
  e->pools.FreeMesh(mesh);
  ObjectRecord& o = e->pools.objects[index];
  o.limb_count = 1;
  if (collision.box_mode) {
    o.collision_mode = 1;
    o.box_collision = 0;
  }
  o.collision_kind = collision.kind;
  o.collision_sizes = Vector3f{collision.a, collision.b, collision.c};
  if (o.model) o.model->BuildModelCollision(index, collision.kind, collision.a, collision.b, collision.c);
  if (both_sides && record != kNoRecord) e->Marks(record).culling = 0;
  e->transforms_changed = 1;
}

void CmdMakeObjectBox(Vm& vm) {
  const int32_t number = vm.NextInt();
  const float width = vm.NextFloat();
  const float height = vm.NextFloat();
  const float depth = vm.NextFloat();
  MakePrimitiveObject(
      vm, number, [&](MeshRecord& m) { MakeBoxMesh(m, width, height, depth); }, {1, 1, width, height, depth}, false);
}

template <void (*Make)(MeshRecord&, float), int32_t Kind, bool BoxMode>
void CmdMakeSizedPrimitive(Vm& vm) {
  const int32_t number = vm.NextInt();
  const float size = vm.NextFloat();
  PrimitiveCollision collision{BoxMode ? uint8_t{1} : uint8_t{0}, Kind, size / 2, size, 0};
  if (Kind == 3) collision = {1, Kind, size, 0, 0};  // the cube
  if (Kind == 2) collision.b = 0;                    // the sphere
  MakePrimitiveObject(vm, number, [&](MeshRecord& m) { Make(m, size); }, collision, false);
}

void CmdMakeObjectPlain(Vm& vm) {
  const int32_t number = vm.NextInt();
  const float width = vm.NextFloat();
  const float height = vm.NextFloat();
  MakePrimitiveObject(
      vm, number, [&](MeshRecord& m) { MakePlainMesh(m, width, height); }, {1, 6, width, height, 1.0f}, true);
}

void CmdMakeObjectTriangle(Vm& vm) {
  const int32_t number = vm.NextInt();
  std::array<float, 9> corners{};
  for (float& c : corners) c = vm.NextFloat();
  MakePrimitiveObject(
      vm, number, [&](MeshRecord& m) { MakeTriangleMesh(m, corners); }, {0, 99, 0, 0, 0}, true);
}

// ---- Collision boxes ----------------------------------------------------------------------

void CmdMakeObjectCollisionBox(Vm& vm) {
  const int32_t number = vm.NextInt();
  std::array<float, 6> v{};
  for (float& c : v) c = vm.NextFloat();
  const int32_t flag = vm.NextInt();
  Engine3D* e = FindEngine(vm);
  if (!e) return;
  const int32_t index = ExistingObject(vm, *e, number);
  if (index == 0) return;
  ObjectRecord& o = e->pools.objects[index];
  o.collision_mode = 1;
  o.box_min = Vector3f{v[0], v[1], v[2]};
  o.box_max = Vector3f{v[3], v[4], v[5]};
  o.box_centre = Vector3f{v[0] + (v[3] - v[0]) * 0.5f, v[1] + (v[4] - v[1]) * 0.5f, v[2] + (v[5] - v[2]) * 0.5f};
  o.box_collision = flag != 1 ? 1 : 0;
  o.own_box = flag != 1 ? 1 : 0;
  if (o.model) o.model->FreeModelCollision(index);
  // The others' hits may still name its shapes.
  e->transforms_changed = 1;
}

void CmdDeleteObjectCollisionBox(Vm& vm) {
  const int32_t number = vm.NextInt();
  Engine3D* e = FindEngine(vm);
  if (!e) return;
  const int32_t index = ExistingObject(vm, *e, number);
  if (index == 0) return;
  ObjectRecord& o = e->pools.objects[index];
  o.collision_mode = 0;
  // Its own box gave up the shapes of its kind: the collision library tests
  // it by them again, rather than never more.
  if (o.collision_on == 1 && o.model)
    o.model->BuildModelCollision(index, o.collision_kind, o.collision_sizes.x, o.collision_sizes.y,
                                 o.collision_sizes.z);
  e->transforms_changed = 1;
}

// ---- How an object is drawn -------------------------------------------------------------------

// The render flags commands: fill, transparency and cull, then as many of
// filter, light, fog and ambient as the opcode takes.
template <int Extra>
void CmdSetObjectRenderFlags(Vm& vm) {
  const int32_t number = vm.NextInt();
  const int32_t fill = vm.NextInt();
  const int32_t transparency = vm.NextInt();
  const int32_t cull = vm.NextInt();
  std::array<int32_t, 4> extra{};
  for (int i = 0; i < Extra; ++i) extra[static_cast<size_t>(i)] = vm.NextInt();
  YieldForRefresh(vm);
  Engine3D* e = FindEngine(vm);
  if (!e) return;
  const int32_t index = ExistingObject(vm, *e, number);
  if (index == 0) return;
  RenderMarks& m = MarksOf(*e, index);
  m.wireframe = fill != 1;
  m.colour_key = transparency != 1;
  m.culling = cull == 1;
  if (Extra >= 1) m.filtering = extra[0] == 1;
  if (Extra >= 2) m.unlit = extra[1] != 1;
  if (Extra >= 3) m.fog = extra[2] != 0;
  if (Extra >= 4) m.ambient = extra[3] != 0;
  if (m.colour_key == 1) KeyLimbTexturesOnBlack(*e, index);
}

void CmdSetObjectTextureMode(Vm& vm) {
  const int32_t number = vm.NextInt();
  const int32_t mode = vm.NextInt();
  const int32_t mipmap = vm.NextInt();
  YieldForRefresh(vm);
  Engine3D* e = FindEngine(vm);
  if (!e) return;
  const int32_t index = ExistingObject(vm, *e, number);
  if (index == 0) return;
  const Device3DCapabilities& caps = e->Capabilities();
  uint32_t address = 0;
  if (mode == 0 && caps.wrap_available) address = 1;
  if (mode == 1 && caps.mirror_available) address = 2;
  if (mode == 2 && caps.clamp_available) address = 3;
  if (address != 0) MarksOf(*e, index).address_mode = address;
  if (mipmap == 1 && MarksOf(*e, index).colour_key == 0 && caps.mipmap_available) BuildLimbTextureMipmaps(*e, index);
}

// Every limb from 0 up to the first that is not in use takes the shared
// solid-colour texture of the colour.
void CmdColourObject(Vm& vm) {
  const int32_t number = vm.NextInt();
  const int32_t colour = vm.NextInt();
  YieldForRefresh(vm);
  Engine3D* e = FindEngine(vm);
  if (!e) return;
  const int32_t index = ExistingObject(vm, *e, number);
  if (index == 0) return;
  for (int32_t limb = 0;; ++limb) {
    LimbRecord* l = e->pools.objects[index].Limb(limb);
    if (!l || l->in_use != 1) break;
    GiveLimbTexture(*e, index, limb, GetColourTexture(*e, static_cast<uint32_t>(colour)));
    l = e->pools.objects[index].Limb(limb);
    l->image_number = l->image_index = 0;
  }
}

template <uint32_t On>
void CmdSetObjectDepthSort(Vm& vm) {
  const int32_t number = vm.NextInt();
  YieldForRefresh(vm);
  Engine3D* e = FindEngine(vm);
  if (!e) return;
  if (const int32_t index = ExistingObject(vm, *e, number)) MarksOf(*e, index).depth_sorted = On;
}

template <uint32_t On>
void CmdSetWireframeAll(Vm& vm) {
  if (Engine3D* e = FindEngine(vm)) e->settings.wireframe_all = On;
}

void CmdSetMipmapMode(Vm& vm) {
  const int32_t mode = vm.NextInt();
  if (Engine3D* e = FindEngine(vm)) SetMipmapMode(*e, mode);
}

void CmdSetTextureAddressMode(Vm& vm) {
  const int32_t mode = vm.NextInt();
  YieldForRefresh(vm);
  if (Engine3D* e = FindEngine(vm)) e->settings.texture_address_mode = mode == 1 ? 2 : mode == 2 ? 3 : 1;
}

}  // namespace

void RegisterObjectHandlers(HandlerTable& table) {
  table.Set(op::kLoadObject, CmdLoadObject);
  table.Set(op::kInstanceObject, CmdInstanceObject);
  table.Set(op::kMakeObject, CmdMakeObject);
  table.Set(op::kDeleteObject, CmdDeleteObject);
  table.Set(op::kMakeObjectBox, CmdMakeObjectBox);
  table.Set(op::kMakeObjectSphere, CmdMakeSizedPrimitive<MakeSphereMesh, 2, false>);
  table.Set(op::kMakeObjectCube, CmdMakeSizedPrimitive<MakeCubeMesh, 3, true>);
  table.Set(op::kMakeObjectCylinder, CmdMakeSizedPrimitive<MakeCylinderMesh, 4, false>);
  table.Set(op::kMakeObjectCone, CmdMakeSizedPrimitive<MakeConeMesh, 5, false>);
  table.Set(op::kMakeObjectPlain, CmdMakeObjectPlain);
  table.Set(op::kMakeObjectTriangle, CmdMakeObjectTriangle);
  table.Set(op::kMakeObjectCollisionBox, CmdMakeObjectCollisionBox);
  table.Set(op::kDeleteObjectCollisionBox, CmdDeleteObjectCollisionBox);
  table.Set(op::kSetObjectRenderFlags, CmdSetObjectRenderFlags<0>);
  table.Set(op::kSetObjectRenderFlagsFilter, CmdSetObjectRenderFlags<1>);
  table.Set(op::kSetObjectRenderFlagsLight, CmdSetObjectRenderFlags<2>);
  table.Set(op::kSetObjectRenderFlagsFog, CmdSetObjectRenderFlags<3>);
  table.Set(op::kSetObjectRenderFlagsAmbient, CmdSetObjectRenderFlags<4>);
  table.Set(op::kColourObject, CmdColourObject);
  table.Set(op::kSetObjectTextureMode, CmdSetObjectTextureMode);
  table.Set(op::kEnableObjectDepthSort, CmdSetObjectDepthSort<1>);
  table.Set(op::kDisableObjectDepthSort, CmdSetObjectDepthSort<0>);
  table.Set(op::kEnableWireframe, CmdSetWireframeAll<1>);
  table.Set(op::kDisableWireframe, CmdSetWireframeAll<0>);
  table.Set(op::kSetMipmapMode, CmdSetMipmapMode);
  table.Set(op::kSetTextureAddressMode, CmdSetTextureAddressMode);
}

}  // namespace zv
