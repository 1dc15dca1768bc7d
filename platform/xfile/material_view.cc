#include "platform/xfile/material_view.h"

#include "platform/xfile/view_cursor.h"

namespace zv::platform {

XResult<std::string> ReadXTextureFilename(const XDataObject& object) {
  return ReadView<std::string>([&] {
    RequireStandardLayout(object, XTemplateKind::kTextureFilename);
    if (object.strings().empty()) XNumberCursor(object).Fail("holds no file name");
    return object.strings().front();
  });
}

XResult<XMaterial> ReadXMaterial(const XDataObject& object) {
  return ReadView<XMaterial>([&] {
    RequireStandardLayout(object, XTemplateKind::kMaterial);
    XNumberCursor cursor(object);
    XMaterial material;
    for (float& c : material.face_color) c = cursor.F32();
    material.power = cursor.F32();
    for (float& c : material.specular_color) c = cursor.F32();
    for (float& c : material.emissive_color) c = cursor.F32();
    if (const XDataObject* texture = object.FindChild(XTemplateKind::kTextureFilename)) {
      auto name = ReadXTextureFilename(*texture);
      if (!name.ok()) throw XFileException(name.error().offset, name.error().message);
      material.texture_filename = *name;
    }
    return material;
  });
}

}  // namespace zv::platform
