#pragma once

#include <cstdint>

namespace zv::platform {

// The values the 3D engine hands to the device: transforms, viewport,
// lights, materials, render and texture-stage states. States and their
// values keep the numbers that the engine's render-state tables give them;
// the few states those tables do not number take numbers of ours from 200.

struct Vector3 {
  float x = 0, y = 0, z = 0;
  friend bool operator==(const Vector3&, const Vector3&) = default;
};

// A colour of four floats, 0.0 to 1.0 in range (lights may go beyond).
struct ColourValue {
  float r = 0, g = 0, b = 0, a = 0;
  friend bool operator==(const ColourValue&, const ColourValue&) = default;
};

// 4x4 floats for row vectors: a point p transforms as p * M, the
// translation in the last row.
struct Matrix4 {
  float m[4][4] = {};
  static Matrix4 Identity();
  friend bool operator==(const Matrix4&, const Matrix4&) = default;
};

// One vertex of the only vertex format the device takes: position, normal
// and one texture-coordinate pair, 32 bytes.
struct Vertex {
  float x = 0, y = 0, z = 0;
  float nx = 0, ny = 0, nz = 0;
  float u = 0, v = 0;
};
static_assert(sizeof(Vertex) == 32);
// The flexible-vertex-format code of that layout.
inline constexpr uint32_t kVertexFormatXyzNormalTex1 = 0x112;

enum class TransformState : uint32_t { kWorld = 1, kView = 2, kProjection = 3 };

// The part of the render target drawn to, and the depth range it maps to.
struct Viewport {
  int32_t x = 0, y = 0, width = 0, height = 0;
  float min_z = 0.0f, max_z = 1.0f;
  friend bool operator==(const Viewport&, const Viewport&) = default;
};

struct Material {
  ColourValue diffuse, ambient, specular, emissive;
  float power = 0;
  friend bool operator==(const Material&, const Material&) = default;
};

enum class LightType : uint32_t { kPoint = 1, kSpot = 2, kDirectional = 3 };

struct Light {
  LightType type = LightType::kDirectional;
  ColourValue diffuse, specular, ambient;
  Vector3 position, direction;
  float range = 0;
  float falloff = 0;
  float attenuation0 = 0, attenuation1 = 0, attenuation2 = 0;
  float theta = 0, phi = 0;  // spot cone: inner and outer angle, radians
  friend bool operator==(const Light&, const Light&) = default;
};

enum class RenderState : uint32_t {
  kZEnable = 7,
  kFillMode = 8,
  kZWriteEnable = 14,
  kSrcBlend = 19,
  kDestBlend = 20,
  kCullMode = 22,
  kAlphaBlendEnable = 27,
  kFogEnable = 28,
  kFogColor = 34,
  kFogTableMode = 35,
  kFogEnd = 37,
  kColorKeyEnable = 41,
  kAmbient = 139,
  kFogVertexMode = 140,
  kNormalizeNormals = 143,
  kTexturePerspective = 200,
  kShadeMode = 201,
  kDitherEnable = 202,
  kSpecularEnable = 203,
  kFogStart = 204,
  kColorVertex = 205,
  kLocalViewer = 206,
};

namespace zbuffer {
constexpr uint32_t kFalse = 0, kTrue = 1, kUseW = 2;
}
namespace fill_mode {
constexpr uint32_t kWireframe = 2, kSolid = 3;
}
namespace shade_mode {
constexpr uint32_t kGouraud = 2;
}
namespace cull_mode {
constexpr uint32_t kNone = 1, kCcw = 3;
}
namespace blend {
constexpr uint32_t kZero = 1, kOne = 2, kSrcColor = 3, kInvSrcColor = 4, kSrcAlpha = 5,
                   kInvSrcAlpha = 6, kDestColor = 9, kInvDestColor = 10;
}
namespace fog_mode {
constexpr uint32_t kNone = 0, kLinear = 3;
}

enum class TextureStageState : uint32_t {
  kColorOp = 1,
  kColorArg1 = 2,
  kAddress = 12,
  kMagFilter = 16,
  kMinFilter = 17,
  kMipFilter = 18,
};

namespace texture_op {
constexpr uint32_t kModulate = 4;
}
namespace texture_arg {
constexpr uint32_t kTexture = 2;
}
namespace texture_address {
constexpr uint32_t kWrap = 1, kMirror = 2, kClamp = 3;
}
namespace mag_filter {
constexpr uint32_t kPoint = 1, kLinear = 2, kAnisotropic = 5;
}
namespace min_filter {
constexpr uint32_t kPoint = 1, kLinear = 2, kAnisotropic = 3;
}
namespace mip_filter {
constexpr uint32_t kNone = 1, kPoint = 2, kLinear = 3;
}

// Clear flags.
namespace clear {
constexpr uint32_t kTarget = 1, kZBuffer = 2;
}

enum class PrimitiveType : uint32_t { kTriangleList = 4 };

// Colours handed over as one word: 0xAARRGGBB.
using PackedColour = uint32_t;

}  // namespace zv::platform
