#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "models/nodes/node_services.h"
#include "platform/render3d/types.h"
#include "platform/xfile/error.h"

namespace zv::platform {
class XDataObject;
}

namespace zv::models {

// One material of the mesh being read: its device material, the texture
// record it loaded (0 = none) and that texture's name.
struct MeshMaterial {
  platform::Material material;
  int32_t texture = 0;
  std::string texture_name;
  bool has_texture_file = false;
  // Set once a mesh node holds the texture; the table gives back the
  // references nobody took.
  bool taken = false;
};

// The material list of the mesh being read: how many materials it names,
// which material each face uses, and the materials themselves.
struct MeshMaterialTable {
  // A mesh holds at most this many materials; the rest are not read.
  static constexpr uint32_t kMaxMaterials = 256;

  uint32_t material_count = 0;
  std::vector<uint32_t> face_indexes;
  std::vector<MeshMaterial> materials = std::vector<MeshMaterial>(1);

  // The entry for material `m` (made on first use; m below kMaxMaterials).
  MeshMaterial& Entry(uint32_t m);
  // The number of material groups a mesh splits into (at most kMaxMaterials).
  uint32_t GroupCount() const;
  // Releases the textures of the materials no mesh node took.
  void ReleaseUntakenTextures(NodeServices& services);
};

// Reads a MeshMaterialList object and the materials it holds or refers to
// into `table`. The reason, when the list's values cannot be read.
std::optional<platform::XError> ReadXMaterialList(const platform::XDataObject& list, MeshMaterialTable& table,
                                                  NodeServices& services);

// Reads a Material object into `entry`: its colours, the texture its first
// child names (loaded as a ".bmp" of the same name, or its ".dds"; when
// neither is there, the file as named; for a name with blanks, then the same
// with '_' for each blank), or else a shared texture of its colour unless
// that is white.
void ReadXMaterial(const platform::XDataObject& material, MeshMaterial& entry,
                   NodeServices& services);

// The texture file a material's TextureFilename asks for: a name with a
// '.' after its first character is cut at its last '.' and given ".bmp".
std::string MaterialTextureName(const std::string& file_name);

// A texture name as a model file wrote it, kept inside the model's folder:
// a name that is absolute (a leading separator or a drive letter, as
// exporters leave the artist's own folders in) or whose ".." steps climb
// above the model's folder is reduced to its file name, looked up beside
// the model. Names that stay below the folder are kept as written.
std::string ModelTextureName(const std::string& written);

}  // namespace zv::models
