#include "engine3d/objects/object_commands.h"

#include <algorithm>
#include <array>
#include <string>
#include <utility>

#include "display/graphics.h"
#include "engine3d/commands/command_checks.h"
#include "engine3d/objects/keyframe_editing.h"
#include "engine3d/objects/mesh_records.h"
#include "engine3d/objects/model_loading.h"
#include "engine3d/objects/object_model.h"
#include "engine3d/objects/object_setup.h"
#include "engine3d/render/render_settings.h"
#include "engine3d/render/textures.h"
#include "engine3d/scene/object_box_collision.h"

namespace zv {
namespace {

namespace err = object_error;
namespace shape = models::collision_kind;

// Every limb of a loaded object (limbs first to end - 1) takes its frame's translation
// as its offset, and may not be linked.
void InitLoadedLimbs(Engine3D& e, int32_t index, int32_t first, int32_t end) {
  for (int32_t limb = first; limb < end; ++limb) {
    ObjectRecord& o = e.pools.objects[index];
    InitLimbRecord(o, limb);
    Matrix4 frame = Matrix4::Identity();
    if (o.model) o.model->GetLimbMatrix(limb, &frame);
    LimbRecord& l = *o.Limb(limb);
    l.offset = Vector3f{frame.m[3][0], frame.m[3][1], frame.m[3][2]};
    l.may_link = 0;
  }
}

// An instance shares the source's limbs, whose pose, visibility and
// textures its model still shows: they stay as they are (a limb the source
// lacks is set up as a loaded one), and none may be linked any more.
void ShareLimbsWithInstance(Engine3D& e, int32_t index, int32_t count) {
  for (int32_t limb = 0; limb < count; ++limb) {
    LimbRecord* l = e.pools.objects[index].Limb(limb);
    if (!l || l->in_use != 1) {
      InitLoadedLimbs(e, index, limb, limb + 1);
      continue;
    }
    l->may_link = 0;
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
  std::string why;
  const int32_t result = LoadObjectMesh(*e, index, file, &why);
  if (result <= 0) {
    ReleaseObjectRecord(*e, index);
    switch (result) {
      case load_result::kNotFound: return vm.RunError(err::kFileNotFound, file);
      case load_result::kNoConvert: return vm.RunWarning(err::kConvert, file, why);
      case load_result::kBadKind: return vm.RunError(err::kModelKind, file);
      default: return vm.RunError(err::kLoad, file, why);
    }
  }
  e->pools.object_ids.Set(number, index);
  e->pools.objects[index].number = number;
  if (SetUpObject(*e, index, true) == kNoRecord) return (void)DeleteObject(*e, index, number);
  ObjectRecord& o = e->pools.objects[index];
  o.limb_count = result;
  o.frame_count = o.model ? LastWholeKeyTime(o.model->Keyframes()) : 0.0f;
  o.end_frame = o.frame_count;
  SizeTransitionArrays(o, result);
  InitLoadedLimbs(*e, index, 0, result);
  ObjectRecord& loaded = e->pools.objects[index];
  loaded.collision_mode = 1;
  loaded.box_collision = 0;
  FitCollisionShapes(*e, index, shape::kFittedBox);
  e->transforms_changed = 1;
  // The object is there all the same; a built game goes on with it.
  if (!why.empty()) vm.RunWarning(err::kModelFault, file, why);
}

void CmdInstanceObject(Vm& vm) {
  const int32_t source_number = vm.NextInt();
  const int32_t number = vm.NextInt();
  YieldForRefresh(vm);
  const auto [e, source] = CheckedObject(vm, source_number);
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
  if (SetUpObject(*e, index, true) == kNoRecord) return (void)DeleteObject(*e, index, number);
  ObjectRecord& placed = e->pools.objects[index];
  placed.limb_count = e->pools.objects[source].limb_count;
  // It shares the source's keyframes, so it counts their frames: with none
  // it could not play them.
  placed.frame_count = placed.model ? LastWholeKeyTime(placed.model->Keyframes()) : 0.0f;
  placed.end_frame = placed.frame_count;
  SizeTransitionArrays(placed, 0);
  ShareLimbsWithInstance(*e, index, placed.limb_count);
  FitCollisionShapes(*e, index, shape::kFittedBox);
  e->transforms_changed = 1;
}

void CmdMakeObject(Vm& vm) {
  const int32_t number = vm.NextInt();
  const int32_t mesh = vm.NextInt();
  const int32_t image = vm.NextInt();
  YieldForRefresh(vm);
  Engine3D* e = EngineForNewObject(vm, number);
  if (!e) return;
  int32_t mesh_index = 0;
  if (!OptionalMesh(vm, *e, mesh, &mesh_index)) return;
  int32_t image_record = 0;
  if (!OptionalImage(vm, image, &image_record)) return;
  const int32_t index = AllocObjectRecord(*e);
  if (index == kNoRecord) return;
  e->pools.object_ids.Set(number, index);
  e->pools.objects[index].number = number;
  const int32_t texture = image_record > 0 ? GetImageTexture(*e, image_record, true) : 0;
  MakeObjectModelFromMesh(*e, index, mesh_index, texture);
  if (SetUpObject(*e, index, true) == kNoRecord) return (void)DeleteObject(*e, index, number);
  ObjectRecord& o = e->pools.objects[index];
  o.limb_count = 1;
  o.Limb(0)->image_index = image_record;
  o.Limb(0)->image_number = image;
  FitCollisionShapes(*e, index, shape::kFittedBox);
  e->transforms_changed = 1;
}

void CmdDeleteObject(Vm& vm) {
  const int32_t number = vm.NextInt();
  YieldForRefresh(vm);
  const auto [e, index] = CheckedObject(vm, number);
  if (index != 0) DeleteObject(*e, index, number);
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
  Engine3D* e = EngineForNewObject(vm, number);
  if (!e) return;
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
  if (record == kNoRecord) return (void)DeleteObject(*e, index, number);
  ObjectRecord& o = e->pools.objects[index];
  o.limb_count = 1;
  if (collision.box_mode) {
    o.collision_mode = 1;
    o.box_collision = 0;
  }
  o.collision_kind = collision.kind;
  o.collision_sizes = Vector3f{collision.a, collision.b, collision.c};
  if (o.model) o.model->BuildModelCollision(index, collision.kind, collision.a, collision.b, collision.c);
  if (both_sides) e->Marks(record).culling = 0;
  e->transforms_changed = 1;
}

void CmdMakeObjectBox(Vm& vm) {
  const int32_t number = vm.NextInt();
  const float width = vm.NextFloat();
  const float height = vm.NextFloat();
  const float depth = vm.NextFloat();
  MakePrimitiveObject(
      vm, number, [&](MeshRecord& m) { MakeBoxMesh(m, width, height, depth); },
      {1, shape::kBox, width, height, depth}, false);
}

template <void (*Make)(MeshRecord&, float), int32_t Kind, bool BoxMode>
void CmdMakeSizedPrimitive(Vm& vm) {
  const int32_t number = vm.NextInt();
  const float size = vm.NextFloat();
  PrimitiveCollision collision{BoxMode ? uint8_t{1} : uint8_t{0}, Kind, size / 2, size, 0};
  if (Kind == shape::kCube) collision = {1, Kind, size, 0, 0};
  if (Kind == shape::kSphere) collision.b = 0;
  MakePrimitiveObject(vm, number, [&](MeshRecord& m) { Make(m, size); }, collision, false);
}

void CmdMakeObjectPlain(Vm& vm) {
  const int32_t number = vm.NextInt();
  const float width = vm.NextFloat();
  const float height = vm.NextFloat();
  MakePrimitiveObject(
      vm, number, [&](MeshRecord& m) { MakePlainMesh(m, width, height); },
      {1, shape::kFlatBox, width, height, 1.0f}, true);
}

void CmdMakeObjectTriangle(Vm& vm) {
  const int32_t number = vm.NextInt();
  std::array<float, 9> corners{};
  for (float& c : corners) c = vm.NextFloat();
  MakePrimitiveObject(
      vm, number, [&](MeshRecord& m) { MakeTriangleMesh(m, corners); }, {0, shape::kTriangles, 0, 0, 0}, true);
}

// ---- Collision boxes ----------------------------------------------------------------------

void CmdMakeObjectCollisionBox(Vm& vm) {
  const int32_t number = vm.NextInt();
  std::array<float, 6> v{};
  for (float& c : v) c = vm.NextFloat();
  const int32_t flag = vm.NextInt();
  const auto [e, index] = CheckedObject(vm, number);
  if (index == 0) return;
  ObjectRecord& o = e->pools.objects[index];
  o.collision_mode = 1;
  o.box_min = Vector3f{v[0], v[1], v[2]};
  o.box_max = Vector3f{v[3], v[4], v[5]};
  o.box_centre = Vector3f{v[0] + (v[3] - v[0]) * 0.5f, v[1] + (v[4] - v[1]) * 0.5f, v[2] + (v[5] - v[2]) * 0.5f};
  o.box_collision = flag != 1 ? 1 : 0;
  o.own_box = flag != 1 ? 1 : 0;
  o.box_replaces_shapes = 1;
  if (o.model) o.model->FreeModelCollision(index);
  // The box stands for it with objects that test by shapes too.
  FileLibraryBox(*e, index);
  // The others' hits may still name its shapes.
  e->transforms_changed = 1;
}

void CmdDeleteObjectCollisionBox(Vm& vm) {
  const int32_t number = vm.NextInt();
  const auto [e, index] = CheckedObject(vm, number);
  if (index == 0) return;
  ObjectRecord& o = e->pools.objects[index];
  o.collision_mode = 0;
  o.box_replaces_shapes = 0;
  FileLibraryBox(*e, index);
  // Its own box gave up the shapes of its kind: the collision library tests
  // it by them again, rather than never more.
  if (o.collision_on == 1) RebuildCollisionShapes(*e, index);
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
  const auto [e, index] = CheckedObject(vm, number);
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
  const auto [e, index] = CheckedObject(vm, number);
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
  const auto [e, index] = CheckedObject(vm, number);
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
  const auto [e, index] = CheckedObject(vm, number);
  if (index != 0) MarksOf(*e, index).depth_sorted = On;
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
  table.Set(7000, CmdLoadObject);
  table.Set(7264, CmdInstanceObject);
  table.Set(7008, CmdMakeObject);
  table.Set(7009, CmdDeleteObject);
  table.Set(7041, CmdMakeObjectBox);
  table.Set(7042, CmdMakeSizedPrimitive<MakeSphereMesh, shape::kSphere, false>);  // make object sphere
  table.Set(7043, CmdMakeSizedPrimitive<MakeCubeMesh, shape::kCube, true>);  // make object cube
  table.Set(7044, CmdMakeSizedPrimitive<MakeCylinderMesh, shape::kCylinder, false>);  // make object cylinder
  table.Set(7045, CmdMakeSizedPrimitive<MakeConeMesh, shape::kCone, false>);  // make object cone
  table.Set(7046, CmdMakeObjectPlain);
  table.Set(7047, CmdMakeObjectTriangle);
  table.Set(7092, CmdMakeObjectCollisionBox);
  table.Set(7093, CmdDeleteObjectCollisionBox);
  table.Set(7010, CmdSetObjectRenderFlags<0>);
  table.Set(7039, CmdSetObjectRenderFlags<1>);
  table.Set(7040, CmdSetObjectRenderFlags<2>);
  table.Set(7048, CmdSetObjectRenderFlags<3>);
  table.Set(7049, CmdSetObjectRenderFlags<4>);
  table.Set(7038, CmdColourObject);
  table.Set(7075, CmdSetObjectTextureMode);
  table.Set(7076, CmdSetObjectDepthSort<1>);  // enable object depth sort
  table.Set(7077, CmdSetObjectDepthSort<0>);  // disable object depth sort
  table.Set(7090, CmdSetWireframeAll<1>);  // enable wireframe
  table.Set(7094, CmdSetWireframeAll<0>);  // disable wireframe
  table.Set(7097, CmdSetMipmapMode);
  table.Set(7098, CmdSetTextureAddressMode);
}

}  // namespace zv
