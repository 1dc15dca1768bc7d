#include "engine3d/render/screen_position.h"

#include "engine3d/engine.h"
#include "engine3d/objects/object_setup.h"
#include "engine3d/render/render_settings.h"
#include "engine3d/render/render_states.h"
#include "engine3d/render/scene_render.h"
#include "runtime/vm/numeric/float_to_int.h"

namespace zv {
namespace {

// Objects nearer than this are not tested against the screen's sides.
constexpr float kScreenSideTestDepth = 20.0f;

// The view rectangle the render draws into: the device's, else the screen.
platform::Viewport DrawnViewport(Engine3D& e) {
  platform::Viewport view;
  view.width = e.DisplayWidth();
  view.height = e.DisplayHeight();
  if (platform::Device3D* d = e.Device()) d->GetViewport(&view);
  return view;
}

}  // namespace

Vector3f ObjectWorldOrigin(Engine3D& e, int32_t object) {
  const ObjectRecord* o = e.pools.Object(object);
  if (!o) return Vector3f{};
  const auto& p = e.Sprites()[o->render_record].position;
  Vector3f origin{p[0], p[1], p[2]};
  if (o->glued_to != 0 || LockedToCamera(e, object))
    TransformPointProject(origin, origin, ObjectBaseMatrix(e, object));
  return origin;
}

ScreenInfo ObjectScreenInfo(Engine3D& e, int32_t record) {
  const SpriteRecord& s = e.Sprites()[record];
  const ObjectRecord* o = e.pools.Object(s.object);
  // The camera-locked pass draws in the camera's space with a projection of
  // its own.
  Vector3f camera;
  Matrix4 projection = e.settings.projection;
  if (LockedToCamera(e, s.object)) {
    camera = CameraSpaceOrigin(e, s.object);
    projection = CameraProjectionMatrix(e, kDefaultNear, kDefaultFar, kDefaultFov);
  } else {
    camera = ObjectWorldOrigin(e, s.object);
    TransformPointProject(camera, camera, e.settings.world);
    TransformPointProject(camera, camera, e.camera.view);
  }
  const CullResult cull = CullAt(e, o, camera, projection, kScreenSideTestDepth);
  const platform::Viewport view = DrawnViewport(e);
  ScreenInfo info;
  info.in_screen = cull.misses > 0 ? 0 : 1;
  const float half_width = static_cast<float>(view.width) / 2.0f;
  const float half_height = static_cast<float>(view.height) / 2.0f;
  info.x = TruncateToInt32(static_cast<float>(view.x) + (cull.screen.x + 1.0f) * half_width);
  info.y = TruncateToInt32(static_cast<float>(view.y) + (1.0f - cull.screen.y) * half_height);
  return info;
}

}  // namespace zv
