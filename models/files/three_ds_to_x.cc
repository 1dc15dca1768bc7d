#include "models/files/three_ds_to_x.h"

#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <vector>

#include "models/files/three_ds_faults.h"
#include "models/files/three_ds_reader.h"
#include "models/files/x_text_buffer.h"
#include "platform/paths/failure_cause.h"
#include "platform/paths/file_read.h"
#include "platform/paths/file_save.h"
#include "platform/render3d/matrix.h"

namespace zv::models {
namespace {

// The leading decimal number of a name as the C library's atoi reads it
// (blanks, a sign, digits), held from running past the 32-bit range.
int64_t LeadingNumber(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
    value = std::min<int64_t>(value * 10 + (text[i] - '0'), int64_t{1} << 40);
  return negative ? -value : value;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

// p x m divided by w; `p` stays as it was when |w| is below 1e-5.
void TransformPoint(Vector3f& p, const Matrix4& m) { platform::TransformPointProjected(p, p, m); }

// The frame of an object, which its node's animation names: both sanitized
// alike, so that a name holding a '.' or '-' ("Cube.001") still finds its
// frame.
std::string FrameName(std::string_view object_name) { return "x3ds_" + SanitizeXName(object_name); }

// What the second pass finds wrong with the model: the first face that
// refers to a vertex its mesh lacks (the text holds it as it came, but no
// model can be made of it) and the first texture coordinates that do not
// fit their mesh.
struct ThreeDsFaults {
  std::optional<std::string> bad_face;
  std::optional<std::string> unfit;
};

// ---- The conversion's second pass: the text ---------------------------------------

class XTextOutput final : public ThreeDsOutput {
 public:
  XTextOutput(const ThreeDsKeyframer& hierarchy, XTextBuffer& text)
      : text_(text), parents_(hierarchy.parents), pivots_(hierarchy.pivots) {
    for (const char* line : {"xof 0302txt 0064", "Header {", "1;", "0;", "1;", "}", ""}) text_.Line(line);
  }

  void Finish(const ThreeDsKeyframer& keyframer) {
    WriteAnimationSet(keyframer.nodes);
    text_.HandOn();
  }

  const ThreeDsFaults& Faults() const { return faults_; }

  void Material(const ThreeDsMaterial& m) override {
    (text_ << "Material x3ds_mat_" << SanitizeXName(m.name) << " {").EndLine();
    text_.FloatLine({m.diffuse[0], m.diffuse[1], m.diffuse[2], 1.0f}, ", ", ";;");
    text_.FloatLine({m.shininess}, ", ", ";");
    text_.FloatLine({m.specular[0], m.specular[1], m.specular[2]}, ", ", ";;");
    text_.FloatLine({0.0f, 0.0f, 0.0f}, ", ", ";;");
    // The strength is -1 exactly when no texture map came.
    if (std::bit_cast<uint32_t>(m.texture_strength) != std::bit_cast<uint32_t>(-1.0f)) {
      text_.Line("TextureFilename {");
      (text_ << '"' << m.map_file << "\";").EndLine();
      text_.Line("}");
    }
    text_.Line("}");
    text_.Line("");
  }

  // An object without a name still opens its frame (under the default
  // name), so that the frame closed after it has been opened.
  void ObjectStart(const std::string& name, bool named) override {
    (void)named;
    object_name_ = name;
    (text_ << "Frame " << FrameName(name) << " {").EndLine();
    object_ = current_;
    SetDepthOf(node_index_ + 1, frame_depth_);
    StackAt(frame_depth_) = object_;
  }

  void ObjectEnd() override {
    frame_depth_ += 1;
    node_index_ += 1;
    const int16_t parent = node_index_ < 0 ? int16_t{-1} : ParentOf(node_index_);
    const int16_t next_parent = ParentOf(node_index_ + 1);
    // A next object whose parent is deeper than this one's nests inside it.
    if (next_parent > parent) return;
    CloseFramesDownTo(DepthOf(static_cast<int64_t>(next_parent) + 1));
  }

  void EditorEnd() override { CloseFramesDownTo(0); }

  void Mesh(ThreeDsMesh& mesh) override {
    if (!faults_.bad_face) faults_.bad_face = FindThreeDsBadFace(mesh, object_name_);
    if (!faults_.unfit) faults_.unfit = FindThreeDsUnfitTexCoords(mesh, object_name_);
    const bool placed = PlaceMesh(mesh);
    if (!mesh.has_vertex_list) return;
    if (placed) {
      text_.Line("FrameTransformMatrix {");
      for (int row = 0; row < 4; ++row)
        text_.FloatLine({local_.m[row][0], local_.m[row][1], local_.m[row][2], local_.m[row][3]}, ", ",
                    row < 3 ? "," : ";;");
      text_.Line("}");
    }
    std::string mesh_name = object_name_;
    if (LeadingNumber(mesh_name) > 0) mesh_name = "x" + mesh_name;
    (text_ << "Mesh " << SanitizeXName(mesh_name) << " {").EndLine();
    WriteVectors(mesh.vertices);
    // A mesh needs its face count: without a face list it has none.
    WriteFaces(mesh.faces);
    if (!mesh.material.empty()) {
      for (const char* line : {"MeshMaterialList {", "1;", "1;", "0;;"}) text_.Line(line);
      (text_ << "{x3ds_mat_" << SanitizeXName(mesh.material) << '}').EndLine();
      text_.Line("}");
      text_.Line("");
    }
    if (!mesh.normals.empty()) {
      text_.Line("MeshNormals {");
      WriteVectors(mesh.normals);
      WriteFaces(mesh.normal_indices);
      text_.Line("}");
    }
    if (mesh.has_tex_coords) WriteTexCoords(mesh);
    text_.Line("}");
  }

 private:

  // ---- Tables of the keyframer's nodes (entries past the end read as 0) -----------

  int16_t ParentOf(int64_t node) const {
    return node >= 0 && node < static_cast<int64_t>(parents_.size()) ? parents_[static_cast<size_t>(node)] : 0;
  }
  Vector3f PivotOf(int64_t node) const {
    return node >= 0 && node < static_cast<int64_t>(pivots_.size()) ? pivots_[static_cast<size_t>(node)]
                                                                     : Vector3f{};
  }
  int32_t DepthOf(int64_t node) const {
    return node >= 0 && node < static_cast<int64_t>(depths_.size()) ? depths_[static_cast<size_t>(node)] : 0;
  }
  void SetDepthOf(int64_t node, int32_t depth) {
    if (node < 0) return;
    if (static_cast<size_t>(node) >= depths_.size()) depths_.resize(static_cast<size_t>(node) + 1, 0);
    depths_[static_cast<size_t>(node)] = depth;
  }
  Matrix4& StackAt(int32_t depth) {
    const auto at = static_cast<size_t>(std::max(depth, 0));
    if (at >= stack_.size()) stack_.resize(at + 1, Matrix4::Identity());
    return stack_[at];
  }

  void CloseFramesDownTo(int32_t depth) {
    while (frame_depth_ > depth && frame_depth_ >= 1) {
      text_.Line("}");
      text_.Line("");
      frame_depth_ -= 1;
    }
    current_ = StackAt(frame_depth_);
  }

  // The vertices into the mesh's own axes, about the node's pivot; the
  // frame's matrix relative to the object's parent, which moves them back
  // by the pivot too, so that the model stands as it was made until an
  // animation places it (whose first frame puts it there as well). True
  // when the frame needs that matrix.
  bool PlaceMesh(ThreeDsMesh& mesh) {
    const Matrix4 axes = mesh.has_local_axes ? mesh.local_axes : Matrix4::Identity();
    Matrix4 to_local = Matrix4::Identity();
    platform::InvertAffine(to_local, axes);
    const Vector3f pivot = PivotOf(static_cast<int64_t>(node_index_) + 1);
    to_local.m[3][0] -= pivot.x;
    to_local.m[3][1] -= pivot.y;
    to_local.m[3][2] -= pivot.z;
    for (Vector3f& v : mesh.vertices) TransformPoint(v, to_local);
    Matrix4 from_pivot = Matrix4::Identity();
    from_pivot.m[3][0] = pivot.x;
    from_pivot.m[3][1] = pivot.y;
    from_pivot.m[3][2] = pivot.z;
    const Matrix4 frame = platform::Multiply(from_pivot, axes);
    Matrix4 from_parent = Matrix4::Identity();
    platform::InvertAffine(from_parent, object_);
    local_ = platform::Multiply(frame, from_parent);
    current_ = frame;
    return mesh.has_local_axes || pivot.x != 0.0f || pivot.y != 0.0f || pivot.z != 0.0f;
  }

  // The count, then one line per entry: ";," after all but the last, ";;"
  // after it.
  void WriteCount(size_t count) { (text_.Int(static_cast<int64_t>(count)) << ';').EndLine(); }
  static std::string_view EntryEnd(size_t i, size_t count) { return i + 1 < count ? ";," : ";;"; }

  void WriteVectors(const std::vector<Vector3f>& list) {
    WriteCount(list.size());
    for (size_t i = 0; i < list.size(); ++i)
      text_.FloatLine({list[i].x, list[i].y, list[i].z}, "; ", EntryEnd(i, list.size()));
  }

  void WriteFaces(const std::vector<std::array<uint32_t, 3>>& faces) {
    WriteCount(faces.size());
    for (size_t i = 0; i < faces.size(); ++i)
      text_.FaceLine(faces[i][0], faces[i][1], faces[i][2], EntryEnd(i, faces.size()));
  }

  // One pair per vertex, v turned upside down; a vertex the list has no
  // pair for takes (0, 0).
  void WriteTexCoords(const ThreeDsMesh& mesh) {
    text_.Line("MeshTextureCoords {");
    const size_t count = mesh.vertices.size();
    WriteCount(count);
    for (size_t i = 0; i < count; ++i) {
      const std::array<float, 2> uv = i < mesh.tex_coords.size() ? mesh.tex_coords[i] : std::array<float, 2>{};
      text_.FloatLine({uv[0], 1.0f - uv[1]}, ";", EntryEnd(i, count));
    }
    text_.Line("}");
  }

  // ---- The keyframer's tracks --------------------------------------------------------------

  // Key lines are written as they come: a value spelled with '#' stays.
  void WriteKeys(const std::vector<ThreeDsKey>& keys, int type, bool rotation) {
    text_.Line("AnimationKey {");
    (text_.Int(type) << ';').EndLine();
    WriteCount(keys.size());
    for (size_t i = 0; i < keys.size(); ++i) {
      const ThreeDsKey& k = keys[i];
      text_.Int(k.frame) << "; " << (rotation ? "4" : "3") << "; ";
      if (rotation) text_.Fixed(k.value[0]) << ", ";
      text_.Fixed(k.value[1]) << ", ";
      text_.Fixed(k.value[2]) << ", ";
      (text_.Fixed(k.value[3]) << ";;" << (i + 1 < keys.size() ? "," : ";")).EndLine();
    }
    text_.Line("}");
  }

  void WriteAnimationSet(const std::vector<ThreeDsNode>& nodes) {
    if (nodes.empty()) return;
    text_.Line("AnimationSet x3ds_animset_0 {");
    int n = 0;
    for (const ThreeDsNode& node : nodes) {
      if (EqualNoCase(node.name, kThreeDsDummyNode)) continue;
      (text_ << "Animation x3ds_anim_").Int(n++) << " {";
      text_.EndLine();
      (text_ << '{' << FrameName(node.name) << '}').EndLine();
      if (!node.rotations.empty()) WriteKeys(node.rotations, 0, true);
      const bool unit_scale = node.scales.size() == 1 && node.scales[0].value[1] == 1.0f &&
                              node.scales[0].value[2] == 1.0f && node.scales[0].value[3] == 1.0f;
      if (!node.scales.empty() && !unit_scale) WriteKeys(node.scales, 1, false);
      if (!node.positions.empty()) WriteKeys(node.positions, 2, false);
      text_.Line("}");
    }
    text_.Line("}");
  }

  XTextBuffer& text_;
  const std::vector<int16_t>& parents_;
  const std::vector<Vector3f>& pivots_;
  std::vector<int32_t> depths_;
  std::vector<Matrix4> stack_;
  Matrix4 current_ = Matrix4::Identity();
  Matrix4 object_ = Matrix4::Identity();
  Matrix4 local_ = Matrix4::Identity();
  int32_t node_index_ = -1;
  int32_t frame_depth_ = 0;
  std::string object_name_;
  ThreeDsFaults faults_;
};

// The file's X text, handed to `sink` a piece at a time, and what is wrong
// with the model it describes.
ThreeDsFaults ConvertThreeDsToX(std::span<const uint8_t> file, size_t piece, XTextBuffer::Sink sink) {
  ThreeDsKeyframer hierarchy;
  ThreeDsOutput nothing;
  ReadThreeDsPass(file, ThreeDsPass::kHierarchy, nothing, hierarchy);
  XTextBuffer buffer(piece, std::move(sink));
  XTextOutput text(hierarchy, buffer);
  ThreeDsKeyframer tracks;
  ReadThreeDsPass(file, ThreeDsPass::kContents, text, tracks);
  text.Finish(tracks);
  return text.Faults();
}

// Writes the text a piece at a time; the old file goes only once it is
// whole, and not at all for a model with a face that cannot be.
int32_t WriteConverted(std::span<const uint8_t> file, const std::string& path, std::string* why) {
  auto save = platform::FileSave::Begin(path);
  int error = errno;
  bool written = save.has_value();
  ThreeDsFaults faults;
  if (written) {
    faults = ConvertThreeDsToX(file, size_t{1} << 20, [&](std::string_view piece) {
      if (written && !save->Write(piece)) written = false, error = errno;
    });
  }
  if (written && faults.bad_face) {
    if (why) *why = *faults.bad_face;
    return kThreeDsBadFace;
  }
  if (written) {
    if (save->Finish()) {
      if (why) *why = faults.unfit.value_or("");
      return 0;
    }
    error = errno;
  }
  if (why) *why = platform::CauseOf(error);
  return kThreeDsNotWritten;
}

}  // namespace

std::string SanitizeXName(std::string_view name) {
  std::string out(name);
  for (char& c : out)
    if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))) c = '_';
  return out;
}

std::string ConvertThreeDsToXText(std::span<const uint8_t> file) {
  std::string text;
  // The text of a 3DS file is about ten times its size.
  text.reserve(std::min<size_t>(file.size() * 10, size_t{256} << 20));
  ConvertThreeDsToX(file, size_t{1} << 20, [&](std::string_view piece) { text += piece; });
  return text;
}

int32_t Convert3dsToX(const std::string& source, const std::string& target, std::string* why) {
  std::optional<std::vector<uint8_t>> read = platform::ReadWholeFile(source);
  if (!read) return kThreeDsNotOpened;
  const std::vector<uint8_t>& bytes = *read;
  // A file that is not a 3DS file, or a 3DS file cut short, would convert
  // into a model with nothing in it.
  if (std::optional<std::string> cut = FindThreeDsCut(bytes)) {
    if (why) *why = *cut;
    return kThreeDsDamaged;
  }
  return WriteConverted(bytes, target, why);
}

}  // namespace zv::models
