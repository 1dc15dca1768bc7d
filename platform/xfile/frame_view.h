#pragma once

#include <array>

#include "platform/xfile/document.h"
#include "platform/xfile/error.h"

namespace zv::platform {

// The 16 floats of a FrameTransformMatrix object, row by row (row vectors,
// translation in the last row).
using XMatrix4 = std::array<float, 16>;
XResult<XMatrix4> ReadXFrameTransformMatrix(const XDataObject& matrix);

}  // namespace zv::platform
