#include "platform/xfile/animation_view.h"

#include "platform/xfile/view_cursor.h"

namespace zv::platform {
namespace {

// Values per key for the known key types, 0 for others.
uint32_t ExpectedValues(uint32_t key_type) {
  switch (key_type) {
    case kXRotationKey: return 4;
    case kXScaleKey:
    case kXPositionKey: return 3;
    case 3:
    case kXMatrixKey: return 16;
    default: return 0;
  }
}

}  // namespace

XResult<XAnimationKey> ReadXAnimationKey(const XDataObject& object) {
  return ReadView<XAnimationKey>([&] {
    RequireStandardLayout(object, XTemplateKind::kAnimationKey);
    XNumberCursor cursor(object);
    XAnimationKey key;
    key.key_type = cursor.U32();
    uint32_t count = cursor.U32();
    if (count > cursor.remaining() / 2) cursor.Fail("claims more keys than it holds");
    key.values_per_key = ExpectedValues(key.key_type);
    key.times.reserve(count);
    for (uint32_t k = 0; k < count; ++k) {
      key.times.push_back(cursor.U32());
      uint32_t n = cursor.U32();
      if (k == 0 && key.values_per_key == 0) key.values_per_key = n;
      if (n != key.values_per_key)
        cursor.Fail("key " + std::to_string(k) + " of type " + std::to_string(key.key_type) +
                    " has " + std::to_string(n) + " values, not " +
                    std::to_string(key.values_per_key));
      if (n > cursor.remaining()) cursor.Fail("claims more key values than it holds");
      for (uint32_t v = 0; v < n; ++v) key.values.push_back(cursor.F32());
    }
    return key;
  });
}

XAnimation ReadXAnimation(const XDataObject& object) {
  XAnimation animation;
  bool named = false;
  for (const XChild& child : object.children()) {
    const XDataObject* target = child.Target();
    if (const XReference* reference = child.reference()) {
      if (!named) animation.frame_reference = reference->name;
      named = true;
      if (!animation.frame && target && target->Is(XTemplateKind::kFrame)) animation.frame = target;
    }
    if (target && target->Is(XTemplateKind::kAnimationKey)) animation.keys.push_back(target);
  }
  return animation;
}

std::vector<const XDataObject*> ReadXAnimationSet(const XDataObject& set) {
  return set.ChildrenOfKind(XTemplateKind::kAnimation);
}

}  // namespace zv::platform
