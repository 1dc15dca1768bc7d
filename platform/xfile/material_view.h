#pragma once

#include <array>
#include <optional>
#include <string>

#include "platform/xfile/document.h"
#include "platform/xfile/error.h"

namespace zv::platform {

// A Material object's colours and the texture file named by its first
// TextureFilename child (embedded or referred to), if any.
struct XMaterial {
  std::array<float, 4> face_color{};  // r, g, b, a
  float power = 0;
  std::array<float, 3> specular_color{};
  std::array<float, 3> emissive_color{};
  std::optional<std::string> texture_filename;
};
XResult<XMaterial> ReadXMaterial(const XDataObject& material);

// A TextureFilename object's file name.
XResult<std::string> ReadXTextureFilename(const XDataObject& texture);

}  // namespace zv::platform
