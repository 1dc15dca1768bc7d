#pragma once

#include "platform/surface/result.h"

namespace zv::platform::result {

// Failures of the 3D device beyond those of the surfaces. The values are
// ours: no caller tests for a particular one.
constexpr Result kSceneInScene = static_cast<Result>(0x8876C001u);
constexpr Result kSceneNotInScene = static_cast<Result>(0x8876C002u);
constexpr Result kVertexBufferLocked = static_cast<Result>(0x8876C003u);
constexpr Result kVertexBufferOptimized = static_cast<Result>(0x8876C004u);
constexpr Result kInvalidVertexFormat = static_cast<Result>(0x8876C005u);
constexpr Result kInvalidPrimitiveType = static_cast<Result>(0x8876C006u);
constexpr Result kLightNotSet = static_cast<Result>(0x8876C007u);
constexpr Result kUnsupportedState = static_cast<Result>(0x8876C008u);
constexpr Result kUnsupportedTarget = static_cast<Result>(0x8876C009u);
constexpr Result kInvalidViewport = static_cast<Result>(0x8876C00Au);

}  // namespace zv::platform::result
