#include "engine3d/render/scene_render.h"

#include <algorithm>
#include <array>

#include "display/display.h"
#include "engine3d/engine.h"
#include "engine3d/objects/object_model.h"
#include "engine3d/objects/object_setup.h"
#include "engine3d/render/render_settings.h"
#include "engine3d/render/render_states.h"
#include "engine3d/scene/static_scene_draw.h"

namespace zv {
namespace {

namespace p = platform;

constexpr float kSideTestDepth = 100.0f;
constexpr double kFarthestStart = 19999999.9;

bool IsObjectRecord(const SpriteRecord& s) { return s.shown == 1 && s.is_3d == 1; }

void ClearDepth(p::Device3D& d) { d.Clear({}, p::clear::kZBuffer, 0, 1.0f); }

// Draws the record's object with every mesh's own texture.
void DrawMarked(Engine3D& e, int32_t record) {
  ApplyRenderRecordStates(e, record);
  DrawObjectModel(e, e.Sprites()[record].object, -1);
}

// The records a sorted pass draws: those `wanted` accepts get the pass mark.
template <class Wanted>
int32_t MarkRecords(Engine3D& e, Wanted wanted) {
  RecordPool<SpriteRecord>& sprites = e.Sprites();
  int32_t n = 0;
  for (int32_t i = sprites.Head(); i != kNoRecord; i = sprites.Next(i)) {
    RenderMarks& m = e.Marks(i);
    m.pass_mark = wanted(sprites[i], m) ? 1 : 0;
    n += static_cast<int32_t>(m.pass_mark);
  }
  return n;
}

// Common to the visible passes: shown, gathered this frame.
bool Gathered(const SpriteRecord& s, const RenderMarks& m) { return s.shown == 1 && m.drawn == 1; }

void CullPass(Engine3D& e) {
  RecordPool<SpriteRecord>& sprites = e.Sprites();
  for (int32_t i = sprites.Head(); i != kNoRecord; i = sprites.Next(i)) {
    if (!IsObjectRecord(sprites[i])) continue;
    const CullResult cull = CullRecord(e, i, kSideTestDepth);
    RenderMarks& m = e.Marks(i);
    m.culled = cull.misses > 0 && !cull.glued ? 1 : 0;
    m.distance = cull.distance;
    // A flash glued to a gun locked to the camera is drawn with the gun.
    m.before_camera = LockedToCamera(e, sprites[i].object) ? 1 : 0;
    m.camera_depth = m.before_camera == 1 ? CameraSpaceOrigin(e, sprites[i].object).z : 0.0f;
  }
  for (int32_t i = sprites.Head(); i != kNoRecord; i = sprites.Next(i))
    e.Marks(i).distance = std::max(e.Marks(i).distance, 0.0);
}

void GatherTextures(Engine3D& e) {
  e.frame_textures.clear();
  RecordPool<SpriteRecord>& sprites = e.Sprites();
  for (int32_t i = sprites.Head(); i != kNoRecord; i = sprites.Next(i)) {
    RenderMarks& m = e.Marks(i);
    m.drawn = 0;
    if (!IsObjectRecord(sprites[i])) continue;
    ObjectRecord* o = e.pools.Object(sprites[i].object);
    if (!o || o->in_use != 1) continue;
    m.drawn = 1;
    if (o->model) o->model->GatherForFrame(e.frame_textures, m.distance);
  }
  // Near to far; equal keys keep their order.
  std::stable_sort(e.frame_textures.begin(), e.frame_textures.end(),
                   [](const models::FrameTextureEntry& a, const models::FrameTextureEntry& b) { return a.key < b.key; });
}

bool OpenScene(Engine3D& e, p::Device3D& d) {
  p::Result result = p::result::kOk;
  // Drawn into the scene the backdrop opened when it is still open; the
  // turn's own render closes it, and a render at once after that needs a
  // scene of its own.
  if (e.in_scene == 0) {
    result = d.BeginScene();
    if (p::Succeeded(result)) e.in_scene = 1;
  }
  if (result == p::result::kSurfaceLost) {
    Display* screen = e.Screen();
    result = screen ? screen->RestoreAllSurfaces() : result;
    if (p::Succeeded(result) && e.in_scene == 0) {
      result = d.BeginScene();
      if (p::Succeeded(result)) e.in_scene = 1;
    }
  }
  return p::Succeeded(result);
}

void SolidPass(Engine3D& e) {
  RecordPool<SpriteRecord>& sprites = e.Sprites();
  for (const models::FrameTextureEntry& group : e.frame_textures) {
    SetStageTexture(e, group.texture);
    for (int32_t i = sprites.Head(); i != kNoRecord; i = sprites.Next(i)) {
      const RenderMarks& m = e.Marks(i);
      if (!Gathered(sprites[i], m) || m.culled || m.ghost != 0 || m.before_camera != 0 || m.depth_sorted != 0)
        continue;
      ApplyRenderRecordStates(e, i);
      DrawObjectModel(e, sprites[i].object, group.texture);
    }
  }
}

void GhostPass(Engine3D& e) {
  int32_t n = MarkRecords(e, [](const SpriteRecord& s, const RenderMarks& m) {
    return Gathered(s, m) && !m.culled && m.ghost == 1 && m.before_camera == 0 && m.depth_sorted == 0;
  });
  RecordPool<SpriteRecord>& sprites = e.Sprites();
  for (; n > 0; --n) {
    int32_t best = kNoRecord;
    double best_distance = 0.0;
    for (int32_t i = sprites.Head(); i != kNoRecord; i = sprites.Next(i)) {
      const RenderMarks& m = e.Marks(i);
      if (m.pass_mark == 1 && m.distance >= best_distance) {
        best = i;
        best_distance = m.distance;
      }
    }
    if (best == kNoRecord) continue;
    DrawMarked(e, best);
    e.Marks(best).pass_mark = 0;
  }
}

void DepthSortedPass(Engine3D& e, p::Device3D& d) {
  int32_t n = MarkRecords(e, [](const SpriteRecord& s, const RenderMarks& m) {
    return Gathered(s, m) && !m.culled && m.before_camera == 0 && m.depth_sorted == 1;
  });
  if (n > 0) ClearDepth(d);
  RecordPool<SpriteRecord>& sprites = e.Sprites();
  for (; n > 0; --n) {
    int32_t best = kNoRecord;
    double best_distance = kFarthestStart;
    for (int32_t i = sprites.Head(); i != kNoRecord; i = sprites.Next(i)) {
      const RenderMarks& m = e.Marks(i);
      if (m.pass_mark == 1 && m.distance <= best_distance) {
        best = i;
        best_distance = m.distance;
      }
    }
    if (best == kNoRecord) continue;
    DrawMarked(e, best);
    e.Marks(best).pass_mark = 0;
  }
}

void CameraLockedPass(Engine3D& e, p::Device3D& d) {
  int32_t n = MarkRecords(e, [](const SpriteRecord& s, const RenderMarks& m) {
    return Gathered(s, m) && m.before_camera == 1;
  });
  if (n == 0) return;
  SetCameraProjection(e, kDefaultNear, kDefaultFar, kDefaultFov);
  Matrix4 saved_view;
  d.GetTransform(p::TransformState::kView, &saved_view);
  d.SetTransform(p::TransformState::kView, e.settings.identity);
  p::Viewport saved_viewport;
  const bool overlay = e.OverlaySetting() == 1;
  if (overlay) {
    ClearDepth(d);
  } else {
    d.GetViewport(&saved_viewport);
    p::Viewport flat = saved_viewport;
    flat.min_z = flat.max_z = 0.0f;
    d.SetViewport(flat);
  }
  RecordPool<SpriteRecord>& sprites = e.Sprites();
  for (; n > 0; --n) {
    int32_t best = kNoRecord;
    float best_z = 0.0f;
    for (int32_t i = sprites.Head(); i != kNoRecord; i = sprites.Next(i)) {
      if (e.Marks(i).pass_mark == 1 && e.Marks(i).camera_depth > best_z) {
        best = i;
        best_z = e.Marks(i).camera_depth;
      }
    }
    if (best == kNoRecord) continue;
    DrawMarked(e, best);
    e.Marks(best).pass_mark = 0;
  }
  // Records at or behind the camera were never drawn; their marks go too.
  for (int32_t i = sprites.Head(); i != kNoRecord; i = sprites.Next(i)) e.Marks(i).pass_mark = 0;
  d.SetTransform(p::TransformState::kView, saved_view);
  SetCameraProjection(e, e.camera.near_range, e.camera.far_range, e.camera.fov);
  if (!overlay) d.SetViewport(saved_viewport);
}

// The render under way, for as long as it lasts.
class RenderingFrame {
 public:
  explicit RenderingFrame(Engine3D& e) : e_(e) { e_.rendering_frame = ++e_.frames_rendered; }
  ~RenderingFrame() { e_.rendering_frame = 0; }
  RenderingFrame(const RenderingFrame&) = delete;
  RenderingFrame& operator=(const RenderingFrame&) = delete;

 private:
  Engine3D& e_;
};

}  // namespace

CullResult CullRecord(Engine3D& e, int32_t record, float side_test_depth) {
  const SpriteRecord& s = e.Sprites()[record];
  Vector3f v{s.position[0], s.position[1], s.position[2]};
  TransformPointProject(v, v, e.settings.world);
  TransformPointProject(v, v, e.camera.view);
  return CullAt(e, e.pools.Object(s.object), v, e.settings.projection, side_test_depth);
}

CullResult CullAt(Engine3D& e, const ObjectRecord* o, const Vector3f& v, const Matrix4& projection,
                  float side_test_depth) {
  CullResult r;
  const float z = v.z;
  float scale = 0.0f, cull_radius = 0.0f, pose_radius = 0.0f;
  if (o) {
    scale = std::max({0.0f, o->scale.x, o->scale.y, o->scale.z});
    cull_radius = o->cull_radius;
    // An animation may carry a limb past the radius of the pose the object
    // was measured in: the view holds every pose it can take.
    if (o->model) pose_radius = WholeUnitsPlusOne(o->model->EveryPoseRadius());
    r.glued = o->glued_to != 0;
  }
  const float radius = cull_radius * 1.25f * scale;
  const float reach = std::max(cull_radius, pose_radius) * 1.25f * scale;
  Vector3f projected = v, edge{reach, 0.0f, z};
  TransformPointProject(projected, v, projection);
  TransformPointProject(edge, edge, projection);
  const float pr = edge.x;
  if (z >= side_test_depth) {
    r.misses += projected.x + pr < -1.0f;
    r.misses += projected.x - pr > 1.0f;
    r.misses += projected.y + pr < -1.0f;
    r.misses += projected.y - pr > 1.0f;
  }
  r.misses += z + reach < 0.0f;
  r.misses += z - reach > e.camera.far_range;
  r.distance = static_cast<double>(z) + radius;
  r.screen = projected;
  return r;
}

void RenderScene(Engine3D& e) {
  p::Device3D* d = e.Device();
  if (!d) return;
  const RenderingFrame rendering(e);
  e.polygon_counter = 0;
  CullPass(e);
  GatherTextures(e);
  if (OpenScene(e, *d)) {
    if (e.static_scene.HasGroups()) {
      ResetRenderStates(e);
      DrawStaticScene(e);
    }
    SolidPass(e);
    GhostPass(e);
    DepthSortedPass(e, *d);
    CameraLockedPass(e, *d);
  }
  if (e.in_scene == 1) {
    d->EndScene();
    e.in_scene = 0;
  }
}

bool RenderBackdrop(Engine3D& e) {
  p::Device3D* d = e.Device();
  const bool drawn = d && e.backdrop.object > 0 && e.backdrop.shown == 1 && e.DrawingEnabled() &&
                     e.in_scene == 0 && p::Succeeded(d->BeginScene());
  if (drawn) {
    e.in_scene = 1;
    Matrix4 saved_view;
    d->GetTransform(p::TransformState::kView, &saved_view);
    d->SetTransform(p::TransformState::kView, e.settings.identity);
    SetCameraProjection(e, kDefaultNear, kDefaultFar, kDefaultFov);
    SetStageTexture(e, e.backdrop.texture);
    ApplyRenderRecordStates(e, e.backdrop.render_record);
    e.cache.material = kAmbientOnlyMaterial;
    ApplyMaterialSelection(e);
    DrawObjectModel(e, e.backdrop.object, e.backdrop.texture);
    e.cache.material = kSceneMaterial;
    ApplyMaterialSelection(e);
    d->SetTransform(p::TransformState::kView, saved_view);
    SetCameraProjection(e, e.camera.near_range, e.camera.far_range, e.camera.fov);
  }
  if (e.backdrop.pending) {
    e.backdrop.pending = 0;
    e.backdrop.shown = 1;
  }
  return drawn;
}

}  // namespace zv
