#pragma once

#include <cstddef>
#include <vector>

#include "platform/render3d/matrix.h"
#include "platform/render3d/pipeline.h"
#include "platform/render3d/types.h"

namespace zv::platform::pipeline {

// The smallest w the rasterizer divides by: vertices nearer the eye plane
// are clipped away.
inline constexpr float kMinW = 1e-5f;

struct TransformSetup {
  Matrix4 world_view_projection;
  Matrix4 world;
  float eye_z[4];  // column 2 of world x view: a point's depth in front of the eye
  NormalMatrix normals;
};
TransformSetup MakeTransformSetup(const Matrix4& world, const Matrix4& view, const Matrix4& projection);

// One enabled light, ready for the vertex loop: colours already multiplied
// by the material's, the direction normalised and pointing where the light
// shines, the cone as cosines of the half angles.
struct ActiveLight {
  LightType type;
  float diffuse[3], ambient[3];
  Vector3 position, direction;
  bool has_direction;
  float range;
  float attenuation[3];
  float cos_inner, cos_outer, falloff;
};

struct LightingSetup {
  float base[3];  // emissive + global ambient x material ambient
  std::vector<ActiveLight> lights;
  bool normalize = false;
};
// `lights` is every enabled light, in index order.
LightingSetup MakeLightingSetup(const Material& material, PackedColour ambient,
                                const std::vector<const Light*>& lights, bool normalize);

struct FogSetup {
  bool on = false;
  float start = 0, end = 1;
  float colour[3] = {0, 0, 0};
};

// Transforms, lights and fogs `count` vertices into `out`.
void ProcessVertices(const TransformSetup& transform, const LightingSetup& lighting,
                     const FogSetup& fog, const Vertex* in, size_t count, ClipVertex* out);

// The lit colour of one vertex (world-space position and normal), clamped
// to 0..1 after the sum.
void LightVertex(const LightingSetup& lighting, const float position[3], const float normal[3],
                 float out[3]);

}  // namespace zv::platform::pipeline
