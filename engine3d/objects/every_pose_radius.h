#pragma once

#include <unordered_map>

#include "models/files/keyframes.h"
#include "models/nodes/frame_node.h"

namespace zv {

// The farthest vertex of each mesh from the origin of the frame it stands
// in, by mesh: measured once, until the meshes change.
using MeshReaches = std::unordered_map<const models::SceneNode*, float>;

// A distance from the model's origin (its root frame's matrix set aside, as
// the bounds are measured) that no vertex passes in any pose the keyframes
// can give it: played, set or blended between frames. A frame a track
// animates is taken at the most its keys can stretch and carry it, any
// other as its matrix stands. Meshes not yet in `meshes` are measured into
// it. It is worked out when the keyframes or the limbs change, not as the
// model is posed. -1 without vertices.
float RadiusOfEveryPose(models::FrameNode& root, const models::KeyframeSet& keyframes, MeshReaches& meshes);

}  // namespace zv
