#include "platform/render3d/vertex_processing.h"

#include <algorithm>
#include <cmath>

namespace zv::platform::pipeline {
namespace {

float Clamp01(float v) { return v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : v); }

float Dot(const float a[3], const float b[3]) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

void ColourOf(PackedColour c, float out[3]) {
  out[0] = static_cast<float>((c >> 16) & 0xFF) / 255.0f;
  out[1] = static_cast<float>((c >> 8) & 0xFF) / 255.0f;
  out[2] = static_cast<float>(c & 0xFF) / 255.0f;
}

// The spot factor for a light direction `to_light` (unit, from the vertex
// toward the light): 1 inside the inner cone, 0 outside the outer one, and
// the falloff curve between.
float SpotFactor(const ActiveLight& light, const float to_light[3]) {
  float rho = -(to_light[0] * light.direction.x + to_light[1] * light.direction.y +
                to_light[2] * light.direction.z);
  if (rho > light.cos_inner) return 1.0f;
  if (rho <= light.cos_outer) return 0.0f;
  float t = (rho - light.cos_outer) / (light.cos_inner - light.cos_outer);
  return light.falloff == 1.0f ? t : std::pow(t, light.falloff);
}

uint32_t ClipCodeOf(float x, float y, float z, float w) {
  if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(z) || !std::isfinite(w))
    return clip_code::kInvalid;
  uint32_t code = 0;
  if (x < -w) code |= clip_code::kLeft;
  if (x > w) code |= clip_code::kRight;
  if (y < -w) code |= clip_code::kBottom;
  if (y > w) code |= clip_code::kTop;
  if (z < 0.0f) code |= clip_code::kNear;
  if (z > w) code |= clip_code::kFar;
  if (w < kMinW) code |= clip_code::kW;
  return code;
}

}  // namespace

TransformSetup MakeTransformSetup(const Matrix4& world, const Matrix4& view, const Matrix4& projection) {
  TransformSetup t;
  Matrix4 world_view = Multiply(world, view);
  t.world_view_projection = Multiply(world_view, projection);
  t.world = world;
  for (int i = 0; i < 4; ++i) t.eye_z[i] = world_view.m[i][2];
  t.normals = NormalMatrixOf(world);
  return t;
}

LightingSetup MakeLightingSetup(const Material& material, PackedColour ambient,
                                const std::vector<const Light*>& lights, bool normalize) {
  LightingSetup s;
  s.normalize = normalize;
  float global[3];
  ColourOf(ambient, global);
  const float mat_diffuse[3] = {material.diffuse.r, material.diffuse.g, material.diffuse.b};
  const float mat_ambient[3] = {material.ambient.r, material.ambient.g, material.ambient.b};
  const float emissive[3] = {material.emissive.r, material.emissive.g, material.emissive.b};
  for (int i = 0; i < 3; ++i) s.base[i] = emissive[i] + global[i] * mat_ambient[i];
  for (const Light* l : lights) {
    ActiveLight a;
    a.type = l->type;
    const float diffuse[3] = {l->diffuse.r, l->diffuse.g, l->diffuse.b};
    const float amb[3] = {l->ambient.r, l->ambient.g, l->ambient.b};
    for (int i = 0; i < 3; ++i) {
      a.diffuse[i] = diffuse[i] * mat_diffuse[i];
      a.ambient[i] = amb[i] * mat_ambient[i];
    }
    a.position = l->position;
    float len = std::sqrt(l->direction.x * l->direction.x + l->direction.y * l->direction.y +
                          l->direction.z * l->direction.z);
    a.has_direction = len > 0.0f && std::isfinite(len);
    a.direction = a.has_direction ? Vector3{l->direction.x / len, l->direction.y / len, l->direction.z / len}
                                  : Vector3{};
    a.range = l->range;
    a.attenuation[0] = l->attenuation0;
    a.attenuation[1] = l->attenuation1;
    a.attenuation[2] = l->attenuation2;
    a.cos_inner = std::cos(l->theta * 0.5f);
    a.cos_outer = std::cos(l->phi * 0.5f);
    if (a.cos_outer > a.cos_inner) a.cos_outer = a.cos_inner;  // a cone wider inside than out: hard edge
    a.falloff = l->falloff;
    if (a.type != LightType::kPoint && !a.has_direction) continue;  // shines nowhere
    s.lights.push_back(a);
  }
  return s;
}

void LightVertex(const LightingSetup& lighting, const float position[3], const float normal[3],
                 float out[3]) {
  float c[3] = {lighting.base[0], lighting.base[1], lighting.base[2]};
  for (const ActiveLight& light : lighting.lights) {
    float to_light[3];
    float strength = 1.0f;
    if (light.type == LightType::kDirectional) {
      to_light[0] = -light.direction.x;
      to_light[1] = -light.direction.y;
      to_light[2] = -light.direction.z;
    } else {
      float d[3] = {light.position.x - position[0], light.position.y - position[1],
                    light.position.z - position[2]};
      float dist = std::sqrt(Dot(d, d));
      if (dist > light.range) continue;
      float inv = dist > 0.0f ? 1.0f / dist : 0.0f;
      for (int i = 0; i < 3; ++i) to_light[i] = d[i] * inv;
      float denom = light.attenuation[0] + light.attenuation[1] * dist + light.attenuation[2] * dist * dist;
      strength = denom > 0.0f ? 1.0f / denom : 1.0f;
      if (light.type == LightType::kSpot) {
        strength *= SpotFactor(light, to_light);
        if (strength == 0.0f) continue;
      }
    }
    float n_dot_l = std::max(0.0f, Dot(normal, to_light));
    for (int i = 0; i < 3; ++i) c[i] += strength * (light.ambient[i] + light.diffuse[i] * n_dot_l);
  }
  for (int i = 0; i < 3; ++i) out[i] = Clamp01(c[i]);
}

void ProcessVertices(const TransformSetup& transform, const LightingSetup& lighting,
                     const FogSetup& fog, const Vertex* in, size_t count, ClipVertex* out) {
  const auto& m = transform.world_view_projection.m;
  const auto& w = transform.world.m;
  const auto& n = transform.normals.m;
  const float* ez = transform.eye_z;
  const float fog_range = fog.end - fog.start;
  for (size_t i = 0; i < count; ++i) {
    const Vertex& src = in[i];
    ClipVertex& dst = out[i];
    dst.x = src.x * m[0][0] + src.y * m[1][0] + src.z * m[2][0] + m[3][0];
    dst.y = src.x * m[0][1] + src.y * m[1][1] + src.z * m[2][1] + m[3][1];
    dst.z = src.x * m[0][2] + src.y * m[1][2] + src.z * m[2][2] + m[3][2];
    dst.w = src.x * m[0][3] + src.y * m[1][3] + src.z * m[2][3] + m[3][3];
    dst.code = ClipCodeOf(dst.x, dst.y, dst.z, dst.w);
    dst.u = src.u;
    dst.v = src.v;

    float position[3] = {src.x * w[0][0] + src.y * w[1][0] + src.z * w[2][0] + w[3][0],
                         src.x * w[0][1] + src.y * w[1][1] + src.z * w[2][1] + w[3][1],
                         src.x * w[0][2] + src.y * w[1][2] + src.z * w[2][2] + w[3][2]};
    float normal[3] = {src.nx * n[0][0] + src.ny * n[1][0] + src.nz * n[2][0],
                       src.nx * n[0][1] + src.ny * n[1][1] + src.nz * n[2][1],
                       src.nx * n[0][2] + src.ny * n[1][2] + src.nz * n[2][2]};
    if (lighting.normalize) {
      float len = std::sqrt(Dot(normal, normal));
      if (len > 0.0f)
        for (float& c : normal) c /= len;
    }
    float lit[3];
    LightVertex(lighting, position, normal, lit);

    float f = 1.0f;
    if (fog.on) {
      float depth = src.x * ez[0] + src.y * ez[1] + src.z * ez[2] + ez[3];
      f = fog_range != 0.0f ? Clamp01((fog.end - depth) / fog_range) : (depth < fog.end ? 1.0f : 0.0f);
    }
    for (int c = 0; c < 3; ++c) {
      dst.colour[c] = lit[c] * f;
      dst.fog[c] = (1.0f - f) * fog.colour[c];
    }
  }
}

}  // namespace zv::platform::pipeline
