#pragma once

#include <cstdint>

namespace zv::platform {

// Outcome of a surface operation: 0 for success, negative for a failure. The
// codes that callers test for (a lost surface, a blitter still busy, a mode
// change outside exclusive mode) keep the values the engine was written
// against; the others are ours.
using Result = int32_t;

namespace result {
constexpr Result kOk = 0;
constexpr Result kFail = static_cast<Result>(0x80004005u);
constexpr Result kInvalidParams = static_cast<Result>(0x80070057u);
constexpr Result kOutOfMemory = static_cast<Result>(0x8007000Eu);
constexpr Result kUnsupported = static_cast<Result>(0x80004001u);
constexpr Result kSurfaceLost = static_cast<Result>(0x887601C2u);
constexpr Result kWasStillDrawing = static_cast<Result>(0x8876021Cu);
constexpr Result kNoExclusiveMode = static_cast<Result>(0x887600E1u);
constexpr Result kInvalidRect = static_cast<Result>(0x88760096u);
constexpr Result kSurfaceBusy = static_cast<Result>(0x887601AEu);
constexpr Result kNotLocked = static_cast<Result>(0x88760248u);
constexpr Result kNoColorKey = static_cast<Result>(0x887600D7u);
constexpr Result kInvalidMode = static_cast<Result>(0x88760078u);
constexpr Result kNotFlippable = static_cast<Result>(0x887601D6u);
constexpr Result kNoPalette = static_cast<Result>(0x88760104u);
constexpr Result kInvalidPixelFormat = static_cast<Result>(0x88760091u);
}  // namespace result

inline bool Succeeded(Result r) { return r >= 0; }
inline bool Failed(Result r) { return r < 0; }

}  // namespace zv::platform
