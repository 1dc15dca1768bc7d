#pragma once

#include <cstdint>

#include "platform/render3d/pipeline.h"

namespace zv::platform::pipeline {

// A convex polygon left of a triangle after clipping. `edge[i]` tells
// whether the edge from vertex i to vertex i + 1 (the last back to the
// first) lies on an edge of the unclipped triangle, so that wireframe
// drawing leaves out the edges that clipping made.
struct ClipPolygon {
  static constexpr int kMaxVertices = 3 + 7;
  ClipVertex v[kMaxVertices];
  bool edge[kMaxVertices];
  int count = 0;
};

// Clips the triangle a, b, c against every plane named in `planes` (clip
// codes): the six planes of the view volume and w >= kMinW. The result has
// no vertex (count 0) when nothing is left.
void ClipTriangle(const ClipVertex& a, const ClipVertex& b, const ClipVertex& c, uint32_t planes,
                  ClipPolygon* out);

}  // namespace zv::platform::pipeline
