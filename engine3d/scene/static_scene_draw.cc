#include "engine3d/scene/static_scene_draw.h"

#include <algorithm>
#include <cmath>

#include "engine3d/engine.h"
#include "engine3d/render/render_states.h"
#include "engine3d/scene/static_scene_store.h"
#include "runtime/runtime_state.h"

namespace zv {
namespace {

namespace p = platform;

constexpr float kSideTestDepth = 20.0f;
constexpr uint32_t kBatchVertices = 300;

struct Rect {
  float min_x = 999999.9f, min_y = 999999.9f, max_x = -999999.9f, max_y = -999999.9f;
};

// Where an ownerless polygon's sphere stands this frame.
struct Seen {
  StaticPolygon* polygon;
  float z = 0;          // view depth of the centre
  Vector3f screen;      // the centre projected
  float radius = 0;     // the radius projected at that depth
};

class View {
 public:
  explicit View(Engine3D& e) : e_(e) {}
  Vector3f ToCamera(const Vector3f& p) const {
    Vector3f v = p;
    TransformPointProject(v, v, e_.settings.world);
    TransformPointProject(v, v, e_.camera.view);
    return v;
  }
  Vector3f ToScreen(const Vector3f& camera) const {
    Vector3f s = camera;
    TransformPointProject(s, camera, e_.settings.projection);
    return s;
  }
  float Far() const { return e_.camera.far_range; }

 private:
  Engine3D& e_;
};

Seen Look(const View& view, StaticPolygon& polygon) {
  Seen seen{&polygon, 0.0f, Vector3f{}, 0.0f};
  const Vector3f camera = view.ToCamera(polygon.centre);
  seen.z = camera.z;
  seen.screen = view.ToScreen(camera);
  seen.radius = view.ToScreen(Vector3f{polygon.radius, 0.0f, camera.z}).x;
  return seen;
}

// An object's geometry inside an ownerless polygon is seen when that
// polygon is; geometry in none is culled by its own sphere, like any other,
// rather than never drawn.
bool Follows(const StaticPolygon& p) { return p.owner != 0 && p.container != nullptr; }

bool OutOfView(const Seen& s, float far_range) {
  const float r = s.polygon->radius;
  if (s.z + r < 0.0f || s.z - r > far_range) return true;
  if (s.z < kSideTestDepth) return false;
  const float x = s.screen.x, y = s.screen.y, pr = s.radius;
  return x + pr < -1.0f || x - pr > 1.0f || y + pr < -1.0f || y - pr > 1.0f;
}

float EdgeBySign(float camera) { return camera < 0.0f ? -1.0f : 1.0f; }

// The screen rectangle of a visible occluder this frame (when fewer than
// four of its corners lie behind the camera and its centre lies in front).
void MakeOccluder(const View& view, const Seen& seen) {
  StaticPolygon& p = *seen.polygon;
  Rect rect;
  int behind = 0;
  for (const Vector3f& offset : p.occluder_box) {
    const Vector3f camera = view.ToCamera(Vector3f{p.centre.x + offset.x, p.centre.y + offset.y, p.centre.z + offset.z});
    Vector3f s = view.ToScreen(camera);
    if (s.z < 0.0f || s.z > 1.0f) {
      s.x = EdgeBySign(camera.x);
      s.y = EdgeBySign(camera.y);
    }
    if (s.x < -1.0f || s.x > 1.0f) s.x = EdgeBySign(camera.x);
    if (s.y < -1.0f || s.y > 1.0f) s.y = EdgeBySign(camera.y);
    behind += camera.z < 0.0f;
    rect.min_x = std::min(rect.min_x, s.x);
    rect.max_x = std::max(rect.max_x, s.x);
    rect.min_y = std::min(rect.min_y, s.y);
    rect.max_y = std::max(rect.max_y, s.y);
  }
  if (behind >= 4 || !(seen.z > 0.0f)) return;
  if (p.full_height) rect.min_y = -1.0f, rect.max_y = 1.0f;
  p.occluder = StaticOccluder{1, rect.min_x, rect.min_y, rect.max_x, rect.max_y, seen.z};
}

// Whether the nearer occluders hide the polygon's screen rectangle: each
// one that spans its width or height cuts it back, and one that covers
// what is left hides it.
bool Occluded(const View& view, const Seen& seen, const std::vector<const StaticOccluder*>& occluders) {
  const StaticPolygon& p = *seen.polygon;
  const float height = p.height_extent_in_use ? p.height_extent : p.radius;
  const float ph = view.ToScreen(Vector3f{0.0f, height, seen.z}).y;
  auto clamp = [](float v) { return std::clamp(v, -1.0f, 1.0f); };
  Rect r{clamp(seen.screen.x - seen.radius), clamp(seen.screen.y - ph), clamp(seen.screen.x + seen.radius),
         clamp(seen.screen.y + ph)};
  const float near_depth = seen.z - p.radius;
  for (const StaticOccluder* o : occluders) {
    if (!(o->depth < near_depth)) continue;
    if (o->min_x > r.max_x || o->max_x < r.min_x || o->min_y > r.max_y || o->max_y < r.min_y) continue;
    if (o->min_x <= r.min_x && o->max_x >= r.max_x) {
      if (o->min_y <= r.min_y)
        r.min_y = std::max(r.min_y, o->max_y);
      else if (o->max_y >= r.max_y)
        r.max_y = std::min(r.max_y, o->min_y);
    }
    if (o->min_y <= r.min_y && o->max_y >= r.max_y) {
      if (o->min_x <= r.min_x)
        r.min_x = std::max(r.min_x, o->max_x);
      else if (o->max_x >= r.max_x)
        r.max_x = std::min(r.max_x, o->min_x);
    }
    const bool emptied = r.min_x > r.max_x || r.min_y > r.max_y;
    if (emptied || (o->min_x <= r.min_x && o->max_x >= r.max_x && o->min_y <= r.min_y && o->max_y >= r.max_y))
      return true;
  }
  return false;
}

// VBUSAGE: how the vertex buffer is locked.
uint32_t LockFlags(Engine3D& e) {
  const int32_t usage = e.Bound() && e.Machine().runtime ? e.Machine().runtime->settings.vb_usage : 0;
  if (usage == 1 || usage == 3) return p::kLockWait;
  if (usage == 2) return p::kLockWait | p::kLockWriteOnly;
  return p::kLockWriteOnly;
}

// Fills the vertex buffer batch by batch and draws each batch.
class Batcher {
 public:
  Batcher(Engine3D& e, p::Device3D& d) : e_(e), d_(d), scene_(e.static_scene), flags_(LockFlags(e)) {}

  void Begin() {
    vertices_ = 0;
    scene_.batch_indices.clear();
    scene_.vertex_buffer->Lock(flags_, &locked_);
  }
  void Add(const StaticPolygon& p) {
    const auto count = static_cast<uint32_t>(p.vertices.size());
    if (vertices_ + count >= kBatchVertices) {
      Flush();
      scene_.vertex_buffer->Lock(flags_, &locked_);
    }
    if (locked_.size() < static_cast<size_t>(vertices_) + count) return;
    std::copy(p.vertices.begin(), p.vertices.end(), locked_.begin() + vertices_);
    for (uint16_t i : p.indices) scene_.batch_indices.push_back(static_cast<uint16_t>(i + vertices_));
    vertices_ += count;
  }
  void Flush() {
    scene_.vertex_buffer->Unlock();
    locked_ = {};
    if (!scene_.batch_indices.empty()) {
      d_.DrawIndexedPrimitiveVB(p::PrimitiveType::kTriangleList, *scene_.vertex_buffer, 0, vertices_,
                                scene_.batch_indices);
      e_.polygon_counter += scene_.batch_indices.size();
    }
    vertices_ = 0;
    scene_.batch_indices.clear();
  }

 private:
  Engine3D& e_;
  p::Device3D& d_;
  StaticScene& scene_;
  uint32_t flags_;
  std::span<p::Vertex> locked_;
  uint32_t vertices_ = 0;
};

}  // namespace

void UpdateStaticVisibility(Engine3D& e) {
  StaticScene& scene = e.static_scene;
  const View view(e);
  std::vector<Seen> visible;
  for (StaticGroup& group : scene.groups)
    for (const auto& polygon : group.polygons) {
      polygon->visible = 0;
      if (Follows(*polygon)) continue;
      const Seen seen = Look(view, *polygon);
      if (OutOfView(seen, view.Far())) continue;
      polygon->visible = 1;
      visible.push_back(seen);
    }
  if (!visible.empty() && scene.occlusion_on == 1) {
    for (StaticGroup& group : scene.groups)
      for (const auto& polygon : group.polygons) polygon->occluder.on = 0;
    std::vector<const StaticOccluder*> occluders;
    for (const Seen& seen : visible) {
      if (!seen.polygon->has_occluder_box) continue;
      MakeOccluder(view, seen);
      if (seen.polygon->occluder.on) occluders.push_back(&seen.polygon->occluder);
    }
    if (!occluders.empty())
      for (const Seen& seen : visible)
        if (Occluded(view, seen, occluders)) seen.polygon->visible = 0;
  }
  for (StaticGroup& group : scene.groups)
    for (const auto& polygon : group.polygons)
      if (Follows(*polygon)) polygon->visible = polygon->container->visible;
}

void DrawStaticScene(Engine3D& e) {
  p::Device3D* d = e.Device();
  StaticScene& scene = e.static_scene;
  if (!d || !scene.HasGroups()) return;
  UpdateStaticVisibility(e);
  // A batch holds under 300 vertices, or one polygon of more.
  uint32_t needed = kBatchVertices;
  for (const StaticGroup& group : scene.groups)
    for (const auto& polygon : group.polygons)
      needed = std::max(needed, static_cast<uint32_t>(polygon->vertices.size()));
  if (!scene.vertex_buffer || scene.capacity < needed)
    CreateStaticVertexBuffer(e, std::max(needed, StaticScene::kFirstCapacity));
  if (!scene.vertex_buffer) return;
  Batcher batcher(e, *d);
  for (const StaticGroup& group : scene.groups) {
    SetStageTexture(e, group.texture);
    batcher.Begin();
    for (const auto& polygon : group.polygons)
      if (polygon->visible && !polygon->vertices.empty()) batcher.Add(*polygon);
    batcher.Flush();
  }
}

}  // namespace zv
