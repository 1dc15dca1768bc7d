#include "engine3d/commands/collision_commands.h"

#include "engine3d/commands/limb_checks.h"
#include "engine3d/objects/object_model.h"
#include "engine3d/objects/object_setup.h"
#include "engine3d/scene/collision_refresh.h"
#include "engine3d/scene/object_box_collision.h"

namespace zv {
namespace {

namespace shape = models::collision_kind;

// Collision modes: the collision library's shapes, or the object's own box.
constexpr uint8_t kLibraryMode = 0;
constexpr uint8_t kOwnBoxMode = 1;

// Can take part in a test: not locked to the camera (nor hanging from an
// object that is) and collision on.
bool Testable(Engine3D& e, int32_t index) {
  return !LockedToCamera(e, index) && e.pools.objects[index].collision_on == 1;
}

template <int32_t On>
void CmdSetCollisions(Vm& vm) {
  vm.render_timing.collision_on = On != 0;
}

void CmdEnableObjectCollision(Vm& vm) {
  const int32_t number = vm.NextInt();
  const auto [e, index] = CheckedObject(vm, number);
  if (index == 0) return;
  ObjectRecord& o = e->pools.objects[index];
  o.collision_on = 1;
  // The primitives that test by their box keep library shapes as well, for
  // the objects that test by the library: those come back too.
  if (o.collision_mode == kLibraryMode || o.box_replaces_shapes == 0) RebuildCollisionShapes(*e, index);
  FileLibraryBox(*e, index);
  e->transforms_changed = 1;
}

void CmdDisableObjectCollision(Vm& vm) {
  const int32_t number = vm.NextInt();
  const auto [e, index] = CheckedObject(vm, number);
  if (index == 0) return;
  ObjectRecord& o = e->pools.objects[index];
  o.collision_on = 0;
  if (o.model) o.model->FreeModelCollision(index);
  FileLibraryBox(*e, index);
  e->transforms_changed = 1;
}

// Every mesh of the object files a shape of the kind for the library.
template <int32_t Kind>
void CmdSetObjectCollisionTo(Vm& vm) {
  const int32_t number = vm.NextInt();
  const auto [e, index] = CheckedObject(vm, number);
  if (index == 0) return;
  e->pools.objects[index].collision_mode = kLibraryMode;
  e->pools.objects[index].box_replaces_shapes = 0;
  FileLibraryBox(*e, index);
  FitCollisionShapes(*e, index, Kind);
  e->transforms_changed = 1;
}

// ---- Whether objects hit ---------------------------------------------------------------

// Through the collision library: whether the last test run paired a with
// b, or (b 0) the number of the object a last hit.
int32_t LibraryResult(Engine3D& e, int32_t a, int32_t b) {
  if (!Testable(e, a)) return 0;
  if (b != 0 && !Testable(e, b)) return 0;
  SetWantedPartner(e, a, b);
  RefreshObjectCollisions(e);
  // The hits of the last run: a partner other than the one the run was
  // made for is answered right too.
  if (b != 0) return ObjectsHit(e, a, b) ? 1 : 0;
  const ObjectRecord* hit = e.pools.Object(e.pools.objects[a].last_hit);
  return hit && hit->in_use == 1 ? hit->number : 0;
}

// By the objects' own boxes: whether a meets b, or (b 0) the number of the
// last object in the render list whose box a meets.
//
// An object that tests by the library has no box to meet; a primitive that
// tests by its box keeps the library shapes of its kind too, and a box made
// for an object stands in the library in place of its shapes, so the two
// meet there, and each answers the same about the other.
int32_t OwnBoxResult(Engine3D& e, int32_t a, int32_t b) {
  e.collision.box_correction = Vector3f{};
  if (!Testable(e, a)) {
    SetLastHit(e, a, 0);
    return 0;
  }
  if (b != 0) {
    const ObjectRecord& ob = e.pools.objects[b];
    if (ob.collision_mode != kOwnBoxMode) return LibraryResult(e, a, b);
    SetLastHit(e, a, 0);
    if (!Testable(e, b)) return 0;
    return TestObjectBoxes(e, a, b);
  }
  const int32_t library_hit = LibraryResult(e, a, 0) != 0 ? e.pools.objects[a].last_hit : 0;
  int32_t last = 0;
  for (const int32_t other : BoxNeighbours(e, a))
    if (TestObjectBoxes(e, a, other)) last = other;
  if (last == 0) last = library_hit;
  SetLastHit(e, a, last);
  return last > 0 ? e.pools.objects[last].number : 0;
}

// The collision result of object a against object number `b_number` (0:
// any object); 0 while collision is off everywhere, and for a number that
// names no object.
int32_t CollisionResult(Vm& vm, Engine3D& e, int32_t a, int32_t b_number) {
  if (!vm.render_timing.collision_on) return 0;
  int32_t b = 0;
  if (b_number != 0) {
    if (!IdMap::InRange(b_number)) return 0;
    b = e.pools.object_ids.Get(b_number);
    const ObjectRecord* ob = e.pools.Object(b);
    if (b <= 0 || !ob || ob->in_use != 1) return 0;
  }
  return e.pools.objects[a].collision_mode == kLibraryMode ? LibraryResult(e, a, b) : OwnBoxResult(e, a, b);
}

// Reads the result slot and both objects and checks object a; the record
// index of a, or 0 after an error.
struct HitQuery {
  Slot result;
  int32_t a = 0;
  int32_t b_number = 0;
  Engine3D* engine = nullptr;
};

HitQuery ReadHitQuery(Vm& vm) {
  HitQuery q;
  q.result = vm.NextSlot();
  const int32_t a_number = vm.NextInt();
  q.b_number = vm.NextInt();
  // Object a's root limb must be in use: 7023 when it is not.
  const FoundRecord a = CheckedObject(vm, a_number);
  q.engine = a.e;
  if (a.index == 0) return q;
  const LimbRecord* root = q.engine->pools.objects[a.index].Limb(0);
  if (!root || root->in_use != 1) {
    vm.RunError(limb_error::kMissing);
    return q;
  }
  q.a = a.index;
  return q;
}

// Reports a lasting contact once: nonzero only when the previous answer
// was 0.
void FnObjectHit(Vm& vm) {
  const HitQuery q = ReadHitQuery(vm);
  if (q.a == 0) return;
  const int32_t result = CollisionResult(vm, *q.engine, q.a, q.b_number);
  ObjectRecord& o = q.engine->pools.objects[q.a];
  vm.SetInt(q.result, o.previous_hit == 0 ? result : 0);
  o.previous_hit = result;
}

void FnObjectCollision(Vm& vm) {
  const HitQuery q = ReadHitQuery(vm);
  if (q.a != 0) vm.SetInt(q.result, CollisionResult(vm, *q.engine, q.a, q.b_number));
}

template <float Vector3f::*Axis>
void FnObjectCollisionResult(Vm& vm) {
  const Slot result = vm.NextSlot();
  if (Engine3D* e = FindEngine(vm)) vm.SetFloat(result, e->collision.box_correction.*Axis);
}

}  // namespace

void RegisterCollisionHandlers(HandlerTable& table) {
  table.Set(7061, CmdSetCollisions<1>);  // enable collisions
  table.Set(7062, CmdSetCollisions<0>);  // disable collisions
  table.Set(7063, CmdEnableObjectCollision);
  table.Set(7064, CmdDisableObjectCollision);
  table.Set(7067, CmdSetObjectCollisionTo<shape::kFittedSphere>);  // set object collision to spheres
  table.Set(7074, CmdSetObjectCollisionTo<shape::kFittedBox>);  // set object collision to boxes
  table.Set(7071, CmdSetObjectCollisionTo<shape::kTriangles>);  // set object collision to polygons
  table.Set(7519, FnObjectHit);
  table.Set(7520, FnObjectCollision);
  table.Set(7575, FnObjectCollisionResult<&Vector3f::x>);  // object collision result x
  table.Set(7576, FnObjectCollisionResult<&Vector3f::y>);  // object collision result y
  table.Set(7577, FnObjectCollisionResult<&Vector3f::z>);  // object collision result z
}

}  // namespace zv
