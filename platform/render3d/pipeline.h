#pragma once

#include <cstdint>
#include <vector>

#include "platform/render3d/texture.h"
#include "platform/render3d/types.h"
#include "platform/surface/rect.h"

// The device's drawing pipeline, stage by stage: vertex processing (clip
// position, lighting, fog), clipping, triangle set-up and spans, and the
// pixel stages. These types pass between the stages.
namespace zv::platform::pipeline {

// Clip codes: which planes of the view volume a vertex lies outside.
namespace clip_code {
constexpr uint32_t kLeft = 1, kRight = 2, kBottom = 4, kTop = 8, kNear = 16, kFar = 32, kW = 64;
// Not a plane: the position is not finite, and nothing it is part of is drawn.
constexpr uint32_t kInvalid = 128;
}

// A vertex after transform, lighting and fog, in clip space. Colours are
// 0..1: `colour` is the lit diffuse colour already scaled by the vertex's
// fog factor f, `fog` the fog colour's share (1 - f) x fog colour.
struct ClipVertex {
  float x, y, z, w;
  float colour[3];
  float fog[3];
  float u, v;
  uint32_t code;
};

// The values interpolated across a triangle in screen space: depth, 1/w,
// u/w and v/w (perspective-correct texture coordinates), and the colour
// and fog shares (Gouraud, linear on the screen).
enum Varying { kZ, kOow, kUow, kVow, kR, kG, kB, kFr, kFg, kFb, kVaryingCount };

struct ScreenVertex {
  float x, y;  // pixel (x, y) has its centre at integer coordinates
  float v[kVaryingCount];
  int64_t sx, sy;  // x and y snapped to 1/256 pixel, by SnapToGrid
};

// Plane equations of the varyings: value = at[i] + dx[i] (x - x0) +
// dy[i] (y - y0).
struct Gradients {
  float x0, y0;
  float at[kVaryingCount], dx[kVaryingCount], dy[kVaryingCount];
};

enum class TargetFormat { k565, k555, k888, k8888 };

struct SamplerState {
  const SampledLevel* levels = nullptr;
  int32_t level_count = 0;
  uint32_t address = texture_address::kWrap;
  bool mag_linear = false, min_linear = false;
  uint32_t mip = mip_filter::kNone;
  bool keyed = false;
};

// What the pixel stages need for one draw.
struct PixelState {
  uint8_t* colour = nullptr;
  int32_t colour_pitch = 0;
  TargetFormat format = TargetFormat::k8888;
  uint8_t* depth = nullptr;  // null: no depth buffer
  int32_t depth_pitch = 0;
  int32_t depth_bytes = 0;   // 2 or 4
  bool z_test = false, z_write = false;
  bool textured = false;
  SamplerState sampler;
  bool fog = false;
  bool blend = false;
  uint32_t src_blend = blend::kOne, dest_blend = blend::kZero;
  Rect scissor;  // the viewport inside the target
  uint64_t* pixels_written = nullptr;
};

}  // namespace zv::platform::pipeline
