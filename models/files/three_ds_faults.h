#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "models/files/three_ds_reader.h"

namespace zv::models {

// What keeps a 3DS file from becoming the model it describes, said as the
// X reader says it, in the file's terms: "byte B: what is wrong". A binary
// file has no lines, so the place is a byte offset.

// A file that does not begin with a 3DS main chunk, or that ends before its
// main chunk does: where, and inside which chunk (the innermost one the
// file ends in). Nothing for a file whose main chunk is whole.
std::optional<std::string> FindThreeDsCut(std::span<const uint8_t> file);

// The first face of the object's mesh that refers to a vertex the mesh
// does not have, placed at that index's bytes. Nothing when every face
// fits, or when the mesh has no vertex list (it becomes no mesh).
std::optional<std::string> FindThreeDsBadFace(const ThreeDsMesh& mesh, std::string_view object);

// A texture coordinate list whose pairs do not fit the mesh's vertices one
// to one, placed at its count: the mesh is converted all the same (a vertex
// without a pair takes (0, 0)), but its texture lies wrong.
std::optional<std::string> FindThreeDsUnfitTexCoords(const ThreeDsMesh& mesh, std::string_view object);

}  // namespace zv::models
