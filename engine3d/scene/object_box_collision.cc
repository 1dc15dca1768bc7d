#include "engine3d/scene/object_box_collision.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "collision/collision_interface.h"
#include "collision/oriented_box.h"
#include "engine3d/engine.h"
#include "engine3d/objects/object_model.h"
#include "engine3d/objects/object_setup.h"
#include "engine3d/render/render_states.h"
#include "engine3d/render/screen_position.h"
#include "engine3d/scene/animation.h"

namespace zv {
namespace {

struct WorldBox {
  Vector3f min, max;
};

WorldBox BoxAt(const ObjectRecord& o, const Vector3f& position) {
  return WorldBox{{o.box_min.x + position.x, o.box_min.y + position.y, o.box_min.z + position.z},
                  {o.box_max.x + position.x, o.box_max.y + position.y, o.box_max.z + position.z}};
}

// Where the object's box stands now and stood in the last frame: at its
// position, or glued, where its limb holds it (taken as where it stood).
struct BoxPlaces {
  Vector3f now, was;
};
BoxPlaces PlacesOf(Engine3D& e, int32_t index) {
  const ObjectRecord& o = e.pools.objects[index];
  const SpriteRecord& r = e.Sprites()[o.render_record];
  if (o.glued_to != 0) {
    const Vector3f origin = ObjectWorldOrigin(e, index);
    return BoxPlaces{origin, origin};
  }
  return BoxPlaces{{r.position[0], r.position[1], r.position[2]},
                   {r.previous_position[0], r.previous_position[1], r.previous_position[2]}};
}

// Overlap on every axis, touching faces excluded.
bool BoxesOverlap(const WorldBox& a, const WorldBox& b) {
  return a.min.x < b.max.x && a.max.x > b.min.x && a.min.y < b.max.y && a.max.y > b.min.y &&
         a.min.z < b.max.z && a.max.z > b.min.z;
}

int32_t AxisAlignedTest(Engine3D& e, int32_t ia, int32_t ib) {
  const ObjectRecord& a = e.pools.objects[ia];
  const ObjectRecord& b = e.pools.objects[ib];
  const BoxPlaces pa = PlacesOf(e, ia), pb = PlacesOf(e, ib);
  const WorldBox now_a = BoxAt(a, pa.now), now_b = BoxAt(b, pb.now);
  if (!BoxesOverlap(now_a, now_b)) return 0;
  if (b.box_collision != 1) return 1;
  // The face a crossed is the one the boxes were nearest along in the last
  // frame; the first of equally near ones wins.
  const WorldBox was_a = BoxAt(a, pa.was), was_b = BoxAt(b, pb.was);
  const float distances[6] = {std::fabs(was_a.max.x - was_b.min.x), std::fabs(was_b.max.x - was_a.min.x),
                              std::fabs(was_a.max.y - was_b.min.y), std::fabs(was_b.max.y - was_a.min.y),
                              std::fabs(was_a.max.z - was_b.min.z), std::fabs(was_b.max.z - was_a.min.z)};
  int nearest = 0;
  for (int i = 1; i < 6; ++i)
    if (distances[i] < distances[nearest]) nearest = i;
  Vector3f& correction = e.collision.box_correction;
  switch (nearest) {
    case 0: correction.x = now_a.max.x - now_b.min.x; break;
    case 1: correction.x = now_a.min.x - now_b.max.x; break;
    case 2: correction.y = now_a.max.y - now_b.min.y; break;
    case 3: correction.y = now_a.min.y - now_b.max.y; break;
    case 4: correction.z = now_a.max.z - now_b.min.z; break;
    default: correction.z = now_a.min.z - now_b.max.z; break;
  }
  return 1;
}

Vec3f AsVec3f(const Vector3f& v) { return Vec3f{v.x, v.y, v.z}; }

BoxMatrix AsBoxMatrix(const Matrix4& m) {
  BoxMatrix b;
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) b[static_cast<size_t>(r * 4 + c)] = m.m[r][c];
  return b;
}

int BoxesMeet(const PlacedBox& a, const PlacedBox& b) {
  return TestBoxCollision(AsVec3f(a.centre), AsVec3f(a.half), AsBoxMatrix(a.axes), AsVec3f(b.centre),
                          AsVec3f(b.half), AsBoxMatrix(b.axes));
}

int AnyBoxesMeet(const std::vector<PlacedBox>& boxes_a, const std::vector<PlacedBox>& boxes_b) {
  for (const PlacedBox& p : boxes_a)
    for (const PlacedBox& q : boxes_b)
      if (BoxesMeet(p, q)) return 1;
  return 0;
}

float RowLength(const Matrix4& m, int row) {
  return std::sqrt(m.m[row][0] * m.m[row][0] + m.m[row][1] * m.m[row][1] + m.m[row][2] * m.m[row][2]);
}

// How the object is turned, unscaled (by its angles in its rotation order,
// or its free matrix, inside what holds it, whose own scale is left out
// too), with its place in the world as the translation. A box the program
// gave turns with it and keeps its size.
Matrix4 BoxPlacement(Engine3D& e, int32_t index) {
  const ObjectRecord& o = e.pools.objects[index];
  Matrix4 placement = Matrix4::Identity();
  if (o.free_rotation == 1)
    MatrixInvertAffine(placement, o.free_matrix);
  else
    placement = AngleRotation(o.angles, o.rotation_order);
  if (o.glued_to != 0) {
    Matrix4 holder = ObjectBaseMatrix(e, index);
    holder.m[3][0] = holder.m[3][1] = holder.m[3][2] = 0.0f;
    for (int r = 0; r < 3; ++r)
      if (const float length = RowLength(holder, r); length > 0.0f)
        for (int c = 0; c < 3; ++c) holder.m[r][c] /= length;
    placement = placement * holder;
  }
  const Vector3f origin = PlacesOf(e, index).now;
  placement.m[3][0] = origin.x;
  placement.m[3][1] = origin.y;
  placement.m[3][2] = origin.z;
  return placement;
}

// A box given with its corners the other way round is just as big.
Vector3f BoxSize(const ObjectRecord& o) {
  return Vector3f{std::fabs(o.box_max.x - o.box_min.x), std::fabs(o.box_max.y - o.box_min.y),
                  std::fabs(o.box_max.z - o.box_min.z)};
}

PlacedBox GivenBox(Engine3D& e, int32_t index) {
  PlacedBox box;
  box.axes = BoxPlacement(e, index);
  const ObjectRecord& o = e.pools.objects[index];
  TransformPointProject(box.centre, o.box_centre, box.axes);
  const Vector3f size = BoxSize(o);
  box.half = Vector3f{size.x * 0.5f, size.y * 0.5f, size.z * 0.5f};
  return box;
}

// The boxes an object collides by: the one the program gave, or one around
// each mesh it draws, as its limbs stand now (posed, scaled, glued).
std::vector<PlacedBox> BoxesOf(Engine3D& e, int32_t index) {
  if (e.pools.objects[index].box_replaces_shapes == 1) return {GivenBox(e, index)};
  const Matrix4 base = ObjectBaseMatrix(e, index);
  ReadyModelFor(e, index);
  std::shared_ptr<ObjectModel> model = e.pools.objects[index].model;
  if (!model) return {};
  std::vector<PlacedBox> boxes;
  for (const models::MeshBox& mesh : model->GatherMeshBoxes(base)) {
    PlacedBox box;
    box.axes = mesh.world;
    TransformPointProject(box.centre, mesh.centre, mesh.world);
    box.half = Vector3f{mesh.size.x * 0.5f * RowLength(mesh.world, 0), mesh.size.y * 0.5f * RowLength(mesh.world, 1),
                        mesh.size.z * 0.5f * RowLength(mesh.world, 2)};
    boxes.push_back(box);
  }
  return boxes;
}

// The box between two corners; a box that reaches everywhere where a corner
// is not finite.
AxisBox BoxBetween(const Vector3& lower, const Vector3& upper) {
  for (int i = 0; i < 3; ++i)
    if (!std::isfinite(lower[i]) || !std::isfinite(upper[i])) {
      constexpr double kEverywhere = std::numeric_limits<double>::infinity();
      return AxisBox{Vector3{}, Vector3{kEverywhere, kEverywhere, kEverywhere}};
    }
  return AxisBox::FromCorners(lower, upper);
}

// What each of the object's boxes can reach, and what any of its box tests
// can: its boxes as placed and, with a box of its own, that box as the
// tests of two such boxes take it.
void FindReaches(Engine3D& e, int32_t index, PlacedBoxes::Kept& kept) {
  kept.reach = AxisBox::Empty();
  auto include = [&](const AxisBox& box) {
    if (!IsFinite(box))
      kept.reach = box;
    else if (IsFinite(kept.reach))
      kept.reach.Include(box);
  };
  for (const PlacedBox& box : kept.boxes) {
    Vec3f lower, upper;
    AxisBox reach = AxisBox::Empty();
    if (OrientedBoxReach(AsVec3f(box.centre), AsVec3f(box.half), AsBoxMatrix(box.axes), lower, upper))
      reach = BoxBetween(Vector3{lower.x, lower.y, lower.z}, Vector3{upper.x, upper.y, upper.z});
    kept.reaches.push_back(reach);
    if (reach.half_extent.x >= 0.0) include(reach);
  }
  const ObjectRecord& o = e.pools.objects[index];
  const WorldBox own = BoxAt(o, PlacesOf(e, index).now);
  // A side that is not a number meets nothing.
  if (o.own_box == 1 && !std::isnan(own.min.x + own.max.x + own.min.y + own.max.y + own.min.z + own.max.z))
    include(BoxBetween(Vector3{std::fmin(own.min.x, own.max.x), std::fmin(own.min.y, own.max.y),
                               std::fmin(own.min.z, own.max.z)},
                       Vector3{std::fmax(own.min.x, own.max.x), std::fmax(own.min.y, own.max.y),
                               std::fmax(own.min.z, own.max.z)}));
}

// Whether the boxes kept stand for the placements: every placement since
// the last collision refresh is still to be taken in by the next one, which
// forgets the boxes of what it places anew.
bool BoxesKept(const Engine3D& e) { return e.transforms_changed != 1 && e.collision.moved.empty(); }

// The object's boxes as kept, made now when they are not.
const PlacedBoxes::Kept& KeptBoxes(Engine3D& e, int32_t index) {
  PlacedBoxes& kept = e.collision.placed_boxes;
  if (const PlacedBoxes::Kept* found = kept.Find(index)) return *found;
  PlacedBoxes::Kept made;
  made.boxes = BoxesOf(e, index);
  FindReaches(e, index, made);
  kept.Keep(index, std::move(made));
  return *kept.Find(index);
}

}  // namespace

LibraryBoxes& LibraryBoxes::operator=(LibraryBoxes&& other) noexcept {
  if (this != &other) {
    Clear();
    shapes_ = std::move(other.shapes_);
    other.shapes_.clear();
  }
  return *this;
}

void LibraryBoxes::File(int32_t index, float x, float y, float z) {
  Drop(index);
  CollisionShape* shape = CreateBoxShape(x, y, z);
  shapes_.emplace(index, shape);
  CreateCollisionObject(MakeCollisionKey(static_cast<uint32_t>(index), 0), shape);
}

void LibraryBoxes::Drop(int32_t index) {
  const auto found = shapes_.find(index);
  if (found == shapes_.end()) return;
  // Its collision object goes with it.
  DeleteShape(found->second);
  shapes_.erase(found);
}

void LibraryBoxes::Clear() {
  for (const auto& [index, shape] : shapes_) DeleteShape(shape);
  shapes_.clear();
}

void FileLibraryBox(Engine3D& e, int32_t index) {
  const ObjectRecord* o = e.pools.Object(index);
  LibraryBoxes& boxes = e.collision.library_boxes;
  if (!o || o->in_use != 1 || o->collision_mode != 1 || o->box_replaces_shapes != 1 || o->collision_on != 1) {
    boxes.Drop(index);
    return;
  }
  const Vector3f size = BoxSize(*o);
  boxes.File(index, size.x, size.y, size.z);
  e.transforms_changed = 1;
}

void PlaceLibraryBox(Engine3D& e, int32_t index) {
  const ObjectRecord* o = e.pools.Object(index);
  if (!o || !e.collision.library_boxes.Has(index)) return;
  const PlacedBox box = GivenBox(e, index);
  Matrix4 placement = box.axes;
  placement.m[3][0] = box.centre.x;
  placement.m[3][1] = box.centre.y;
  placement.m[3][2] = box.centre.z;
  SelectCollisionObject(MakeCollisionKey(static_cast<uint32_t>(index), 0));
  SetCollisionObjectMatrix(std::span<const float, 16>(&placement.m[0][0], 16));
}

int32_t TestObjectBoxes(Engine3D& e, int32_t a, int32_t b) {
  const ObjectRecord* oa = e.pools.Object(a);
  const ObjectRecord* ob = e.pools.Object(b);
  if (!oa || !ob) return 0;
  if (oa->own_box == 1 && ob->own_box == 1) return AxisAlignedTest(e, a, b);
  if (!BoxesKept(e)) return AnyBoxesMeet(BoxesOf(e, a), BoxesOf(e, b));
  // Making the one's may move the other's.
  KeptBoxes(e, a);
  const PlacedBoxes::Kept& kept_b = KeptBoxes(e, b);
  const PlacedBoxes::Kept& kept_a = KeptBoxes(e, a);
  if (!BoxesOverlap(kept_a.reach, kept_b.reach)) return 0;
  for (size_t i = 0; i < kept_a.boxes.size(); ++i)
    for (size_t j = 0; j < kept_b.boxes.size(); ++j)
      if (BoxesOverlap(kept_a.reaches[i], kept_b.reaches[j]) && BoxesMeet(kept_a.boxes[i], kept_b.boxes[j]))
        return 1;
  return 0;
}

bool CollidesByBoxes(Engine3D& e, int32_t index) {
  const ObjectRecord* o = e.pools.Object(index);
  if (!o || o->in_use != 1 || o->collision_on != 1 || o->collision_mode != 1) return false;
  RecordPool<SpriteRecord>& sprites = e.Sprites();
  if (!sprites.InUse(o->render_record)) return false;
  const SpriteRecord& r = sprites[o->render_record];
  return r.is_3d == 1 && r.object == index && !LockedToCamera(e, index);
}

std::vector<int32_t> BoxNeighbours(Engine3D& e, int32_t index) {
  std::vector<int32_t> near;
  RecordPool<SpriteRecord>& sprites = e.Sprites();
  auto every_one = [&] {
    for (int32_t i = sprites.Head(); i != kNoRecord; i = sprites.Next(i))
      if (sprites[i].is_3d == 1 && sprites[i].object != index && CollidesByBoxes(e, sprites[i].object))
        near.push_back(sprites[i].object);
    return near;
  };
  if (!BoxesKept(e) || !CollidesByBoxes(e, index)) return every_one();
  PlacedBoxes& kept = e.collision.placed_boxes;
  if (kept.everything_forgotten())
    for (int32_t i = sprites.Head(); i != kNoRecord; i = sprites.Next(i))
      if (sprites[i].is_3d == 1 && CollidesByBoxes(e, sprites[i].object)) KeptBoxes(e, sprites[i].object);
  // Those placed anew since the last query.
  for (size_t i = 0; i < kept.not_filed().size(); ++i) {
    const int32_t moved = kept.not_filed()[i];
    if (CollidesByBoxes(e, moved)) KeptBoxes(e, moved);
  }
  kept.FileKept();
  const AxisBox reach = KeptBoxes(e, index).reach;
  if (!IsFinite(reach)) return every_one();
  kept.ForEachNear(reach, [&](int32_t other) {
    if (other != index && CollidesByBoxes(e, other)) near.push_back(other);
  });
  auto place = [&](int32_t object) { return e.Marks(e.pools.objects[object].render_record).list_place; };
  std::sort(near.begin(), near.end(), [&](int32_t x, int32_t y) { return place(x) < place(y); });
  return near;
}

}  // namespace zv
