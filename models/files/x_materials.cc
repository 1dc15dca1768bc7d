#include "models/files/x_materials.h"

#include <algorithm>
#include <string_view>

#include "platform/xfile/document.h"
#include "platform/xfile/material_view.h"
#include "platform/xfile/mesh_view.h"
#include "runtime/vm/numeric/float_to_int.h"

namespace zv::models {

using platform::XDataObject;
using platform::XTemplateKind;

MeshMaterial& MeshMaterialTable::Entry(uint32_t m) {
  if (materials.size() <= m) materials.resize(m + 1);
  return materials[m];
}

uint32_t MeshMaterialTable::GroupCount() const { return std::min(material_count, kMaxMaterials); }

void MeshMaterialTable::ReleaseUntakenTextures(NodeServices& services) {
  for (MeshMaterial& m : materials) {
    if (m.texture > 0 && !m.taken) services.ReleaseTexture(m.texture, false);
    m.texture = 0;
  }
}

std::string MaterialTextureName(const std::string& file_name) {
  size_t dot = file_name.rfind('.');
  if (dot == std::string::npos || dot == 0) return file_name;
  return file_name.substr(0, dot) + ".bmp";
}

std::string ModelTextureName(const std::string& written) {
  auto separator = [](char c) { return c == '\\' || c == '/'; };
  const bool drive = written.size() >= 2 && written[1] == ':';
  const size_t last = written.find_last_of(drive ? "\\/:" : "\\/");
  const std::string file_name = last == std::string::npos ? written : written.substr(last + 1);
  if (drive || (!written.empty() && separator(written[0]))) return file_name;
  int depth = 0;
  size_t start = 0;
  while (start <= written.size()) {
    size_t end = start;
    while (end < written.size() && !separator(written[end])) ++end;
    const std::string_view part(written.data() + start, end - start);
    if (part == "..") {
      if (--depth < 0) return file_name;
    } else if (!part.empty() && part != ".") {
      ++depth;
    }
    start = end + 1;
  }
  return written;
}

namespace {

// Loads the first of the files that may stand for the named texture into
// the entry, which takes that file's name (the first name when none loads).
// A ".bmp" of the name comes first, then the file as named: models name the
// PNG, JPEG or TGA pictures they were made with. A name holding blanks is
// also sought with '_' for each blank, as models converted from 3DS files
// named such textures before their blanks were kept.
void LoadMaterialTexture(const std::string& written, MeshMaterial& entry, NodeServices& services) {
  std::vector<std::string> names;
  auto seek = [&](const std::string& name) {
    if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
  };
  seek(MaterialTextureName(written));
  seek(written);
  std::string underscored = written;
  std::replace(underscored.begin(), underscored.end(), ' ', '_');
  seek(MaterialTextureName(underscored));
  seek(underscored);
  entry.texture_name = names.front();
  for (const std::string& name : names) {
    entry.texture = services.LoadTextureFile(name, 0);
    if (entry.texture != 0) {
      entry.texture_name = name;
      return;
    }
  }
}

uint32_t ColourByte(float value) {
  return static_cast<uint32_t>(TruncateToInt32(value * 255.0f)) & 0xFF;
}

}  // namespace

void ReadXMaterial(const XDataObject& object, MeshMaterial& entry, NodeServices& services) {
  auto read = platform::ReadXMaterial(object);
  if (!read.ok()) return;
  const platform::XMaterial& x = *read;
  const auto& c = x.face_color;
  platform::Material& m = entry.material;
  m = {};
  m.diffuse = m.ambient = {c[0], c[1], c[2], c[3]};
  m.specular = {x.specular_color[0], x.specular_color[1], x.specular_color[2], 0.0f};
  m.emissive = {x.emissive_color[0], x.emissive_color[1], x.emissive_color[2], 0.0f};
  m.power = x.power;

  // Only an embedded TextureFilename as the first child names a texture.
  const auto& children = object.children();
  if (!children.empty() && !children.front().is_reference() &&
      children.front().object()->Is(XTemplateKind::kTextureFilename)) {
    auto file = platform::ReadXTextureFilename(*children.front().object());
    if (!file.ok()) return;
    LoadMaterialTexture(ModelTextureName(*file), entry, services);
    entry.has_texture_file = true;
  }

  uint32_t colour = ColourByte(c[2]) | ColourByte(c[1]) << 8 | ColourByte(c[0]) << 16;
  if (!entry.has_texture_file && colour != 0xFFFFFF) {
    entry.texture_name = std::to_string(colour);
    entry.texture = services.GetColourTexture(colour);
  }
}

std::optional<platform::XError> ReadXMaterialList(const XDataObject& object, MeshMaterialTable& table,
                                                  NodeServices& services) {
  auto list = platform::ReadXMeshMaterialList(object);
  if (!list.ok()) return list.error();
  table.material_count = list->material_count;
  table.face_indexes = std::move(list->face_indexes);
  // The material number counts every child, Material or not.
  uint32_t number = 0;
  for (const XDataObject* material : list->materials) {
    if (number >= MeshMaterialTable::kMaxMaterials) break;
    if (material != nullptr) ReadXMaterial(*material, table.Entry(number), services);
    ++number;
  }
  return std::nullopt;
}

}  // namespace zv::models
