#pragma once

#include <memory>
#include <string_view>

#include "platform/xfile/template.h"

namespace zv::platform {

// The templates that the model code looks for, by their standard identities.
// Every other template, standard or declared in a file, is kOther.
enum class XTemplateKind {
  kOther,
  kHeader,
  kVector,
  kCoords2d,
  kMatrix4x4,
  kColorRGBA,
  kColorRGB,
  kTextureFilename,
  kMaterial,
  kMeshFace,
  kMeshTextureCoords,
  kMeshMaterialList,
  kMeshNormals,
  kMeshVertexColors,
  kMesh,
  kFrameTransformMatrix,
  kFrame,
  kFloatKeys,
  kTimedFloatKeys,
  kAnimationKey,
  kAnimationOptions,
  kAnimation,
  kAnimationSet,
};

// The standard templates (the format's first set and the common later ones,
// such as skin weights and vertex declarations), declared in our own code.
// Files may declare templates of their own or declare these again.
const XTemplateRegistry& StandardTemplates();

// The standard template of `kind` (null for kOther).
std::shared_ptr<const XTemplate> StandardTemplate(XTemplateKind kind);

// Which standard template `t` is: by identity when it has one, else by name
// without regard to case.
XTemplateKind KindOfTemplate(const XTemplate& t);

// The text of the standard template declarations.
std::string_view StandardTemplateText();

}  // namespace zv::platform
