#include "engine3d/objects/object_setup.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "engine3d/engine.h"
#include "engine3d/objects/object_model.h"
#include "engine3d/render/render_states.h"
#include "engine3d/scene/animation.h"
#include "engine3d/scene/backdrop.h"
#include "engine3d/scene/camera_view.h"
#include "engine3d/scene/collision_refresh.h"

namespace zv {
namespace {

namespace shape = models::collision_kind;

// The kinds fitted to whatever meshes an object has, which a program
// chooses with the set object collision commands; the others are sized for
// the one mesh of a primitive.
bool FittedKind(int32_t kind) {
  return kind == shape::kFittedSphere || kind == shape::kFittedBox || kind == shape::kTriangles;
}

void InitRenderRecord(Engine3D& e, int32_t record, int32_t object) {
  SpriteRecord& s = e.Sprites()[record];
  s.object = object;
  s.position = {0, 0, 0};
  s.previous_position = {0, 0, 0};
  s.is_3d = 1;
  s.shown = 1;
  s.backsave = 0;
}

}  // namespace

float WholeUnitsPlusOne(float radius) { return std::trunc(radius) + 1.0f; }

int32_t AllocObjectRecord(Engine3D& e) { return e.pools.AllocObject(e.Machine()); }

bool ReleaseObjectRecord(Engine3D& e, int32_t index) {
  ObjectRecord* o = e.pools.Object(index);
  if (!o || index == 0) return false;
  // What it moved into the static scene goes with it.
  o->is_static = 0;
  RemoveStaticGeometryOf(e.static_scene, index);
  for (const int32_t child : e.glue_links.ChildrenOf(index)) {
    ObjectRecord* glued = e.pools.Object(child);
    if (glued && glued->glued_to == index) SetGlue(e, child, 0, glued->glued_limb);
  }
  e.glue_links.Unlink(index);
  DetachAnimatedObject(e, index);
  // Its collision objects go now: its model may stay with its instances.
  ForgetObjectCollisions(e, index);
  // The model may call back into the engine while it goes.
  std::shared_ptr<ObjectModel> model = std::move(e.pools.objects[index].model);
  const ObjectModel* shared = model.use_count() > 1 ? model.get() : nullptr;
  e.model_users.Leave(index);
  model.reset();
  // The frames it shared may still hold its placement: the last of the
  // objects that keep the model (in the pool's order) puts its own back.
  if (shared)
    if (const int32_t last = e.model_users.Last(shared); last > 0) RebuildObjectTransform(e, last);
  o = &e.pools.objects[index];
  std::shared_ptr<LimbArray> limbs = std::move(o->limbs);
  // Grid meshes belong to the limbs: they go with the last user of the limbs.
  if (limbs && limbs.use_count() == 1)
    for (LimbRecord& limb : *limbs)
      if (limb.grid_mesh > 0) e.pools.FreeMesh(std::exchange(limb.grid_mesh, 0));
  return e.pools.FreeObject(index);
}

int32_t SetUpObject(Engine3D& e, int32_t index, bool place_camera) {
  if (e.Machine().render_timing.backdrop_on) BackdropOn(e);
  ObjectRecord* o = e.pools.Object(index);
  if (!o) return kNoRecord;
  o->in_use = 1;
  e.model_users.Join(o->model.get(), index);
  o->is_static = 0;
  o->angles = Vector3f{};
  o->scale = Vector3f{1, 1, 1};
  o->rotation_order = kRotateZyx;
  SetGlue(e, index, 0, 0);
  o->free_rotation = 0;
  o->free_matrix = Matrix4::Identity();
  o->collision_on = 1;
  // An instance starts with its source's words: what they name is known.
  SetLastHit(e, index, o->last_hit);
  SetWantedPartner(e, index, o->wanted_partner);
  const int32_t record = e.AllocRenderRecord();
  o = e.pools.Object(index);
  if (!o) return kNoRecord;
  // An instance came with its source's render record, which is not its own.
  o->render_record = kNoRecord;
  if (record == kNoRecord) return kNoRecord;
  o->render_record = record;
  InitRenderRecord(e, record, index);
  o->collision_mode = 0;
  o->box_collision = 0;
  o->own_box = 0;
  o->box_replaces_shapes = 0;
  InitLimbRecord(*o, 0);
  if (o->model) o->model->SetObjectTransformDegrees(0, Vector3f{}, o->angles, o->scale, o->rotation_order);
  o->current_frame = 0;
  o->speed = 0.2f;
  o->start_frame = o->end_frame = 0;
  o->transition_active = 0;
  o->transition_step = 1.0f;
  o->transition_progress = 0;
  o->pose.clear();
  o->pose_stale = 0;
  o->source_rotations.clear();
  o->target_rotations.clear();
  o->source_scales.clear();
  o->target_scales.clear();
  o->source_translations.clear();
  o->target_translations.clear();
  o->transition_target = 0;
  o->collision_kind = 0;
  ComputeObjectBounds(e, index);

  o = e.pools.Object(index);
  if (place_camera && o && o->model && e.camera.auto_camera == 1) {
    Vector3f centre;
    float radius = -1.0f;
    o->model->GetModelRadiusFromOrigin(&centre, &radius);
    e.camera.position = Vector3f{centre.x, centre.y + radius / 2, std::min(centre.z - 2 * radius, -2.0f)};
    e.camera.look_at = centre;
    UpdateCameraLookAt(e);
  }
  return record;
}

void ComputeObjectBounds(Engine3D& e, int32_t index) {
  ObjectRecord* o = e.pools.Object(index);
  if (!o) return;
  float origin_radius = -1.0f;
  if (std::shared_ptr<ObjectModel> model = o->model) {
    Vector3f origin;
    model->GetModelRadiusFromOrigin(&origin, &origin_radius);
  }
  o->cull_radius = WholeUnitsPlusOne(origin_radius);
  // Measuring reads every vertex: it waits until the bounds are asked for.
  o->bounds_stale = 1;
}

void MeasureBoundsIfStale(Engine3D& e, int32_t index) {
  const ObjectRecord* o = e.pools.Object(index);
  // A frame set since it was last posed poses it now.
  if (!o || (o->bounds_stale == 0 && o->pose_stale == 0)) return;
  // Its own pose and frame, where its model is shared or its frame was set.
  ReadyModelFor(e, index);
  ObjectRecord& measured = e.pools.objects[index];
  Vector3f centre, minimum, maximum;
  float radius = -1.0f;
  if (std::shared_ptr<ObjectModel> model = measured.model) {
    model->GetModelBoundingSphere(&centre, &radius);
    model->GetModelBoundingBox(&minimum, &maximum);
  }
  measured.bound_centre = centre;
  measured.bound_radius = WholeUnitsPlusOne(radius);
  measured.size = Vector3f{std::fabs(maximum.x - minimum.x), std::fabs(maximum.y - minimum.y),
                           std::fabs(maximum.z - minimum.z)};
  measured.bounds_stale = 0;
}

void FitCollisionShapes(Engine3D& e, int32_t index, int32_t kind) {
  ObjectRecord& o = e.pools.objects[index];
  o.collision_kind = kind;
  if (std::shared_ptr<ObjectModel> model = o.model) model->BuildModelCollision(index, kind, 0, 0, 0);
}

void FitShapesAfterNewLimb(Engine3D& e, int32_t index) {
  ObjectRecord& o = e.pools.objects[index];
  const int32_t kind = FittedKind(o.collision_kind) ? o.collision_kind : shape::kFittedBox;
  if (o.collision_on == 1 && o.box_replaces_shapes == 0) return FitCollisionShapes(e, index, kind);
  // They are filed when its collision is on again, or its box deleted.
  o.collision_kind = kind;
}

void RebuildCollisionShapes(Engine3D& e, int32_t index) {
  const ObjectRecord& o = e.pools.objects[index];
  if (std::shared_ptr<ObjectModel> model = o.model)
    model->BuildModelCollision(index, o.collision_kind, o.collision_sizes.x, o.collision_sizes.y, o.collision_sizes.z);
}

bool DeleteObject(Engine3D& e, int32_t index, int32_t number) {
  ObjectRecord* o = e.pools.Object(index);
  if (!o) {
    e.pools.object_ids.Set(number, 0);
    return false;
  }
  // What hangs from it stays where it is drawn.
  for (const int32_t child : e.glue_links.ChildrenOf(index))
    if (const ObjectRecord* glued = e.pools.Object(child); glued && glued->glued_to == index)
      UnglueInPlace(e, child);
  o = e.pools.Object(index);
  o->in_use = 0;
  o->is_static = 0;
  o->collision_mode = 0;
  o->box_min = o->box_max = o->box_centre = Vector3f{};
  o->box_collision = 0;
  o->own_box = 0;
  o->box_replaces_shapes = 0;
  e.FreeRenderRecord(o->render_record);
  const bool freed = ReleaseObjectRecord(e, index);
  e.pools.object_ids.Set(number, 0);
  return freed;
}

void RebuildObjectTransformFromAngles(Engine3D& e, int32_t index) {
  ObjectRecord* o = e.pools.Object(index);
  if (!o || !o->model) return;
  const auto& p = e.Sprites()[o->render_record].position;
  o->model->SetObjectTransformDegrees(0, Vector3f{p[0], p[1], p[2]}, o->angles, o->scale, o->rotation_order);
}

void RebuildObjectTransform(Engine3D& e, int32_t index) {
  ObjectRecord* o = e.pools.Object(index);
  if (!o || !o->model) return;
  if (o->free_rotation != 1) return RebuildObjectTransformFromAngles(e, index);
  const auto& p = e.Sprites()[o->render_record].position;
  o->model->SetObjectTransformMatrix(0, Vector3f{p[0], p[1], p[2]}, o->free_matrix, o->scale);
}

void SetGlue(Engine3D& e, int32_t index, int32_t target, int32_t limb) {
  ObjectRecord* o = e.pools.Object(index);
  if (!o) return;
  o->glued_to = target;
  o->glued_limb = limb;
  e.glue_links.Link(index, target);
}

bool LockedToCamera(Engine3D& e, int32_t index) {
  // Glue chains are short and never loop; the bound only keeps the walk
  // finite whatever the records hold.
  constexpr int kLongestWalk = 16;
  const ObjectRecord* o = e.pools.Object(index);
  for (int step = 0; o && step < kLongestWalk; ++step) {
    if (e.Marks(o->render_record).camera_locked != 0) return true;
    o = o->glued_to > 0 ? e.pools.Object(o->glued_to) : nullptr;
  }
  return false;
}

void UnglueInPlace(Engine3D& e, int32_t index) {
  ObjectRecord* o = e.pools.Object(index);
  if (!o) return;
  // Where the glue holds it: in the camera's space for an object that stays
  // locked to the camera, else in the world, where it was seen (before the
  // camera too, when its holder is locked to it).
  const bool stays_locked = e.Marks(o->render_record).camera_locked != 0;
  const auto& p = e.Sprites()[o->render_record].position;
  Vector3f origin{p[0], p[1], p[2]};
  TransformPointProject(origin, origin, stays_locked ? GlueWorldMatrix(e, index) : ObjectBaseMatrix(e, index));
  o = e.pools.Object(index);
  e.Sprites()[o->render_record].position = {origin.x, origin.y, origin.z};
  o->free_rotation = 0;
  RebuildObjectTransformFromAngles(e, index);
  e.transforms_changed = 1;
  SetGlue(e, index, 0, 0);
}

void DetachAnimatedObject(Engine3D& e, int32_t index) {
  ObjectRecord* o = e.pools.Object(index);
  if (o) {
    o->animated = 0;
    o->playing = o->looping = 0;
  }
  e.animated_objects.Remove(index);
}

}  // namespace zv
