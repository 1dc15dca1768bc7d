#include "platform/xfile/frame_view.h"

#include "platform/xfile/view_cursor.h"

namespace zv::platform {

XResult<XMatrix4> ReadXFrameTransformMatrix(const XDataObject& object) {
  return ReadView<XMatrix4>([&] {
    RequireStandardLayout(object, XTemplateKind::kFrameTransformMatrix);
    XNumberCursor cursor(object);
    XMatrix4 matrix;
    for (float& m : matrix) m = cursor.F32();
    return matrix;
  });
}

}  // namespace zv::platform
