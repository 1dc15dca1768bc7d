#pragma once

#include <cstdint>
#include <string>

#include "engine3d/objects/matrix_math.h"

namespace zv {

class Engine3D;

// Results of LoadObjectMesh besides a limb count above 0.
namespace load_result {
constexpr int32_t kNoModel = 0;      // the reader built no model
constexpr int32_t kBadKind = -1;     // neither an X nor a 3DS file
constexpr int32_t kNoConvert = -3;   // the 3DS file could not be converted
constexpr int32_t kNotFound = -4;    // no such X file
}  // namespace load_result

// Loads an X (or 3DS) model file into the object record: the number of its
// frames (limbs), or one of the load results (kNoModel with the reason in
// `why`, when given: what in the file, and where). A model that loaded with
// a fault (no mesh at all, texture coordinates that fit no mesh) leaves it
// in `why` for a warning.
int32_t LoadObjectMesh(Engine3D& e, int32_t object, const std::string& file, std::string* why = nullptr);
// Reads the X file into a new model of the object: its frame count, or 0
// (the object keeps no model then).
int32_t LoadModelIntoObject(Engine3D& e, int32_t object, const std::string& path, std::string* why = nullptr);

// Gives the object a model of one frame holding the mesh record, showing
// the texture whose reference the caller took (the model keeps it, or it
// goes); 1 also when the object has a model already, 0 when the mesh makes
// no model.
int32_t MakeObjectModelFromMesh(Engine3D& e, int32_t object, int32_t mesh, int32_t texture);
// The same without a texture.
int32_t CreateObjectMeshWrapper(Engine3D& e, int32_t object, int32_t mesh);
// Adds limb frame `limb` from the mesh record; 1 on success.
int32_t AddLimbFromMesh(Engine3D& e, int32_t object, int32_t limb, int32_t mesh);
// Replaces the limb's mesh by the mesh record's geometry; 1 on success.
int32_t ReplaceObjectLimbGeometry(Engine3D& e, int32_t object, int32_t limb, int32_t mesh);

// What MakeMeshFromObject gives when the mesh pool has no room: runtime
// error 101 is raised already, and no other error may take its place.
constexpr int32_t kNoMeshRoom = -2;

// A new mesh record holding the object's geometry as it is placed (every
// limb and material group with -1 and -1, else that limb and the group of
// that texture), inside `placed_in` (the identity: where its own placement
// puts it); -1 when the object has no model or the geometry makes no model,
// kNoMeshRoom when no record could be had.
int32_t MakeMeshFromObject(Engine3D& e, int32_t object, int32_t limb, int32_t group,
                           const Matrix4& placed_in = Matrix4::Identity());

}  // namespace zv
