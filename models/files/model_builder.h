#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "models/nodes/frame_node.h"
#include "models/nodes/node_services.h"
#include "models/nodes/node_types.h"

namespace zv::models {

// A mesh node named "usermesh" made from a mesh record's geometry, with
// that texture (not owned: the mesh did not load it) and the second name
// "Default", numbered `frame_number` and appended to `parent`'s children.
// False, with nothing attached, when its vertex buffer cannot be made; a
// mesh without vertices makes an empty node that draws nothing.
bool BuildMeshNode(const MeshGeometry& mesh, int32_t texture, SceneNode& parent, int32_t frame_number,
                   NodeServices& services);

// Builds a model's first frame or a further limb from a mesh record: frame
// 0 makes the root ("root") when the model has none; any other number adds
// a frame "userframe" under the root of a model that has one. False in
// every other case, and when the mesh node cannot be made. The mesh takes
// over the caller's reference of `texture` when it is made.
bool AddMeshFrame(std::unique_ptr<FrameNode>& root, int32_t frame_number, const MeshGeometry& mesh,
                  int32_t texture, NodeServices& services);

// The name of frame `number` into `*name` (empty when no frame has it).
// False only without a root.
bool GetModelFrameName(FrameNode* root, int32_t number, std::string* name);

}  // namespace zv::models
