// Feeds arbitrary bytes to the X file reader, runs the typed views over what
// it accepts, and checks that writing an accepted file in its own form and
// reading that back gives the same tree.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <unordered_map>

#include "platform/paths/path_resolver.h"
#include "platform/xfile/animation_view.h"
#include "platform/xfile/frame_view.h"
#include "platform/xfile/material_view.h"
#include "platform/xfile/mesh_view.h"
#include "platform/xfile/reader.h"
#include "platform/xfile/writer.h"

namespace {

using namespace zv::platform;

void RunViews(const XDataObject& object) {
  switch (object.kind()) {
    case XTemplateKind::kMesh: (void)ReadXMesh(object); break;
    case XTemplateKind::kMeshNormals: (void)ReadXMeshNormals(object); break;
    case XTemplateKind::kMeshTextureCoords: (void)ReadXMeshTextureCoords(object); break;
    case XTemplateKind::kMeshMaterialList: (void)ReadXMeshMaterialList(object); break;
    case XTemplateKind::kMaterial: (void)ReadXMaterial(object); break;
    case XTemplateKind::kTextureFilename: (void)ReadXTextureFilename(object); break;
    case XTemplateKind::kFrameTransformMatrix: (void)ReadXFrameTransformMatrix(object); break;
    case XTemplateKind::kAnimationKey: (void)ReadXAnimationKey(object); break;
    case XTemplateKind::kAnimation: (void)ReadXAnimation(object); break;
    default: break;
  }
}

// Written files declare their templates before every object, so objects read
// before a later declaration of the same name would bind differently.
bool TemplatesBindTheSameWhenDeclaredFirst(const XDocument& doc) {
  std::unordered_map<std::string, const XTemplate*> last;
  for (const auto& t : doc.templates) last[AsciiLower(t->name)] = t.get();
  bool same = true;
  doc.ForEachObject([&](const XDataObject& object) {
    auto it = last.find(AsciiLower(object.type().name));
    const XTemplate* expected =
        it != last.end() ? it->second : StandardTemplates().FindByName(object.type().name).get();
    same = same && expected == &object.type();
  });
  return same;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  XReadOptions options;
  options.max_decompressed_size = 64 << 20;
  auto doc = ParseXFile({data, size}, options);
  if (!doc.ok()) return 0;
  doc->ForEachObject(RunViews);

  if (!TemplatesBindTheSameWhenDeclaredFirst(*doc)) return 0;
  XWriteOptions write;
  write.encoding = doc->header.encoding;
  write.float_bits = doc->header.float_bits;
  write.write_templates = true;
  auto bytes = WriteXData(*doc, write);
  if (!bytes.ok()) return 0;  // names or strings the form cannot carry
  auto back = ParseXFile({reinterpret_cast<const uint8_t*>(bytes->data()), bytes->size()});
  if (!back.ok() || !SameTree(*doc, *back)) std::abort();
  return 0;
}
