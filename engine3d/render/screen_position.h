#pragma once

#include <cstdint>

#include "engine3d/objects/matrix_math.h"

namespace zv {

class Engine3D;

// Where an object's origin stands in the world: its position, or, glued to
// a limb of another object, where that limb holds it, or, locked to the
// camera, where it is seen before the camera.
Vector3f ObjectWorldOrigin(Engine3D& e, int32_t object);

// Whether a render record's object lies in the screen, and where its origin
// is drawn, in the pixels of the screen: through the camera's view rectangle,
// from where a glued object hangs, and for an object locked to the camera
// from its place before the camera.
struct ScreenInfo {
  int32_t in_screen = 0;
  int32_t x = 0, y = 0;
};
ScreenInfo ObjectScreenInfo(Engine3D& e, int32_t record);

}  // namespace zv
