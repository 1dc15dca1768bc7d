#pragma once

#include <cstdint>

#include "platform/render3d/pipeline.h"

namespace zv::platform::pipeline {

// Shades pixels x_left..x_right (inclusive, inside the scissor) of row y:
// depth test, texture, modulation with the Gouraud colour, fog, colour key,
// blending, and the writes of colour and depth.
using SpanFunction = void (*)(const PixelState& state, const Gradients& g, int32_t y,
                              int32_t x_left, int32_t x_right);

// The span function for a draw's state, specialised for its target format,
// depth buffer and texture path.
SpanFunction SelectSpanFunction(const PixelState& state);

}  // namespace zv::platform::pipeline
