#pragma once

#include <cstdint>

#include "platform/render3d/pipeline.h"
#include "platform/render3d/span_shader.h"

namespace zv::platform::pipeline {

// Screen positions are snapped to 1/256 of a pixel. A pixel belongs to a
// triangle when its centre lies inside, or on a top or left edge (the
// top-left rule): two triangles sharing an edge never both draw a pixel
// and never both leave it out.
inline constexpr int32_t kSubPixelBits = 8;
inline constexpr int32_t kSubPixels = 1 << kSubPixelBits;

inline constexpr uint32_t kAllVaryings = (1u << kVaryingCount) - 1;

struct RasterTarget {
  const PixelState* pixels;
  SpanFunction shade;
  Rect scissor;
  uint32_t varyings = kAllVaryings;  // those the pixels read: see ComputeGradients
};

// floor(x * 256 + 0.5) for |x| >= 2^14 (or not a number), in doubles.
int64_t SnapCoordinateFar(float x);

// floor(x * 256 + 0.5). Scaling by 256 is exact in floats, and so is
// adding a half below 2^22, which covers every position on a target:
// there the float sum gives the bits the double one does, sooner.
inline int64_t SnapCoordinate(float x) {
  const float scaled = x * static_cast<float>(kSubPixels);
  if (!(scaled > -4194304.0f && scaled < 4194304.0f)) return SnapCoordinateFar(x);
  const float d = scaled + 0.5f;
  const auto t = static_cast<int32_t>(d);
  return static_cast<float>(t) > d ? t - 1 : t;
}

// Fills in v.sx and v.sy from v.x and v.y (which must lie within +-2^24).
inline void SnapToGrid(ScreenVertex& v) {
  v.sx = SnapCoordinate(v.x);
  v.sy = SnapCoordinate(v.y);
}

// The functions below read the snapped positions.

// The plane equations of a triangle's varyings; false for a triangle of no
// area once snapped. Varyings left out of `wanted` (bit i for varying i:
// those the draw's pixels never read) get flat zero planes.
bool ComputeGradients(const ScreenVertex& a, const ScreenVertex& b, const ScreenVertex& c,
                      Gradients* out, uint32_t wanted = kAllVaryings);

// Twice the signed area of the snapped triangle, in 1/256 pixel units
// squared: positive when its corners run clockwise on the screen.
int64_t SnappedArea(const ScreenVertex& a, const ScreenVertex& b, const ScreenVertex& c);

// Fills the triangle (either winding) with the gradients of its plane.
void FillTriangle(const ScreenVertex& a, const ScreenVertex& b, const ScreenVertex& c,
                  const Gradients& g, const RasterTarget& target);

// Draws the line from a to b with the gradients of the triangle it edges:
// one pixel per column (or row, for steep lines) from the lower end up to,
// not including, the upper end.
void DrawEdge(const ScreenVertex& a, const ScreenVertex& b, const Gradients& g,
              const RasterTarget& target);

}  // namespace zv::platform::pipeline
