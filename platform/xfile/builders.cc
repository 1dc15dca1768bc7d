#include "platform/xfile/builders.h"

#include <stdexcept>

namespace zv::platform {

std::unique_ptr<XDataObject> MakeXObject(XTemplateKind kind, std::string name) {
  auto type = StandardTemplate(kind);
  if (!type) throw std::invalid_argument("MakeXObject needs a standard template kind");
  return std::make_unique<XDataObject>(std::move(type), std::move(name));
}

std::unique_ptr<XDataObject> MakeXMesh(std::string name, std::span<const XVector3> vertices,
                                       const XFaceList& faces) {
  auto mesh = MakeXObject(XTemplateKind::kMesh, std::move(name));
  auto& numbers = mesh->numbers();
  numbers.reserve(2 + vertices.size() * 3 + faces.packed.size());
  numbers.push_back(static_cast<double>(vertices.size()));
  for (const XVector3& v : vertices) numbers.insert(numbers.end(), {v.x, v.y, v.z});
  numbers.push_back(faces.count);
  numbers.insert(numbers.end(), faces.packed.begin(), faces.packed.end());
  return mesh;
}

std::unique_ptr<XDataObject> MakeXAnimationKey(uint32_t key_type, std::span<const uint32_t> times,
                                               std::span<const float> values,
                                               uint32_t values_per_key) {
  auto key = MakeXObject(XTemplateKind::kAnimationKey);
  auto& numbers = key->numbers();
  numbers.push_back(key_type);
  numbers.push_back(static_cast<double>(times.size()));
  for (size_t k = 0; k < times.size(); ++k) {
    numbers.push_back(times[k]);
    numbers.push_back(values_per_key);
    for (uint32_t v = 0; v < values_per_key; ++v) {
      size_t at = k * values_per_key + v;
      // Keys without values given write zeros; the writer checks counts, not
      // the caller's arithmetic.
      numbers.push_back(at < values.size() ? values[at] : 0.0f);
    }
  }
  return key;
}

XReference MakeXReference(std::string name) {
  XReference reference;
  reference.name = std::move(name);
  return reference;
}

}  // namespace zv::platform
