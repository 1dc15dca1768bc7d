#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "engine3d/objects/object_record.h"
#include "engine3d/scene/static_scene.h"

namespace zv {

class Engine3D;

// The engine's side of the static scene: the textures its groups hold (one
// reference per group), its vertex buffer, and its files.

// Adds the mesh record's geometry to the group of `texture`; false when the
// geometry is refused (no vertices, or faces naming vertices it lacks).
bool AddStaticGeometry(Engine3D& e, int32_t texture, const MeshRecord& mesh, const StaticPieceMode& mode);
// Frees every group (giving back its texture), polygon and collision box;
// the vertex buffer stays.
void ClearStaticScene(Engine3D& e);
// The shared vertex buffer for `capacity` vertices, in the memory the
// settings VBCREATE and the device ask for; the batch starts empty.
void CreateStaticVertexBuffer(Engine3D& e, uint32_t capacity);

// A file a save could not write (a program's name), and why: an errno
// value, 0 for a reason of the scene's own.
struct UnsavedFile {
  std::string name;
  int error = 0;
};
// Writes the scene to the file `name` (a program's name) and, beside it,
// each group's texture as `name`_N.dds (N the group's texture number); an
// empty scene is the two bytes that end both lists. The first file that
// could not be written (whose previous file stays), or the scene for a name
// longer than 255 characters; nothing when all were.
std::optional<UnsavedFile> SaveStaticScene(Engine3D& e, const std::string& name);
// Replaces the scene's groups and boxes with those of the file; the groups
// take their textures from the texture cache or the DDS files beside it
// (untextured when missing). False, changing nothing, when the name is
// longer than 255 characters or the file cannot be read, is empty or is
// damaged.
bool LoadStaticScene(Engine3D& e, const std::string& name);

// The name of a group's texture file beside the scene file.
std::string StaticTextureFileName(const std::string& scene_name, int32_t texture);

}  // namespace zv
