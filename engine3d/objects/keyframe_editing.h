#pragma once

#include <cstdint>
#include <memory>

#include "engine3d/objects/matrix_math.h"
#include "models/files/keyframes.h"

namespace zv {

class Engine3D;
class ObjectModel;

// A rotation as a quaternion, the scalar w apart.
struct Quaternion {
  double x = 0, y = 0, z = 0, w = 1;
};

// The quaternion of a rotation matrix (row vectors): from the trace when it
// is at least 1, else from the largest diagonal element.
Quaternion MatrixToQuaternion(const Matrix4& m);

// The pose of one limb as key values: the rotation (w, x, y, z) of the
// inverse of its frame matrix and the frame matrix's translation row.
struct LimbPose {
  float rotation[4] = {1, 0, 0, 0};
  float translation[3] = {0, 0, 0};
};
LimbPose LimbPoseKeys(ObjectModel& model, int32_t limb);

// Keyframes holding the object's present pose: a track per limb in use
// above the root, named after its frame, each with one rotation and one
// translation key at frame 0 and no scale keys.
std::unique_ptr<models::KeyframeSet> BuildKeyframesFromPose(Engine3D& e, int32_t object);

// Records the pose of every track's limb as rotation and translation keys
// at frame `frame` (in time order; a key at that frame is overwritten) and
// returns the new frame count.
int32_t SetKeysAtFrame(models::KeyframeSet& keyframes, Engine3D& e, int32_t object, int32_t frame);
// Removes the rotation and translation keys at `frame` from every track
// that keeps at least one key of the kind; frame 0 is never removed.
void DeleteKeysAtFrame(models::KeyframeSet& keyframes, int32_t frame);
// The largest whole last-key time over every track (0 without keys).
float LastWholeKeyTime(const models::KeyframeSet* keyframes);
// Frame count and end frame from the keys.
void RecomputeFrameCount(Engine3D& e, int32_t object);

// Puts the object on the animated-object list (once).
void AttachAnimatedObject(Engine3D& e, int32_t object);

}  // namespace zv
