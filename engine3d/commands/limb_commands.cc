#include "engine3d/commands/limb_commands.h"

#include <algorithm>
#include <utility>

#include "display/graphics.h"
#include "engine3d/commands/limb_checks.h"
#include "engine3d/objects/model_loading.h"
#include "engine3d/objects/object_model.h"
#include "engine3d/objects/object_setup.h"
#include "engine3d/render/render_states.h"
#include "engine3d/render/textures.h"

namespace zv {
namespace {

namespace err = limb_error;

// The most objects a glue chain holds, the top one included (as error 7029
// says); the drawing walks up no further.
constexpr int32_t kLongestGlueChain = 10;

// How many objects stand above `index` through their glue, counting itself
// (1 for an object that is not glued); past the longest chain it stops.
int32_t ChainAbove(Engine3D& e, int32_t index) {
  int32_t length = 1;
  for (const ObjectRecord* o = e.pools.Object(index); o && o->glued_to > 0 && length <= kLongestGlueChain;
       o = e.pools.Object(o->glued_to))
    ++length;
  return length;
}

// How many objects hang below `index` through glue at the most, counting
// itself; the search stops once it is deeper than the longest chain.
int32_t ChainBelow(Engine3D& e, int32_t index, int32_t depth = 1) {
  if (depth > kLongestGlueChain) return depth;
  int32_t deepest = depth;
  for (const int32_t child : e.glue_links.ChildrenOf(index)) {
    const ObjectRecord* o = e.pools.Object(child);
    if (o && o->glued_to == index && child != index) deepest = std::max(deepest, ChainBelow(e, child, depth + 1));
  }
  return deepest;
}

// Whether `target` is `index` or glued to it through others.
bool GluedThrough(Engine3D& e, int32_t target, int32_t index) {
  int32_t steps = 0;
  for (int32_t at = target; at > 0 && steps <= kLongestGlueChain; ++steps) {
    if (at == index) return true;
    const ObjectRecord* o = e.pools.Object(at);
    at = o ? o->glued_to : 0;
  }
  return false;
}

// The limb's frame matrix from its offset, angles and scale, in the
// object's rotation order; the bounds follow.
void RebuildLimbTransform(Engine3D& e, int32_t index, int32_t limb) {
  ObjectRecord& o = e.pools.objects[index];
  const LimbRecord& l = *o.Limb(limb);
  if (std::shared_ptr<ObjectModel> model = o.model)
    model->SetObjectTransformDegrees(limb, l.offset, l.angles, l.scale, o.rotation_order);
  ComputeObjectBounds(e, index);
  e.transforms_changed = 1;
}

// Gives the limb the image's texture and remembers the image.
void TextureLimbWithImage(Engine3D& e, int32_t index, int32_t limb, int32_t image, int32_t image_record) {
  GiveLimbTexture(e, index, limb, image_record > 0 ? GetImageTexture(e, image_record, true) : 0);
  LimbRecord& l = *e.pools.objects[index].Limb(limb);
  l.image_number = image;
  l.image_index = image_record;
}

// Runs `change` for limb 0 and each following limb up to the first that
// is not in use.
template <class Change>
void ForEachLimbInUse(Engine3D& e, int32_t index, Change change) {
  for (int32_t limb = 0;; ++limb) {
    const LimbRecord* l = e.pools.objects[index].Limb(limb);
    if (!l || l->in_use != 1) return;
    change(limb);
  }
}

// Every limb from 0 up to the first that is not in use takes the image's
// texture.
void TextureObjectWithImage(Engine3D& e, int32_t index, int32_t image, int32_t image_record) {
  ForEachLimbInUse(e, index, [&](int32_t limb) { TextureLimbWithImage(e, index, limb, image, image_record); });
}

void CmdAddLimb(Vm& vm) {
  const int32_t number = vm.NextInt();
  const int32_t limb = vm.NextInt();
  const int32_t mesh = vm.NextInt();
  const auto [e, index] = CheckedObject(vm, number);
  if (index == 0) return;
  int32_t mesh_index = 0;
  if (!OptionalMesh(vm, *e, mesh, &mesh_index)) return;
  ObjectRecord& o = e->pools.objects[index];
  if (limb < 1 || limb >= o.LimbCapacity()) return vm.RunError(err::kNewNumber);
  if (o.Limb(limb)->in_use == 1) return vm.RunError(err::kExists);
  if (limb > 1 && o.Limb(limb - 1)->in_use != 1) return vm.RunError(err::kGap);
  InitLimbRecord(o, limb);
  AddLimbFromMesh(*e, index, limb, mesh_index);
  ObjectRecord& added = e->pools.objects[index];
  ++added.limb_count;
  ComputeObjectBounds(*e, index);
  FitShapesAfterNewLimb(*e, index);
  e->transforms_changed = 1;
}

void CmdChangeLimbMesh(Vm& vm) {
  const int32_t number = vm.NextInt();
  const int32_t limb = vm.NextInt();
  const int32_t mesh = vm.NextInt();
  YieldForRefresh(vm);
  const auto [e, index] = CheckedObject(vm, number);
  if (index == 0) return;
  // The limb must be in use, which is checked after the mesh.
  const LimbRecord* l = LimbSlot(vm, e->pools.objects[index], limb);
  if (!l) return;
  const int32_t mesh_index = ExistingMesh(vm, *e, mesh);
  if (mesh_index == 0) return;
  if (l->in_use != 1) return vm.RunError(err::kMissing);
  ReplaceObjectLimbGeometry(*e, index, limb, mesh_index);
  ComputeObjectBounds(*e, index);
  e->transforms_changed = 1;
}

void CmdTextureLimb(Vm& vm) {
  const int32_t number = vm.NextInt();
  const int32_t limb = vm.NextInt();
  const int32_t image = vm.NextInt();
  const auto [e, index] = CheckedObject(vm, number);
  if (index == 0) return;
  int32_t image_record = 0;
  if (!OptionalImage(vm, image, &image_record)) return;
  if (!ExistingLimb(vm, e->pools.objects[index], limb)) return;
  TextureLimbWithImage(*e, index, limb, image, image_record);
}

void CmdColourLimb(Vm& vm) {
  const int32_t number = vm.NextInt();
  const int32_t limb = vm.NextInt();
  const int32_t colour = vm.NextInt();
  auto [e, index, l] = CheckedLimb(vm, number, limb);
  if (index == 0) return;
  GiveLimbTexture(*e, index, limb, GetColourTexture(*e, static_cast<uint32_t>(colour)));
  l = e->pools.objects[index].Limb(limb);
  l->image_number = l->image_index = 0;
}

void CmdOffsetLimb(Vm& vm) {
  const int32_t number = vm.NextInt();
  const int32_t limb = vm.NextInt();
  const Vector3f offset = NextVector(vm);
  const auto [e, index, l] = CheckedLimb(vm, number, limb);
  if (index == 0) return;
  l->offset = offset;
  RebuildLimbTransform(*e, index, limb);
}

void CmdRotateLimb(Vm& vm) {
  const int32_t number = vm.NextInt();
  const int32_t limb = vm.NextInt();
  const Vector3f angles = NextVector(vm);
  const auto [e, index, l] = CheckedLimb(vm, number, limb);
  if (index == 0) return;
  if (!AngleInRange(angles.x) || !AngleInRange(angles.y) || !AngleInRange(angles.z))
    return vm.RunError(object_error::kAngle);
  l->angles = angles;
  RebuildLimbTransform(*e, index, limb);
}

void CmdScaleLimb(Vm& vm) {
  const int32_t number = vm.NextInt();
  const int32_t limb = vm.NextInt();
  const int32_t x = vm.NextInt();
  const int32_t y = vm.NextInt();
  const int32_t z = vm.NextInt();
  const auto [e, index, l] = CheckedLimb(vm, number, limb);
  if (index == 0) return;
  l->scale = Vector3f{static_cast<float>(x) / 100.0f, static_cast<float>(y) / 100.0f, static_cast<float>(z) / 100.0f};
  RebuildLimbTransform(*e, index, limb);
}

void CmdLinkLimb(Vm& vm) {
  const int32_t number = vm.NextInt();
  const int32_t limb = vm.NextInt();
  const int32_t parent = vm.NextInt();
  const auto [e, index, l] = CheckedLimb(vm, number, limb);
  if (index == 0) return;
  if (parent == limb) return vm.RunError(err::kNumber);
  if (!ExistingLimb(vm, e->pools.objects[index], parent)) return;
  if (l->may_link == 0) return vm.RunError(err::kLinked);
  std::shared_ptr<ObjectModel> model = e->pools.objects[index].model;
  if (model && model->ReparentLimb(limb, parent) != kModelOk) return vm.RunError(err::kRefused);
  e->pools.objects[index].Limb(limb)->may_link = 0;
  ComputeObjectBounds(*e, index);
  e->transforms_changed = 1;
}

template <int32_t Shown>
void CmdShowLimb(Vm& vm) {
  const int32_t number = vm.NextInt();
  const int32_t limb = vm.NextInt();
  const auto [e, index, l] = CheckedLimb(vm, number, limb);
  if (index == 0) return;
  l->shown = Shown;
  ObjectRecord& o = e->pools.objects[index];
  if (std::shared_ptr<ObjectModel> model = o.model) {
    model->SetLimbVisible(limb, Shown);
    // A hidden limb is out of the collision shapes until it is shown again.
    if (Shown)
      model->BuildLimbCollision(index, limb, o.collision_kind);
    else
      model->FreeLimbCollision(limb);
  }
  // Its size and own box are those of what it shows.
  ComputeObjectBounds(*e, index);
  e->transforms_changed = 1;
}

// Moves (Scroll) or scales the texture coordinates of one limb's mesh; a
// limb outside the slots or not in use is passed over.
template <bool Scroll>
void CmdChangeLimbTexture(Vm& vm) {
  const int32_t number = vm.NextInt();
  const int32_t limb = vm.NextInt();
  const float u = vm.NextFloat();
  const float v = vm.NextFloat();
  YieldForRefresh(vm);
  const auto [e, index] = CheckedObject(vm, number);
  if (index == 0) return;
  ObjectRecord& o = e->pools.objects[index];
  const LimbRecord* l = o.Limb(limb);
  if (!l || l->in_use != 1 || !o.model) return;
  if (Scroll)
    o.model->ScrollLimbTexture(limb, u, v);
  else
    o.model->ScaleLimbTexture(limb, u, v);
}

// The same for every limb from 0 up to the first that is not in use.
template <bool Scroll>
void CmdChangeObjectTexture(Vm& vm) {
  const int32_t number = vm.NextInt();
  const float u = vm.NextFloat();
  const float v = vm.NextFloat();
  YieldForRefresh(vm);
  const auto [e, index] = CheckedObject(vm, number);
  if (index == 0) return;
  std::shared_ptr<ObjectModel> model = e->pools.objects[index].model;
  if (!model) return;
  ForEachLimbInUse(*e, index, [&](int32_t limb) {
    if (Scroll)
      model->ScrollLimbTexture(limb, u, v);
    else
      model->ScaleLimbTexture(limb, u, v);
  });
}

void CmdTextureObject(Vm& vm) {
  const int32_t number = vm.NextInt();
  const int32_t image = vm.NextInt();
  YieldForRefresh(vm);
  const auto [e, index] = CheckedObject(vm, number);
  if (index == 0) return;
  int32_t image_record = 0;
  if (!OptionalImage(vm, image, &image_record)) return;
  TextureObjectWithImage(*e, index, image, image_record);
}

void CmdGlueObjectToLimb(Vm& vm) {
  const int32_t number = vm.NextInt();
  const int32_t target_number = vm.NextInt();
  const int32_t limb = vm.NextInt();
  const auto [e, index] = CheckedObject(vm, number);
  if (index == 0) return;
  const int32_t target = ExistingObject(vm, *e, target_number);
  if (target == 0 || !ExistingLimb(vm, e->pools.objects[target], limb)) return;
  // A loop would have no top to place it from, and the drawing walks only
  // so many objects up a chain.
  if (GluedThrough(*e, target, index) || ChainAbove(*e, target) + ChainBelow(*e, index) > kLongestGlueChain)
    return vm.RunError(err::kGlueChain);
  SetGlue(*e, index, target, limb);
  ObjectRecord& o = e->pools.objects[index];
  // From now on the position is an offset from the limb.
  RenderRecordOf(*e, index).position = {0, 0, 0};
  o.free_rotation = 0;
  RebuildObjectTransformFromAngles(*e, index);
  e->transforms_changed = 1;
}

void CmdUnglueObject(Vm& vm) {
  const int32_t number = vm.NextInt();
  const auto [e, index] = CheckedObject(vm, number);
  if (index == 0) return;
  if (e->pools.objects[index].glued_to > 0) UnglueInPlace(*e, index);
}

}  // namespace

void RegisterLimbHandlers(HandlerTable& table) {
  table.Set(7011, CmdAddLimb);
  table.Set(7027, CmdChangeLimbMesh);
  table.Set(7012, CmdTextureLimb);
  table.Set(7018, CmdColourLimb);
  table.Set(7013, CmdOffsetLimb);
  table.Set(7014, CmdRotateLimb);
  table.Set(7015, CmdScaleLimb);
  table.Set(7016, CmdLinkLimb);
  table.Set(7019, CmdShowLimb<0>);  // hide limb
  table.Set(7020, CmdShowLimb<1>);
  table.Set(7202, CmdChangeLimbTexture<true>);  // scroll limb texture
  table.Set(7204, CmdChangeLimbTexture<false>);  // scale limb texture
  table.Set(7035, CmdTextureObject);
  table.Set(7201, CmdChangeObjectTexture<true>);  // scroll object texture
  table.Set(7203, CmdChangeObjectTexture<false>);  // scale object texture
  table.Set(7612, CmdGlueObjectToLimb);
  table.Set(7613, CmdUnglueObject);
}

}  // namespace zv
