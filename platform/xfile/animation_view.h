#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/xfile/document.h"
#include "platform/xfile/error.h"

namespace zv::platform {

// Key types of AnimationKey objects and the values each key carries.
enum XKeyType : uint32_t {
  kXRotationKey = 0,     // quaternion w, x, y, z
  kXScaleKey = 1,        // x, y, z
  kXPositionKey = 2,     // x, y, z
  kXMatrixKey = 4,       // 16 floats (some exporters write type 3)
};

// An AnimationKey object. Every key of the known types must carry the number
// of values its type needs; keys of other types must all carry the same count.
struct XAnimationKey {
  uint32_t key_type = 0;
  uint32_t values_per_key = 0;
  std::vector<uint32_t> times;
  std::vector<float> values;  // times.size() x values_per_key
};
XResult<XAnimationKey> ReadXAnimationKey(const XDataObject& key);

// An Animation object: the frame it animates (the first reference that
// resolves to a Frame; null when none does), the name written in its first
// reference (kept when that names nothing), and its AnimationKey children.
struct XAnimation {
  const XDataObject* frame = nullptr;
  std::string frame_reference;
  std::vector<const XDataObject*> keys;
};
XAnimation ReadXAnimation(const XDataObject& animation);

// The Animation objects of an AnimationSet (embedded or referred to), in order.
std::vector<const XDataObject*> ReadXAnimationSet(const XDataObject& set);

}  // namespace zv::platform
