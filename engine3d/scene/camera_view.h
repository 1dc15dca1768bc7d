#pragma once

#include "engine3d/objects/matrix_math.h"

namespace zv {

class Engine3D;
struct CameraState;

// Each rebuilds the camera's view matrix in its mode and sets it as the
// device's VIEW transform (when there is a device).
// Mode 0: from the position towards the look-at point; the free matrix
// returns to the identity.
void UpdateCameraLookAt(Engine3D& e);
// Mode 1: from the negated angles in the rotation order and the position;
// the free matrix returns to the identity.
void UpdateCameraFromAngles(Engine3D& e);
// Mode 2: from the free matrix and the position; the angles follow the
// matrix.
void UpdateCameraAngles(Engine3D& e);
// The update of the camera's current mode.
void UpdateCameraForMode(Engine3D& e);

// The turn of the camera's view matrix alone, without its position.
Matrix4 ViewRotation(const CameraState& c);

}  // namespace zv
