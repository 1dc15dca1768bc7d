#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "platform/xfile/document.h"
#include "platform/xfile/mesh_view.h"

namespace zv::platform {

// An empty object of the standard template `kind` (not kOther), ready for
// values and children.
std::unique_ptr<XDataObject> MakeXObject(XTemplateKind kind, std::string name = {});

// A Mesh object with these vertices and faces and nothing else.
std::unique_ptr<XDataObject> MakeXMesh(std::string name, std::span<const XVector3> vertices,
                                       const XFaceList& faces);

// An unnamed AnimationKey object of `key_type`: key k has time times[k] and
// the `values_per_key` values starting at values[k * values_per_key].
std::unique_ptr<XDataObject> MakeXAnimationKey(uint32_t key_type, std::span<const uint32_t> times,
                                               std::span<const float> values,
                                               uint32_t values_per_key);

// A reference to the object called `name`.
XReference MakeXReference(std::string name);

}  // namespace zv::platform
