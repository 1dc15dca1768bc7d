#pragma once

#include <cstdint>

#include "engine3d/objects/matrix_math.h"

namespace zv {

class Engine3D;
struct ObjectRecord;

// The visibility test of one render record against the view: how many of
// the screen-side, behind and beyond-far tests it fails (the side tests
// only from `side_test_depth` on), its view depth plus culling radius, and
// its projected position.
struct CullResult {
  int32_t misses = 0;
  bool glued = false;
  double distance = 0;
  Vector3f screen;
};
CullResult CullRecord(Engine3D& e, int32_t record, float side_test_depth);
// The same test of the object for a point `camera` in camera space, under
// `projection`.
CullResult CullAt(Engine3D& e, const ObjectRecord* o, const Vector3f& camera, const Matrix4& projection,
                  float side_test_depth);

// The frame: cull, gather and sort the textures, open the scene, draw the
// static scene and the four passes of objects (solid by texture, ghosted
// far to near, depth-sorted near to far, camera-locked), close the scene.
void RenderScene(Engine3D& e);
// The backdrop, drawn first; the scene it opens stays open for the render.
// True when it was drawn.
bool RenderBackdrop(Engine3D& e);

}  // namespace zv
