#include "platform/render3d/vertex_processing.h"

#include <algorithm>
#include <cmath>
#include <limits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

#if defined(__SSE2__)
// ProcessVertices for four vertices at a time, a lane each, with the
// arithmetic of the plain loop (so the same bits), when every light is
// directional (no light needs the vertex's world position).
void ProcessFour(const TransformSetup& transform, const LightingSetup& lighting, const FogSetup& fog,
                 const Vertex* in, ClipVertex* out) {
  auto lane = [&](auto member) {
    return _mm_setr_ps(in[0].*member, in[1].*member, in[2].*member, in[3].*member);
  };
  const __m128 x = lane(&Vertex::x), y = lane(&Vertex::y), z = lane(&Vertex::z);
  const __m128 nx = lane(&Vertex::nx), ny = lane(&Vertex::ny), nz = lane(&Vertex::nz);
  auto s = [](float v) { return _mm_set1_ps(v); };
  auto add = [](__m128 a, __m128 b) { return _mm_add_ps(a, b); };
  auto mul = [](__m128 a, __m128 b) { return _mm_mul_ps(a, b); };
  const auto& m = transform.world_view_projection.m;
  __m128 clip[4];
  for (int c = 0; c < 4; ++c)
    clip[c] = add(add(add(mul(x, s(m[0][c])), mul(y, s(m[1][c]))), mul(z, s(m[2][c]))), s(m[3][c]));

  // ClipCodeOf.
  const __m128 w = clip[3], minus_w = _mm_sub_ps(_mm_setzero_ps(), w);
  __m128 finite = _mm_castsi128_ps(_mm_set1_epi32(-1));
  for (const __m128& v : clip)  // finite: |v| < infinity (false for NaN)
    finite = _mm_and_ps(finite, _mm_cmplt_ps(_mm_and_ps(v, _mm_castsi128_ps(_mm_set1_epi32(0x7FFFFFFF))),
                                             s(std::numeric_limits<float>::infinity())));
  auto bit = [](__m128 condition, uint32_t code) {
    return _mm_and_si128(_mm_castps_si128(condition), _mm_set1_epi32(static_cast<int>(code)));
  };
  __m128i codes = _mm_or_si128(bit(_mm_cmplt_ps(clip[0], minus_w), clip_code::kLeft),
                               bit(_mm_cmpgt_ps(clip[0], w), clip_code::kRight));
  codes = _mm_or_si128(codes, bit(_mm_cmplt_ps(clip[1], minus_w), clip_code::kBottom));
  codes = _mm_or_si128(codes, bit(_mm_cmpgt_ps(clip[1], w), clip_code::kTop));
  codes = _mm_or_si128(codes, bit(_mm_cmplt_ps(clip[2], _mm_setzero_ps()), clip_code::kNear));
  codes = _mm_or_si128(codes, bit(_mm_cmpgt_ps(clip[2], w), clip_code::kFar));
  codes = _mm_or_si128(codes, bit(_mm_cmplt_ps(w, s(kMinW)), clip_code::kW));
  codes = _mm_or_si128(_mm_and_si128(_mm_castps_si128(finite), codes),
                       _mm_andnot_si128(_mm_castps_si128(finite), _mm_set1_epi32(clip_code::kInvalid)));

  const auto& n = transform.normals.m;
  __m128 normal[3];
  for (int c = 0; c < 3; ++c) normal[c] = add(add(mul(nx, s(n[0][c])), mul(ny, s(n[1][c]))), mul(nz, s(n[2][c])));
  if (lighting.normalize) {
    const __m128 len =
        _mm_sqrt_ps(add(add(mul(normal[0], normal[0]), mul(normal[1], normal[1])), mul(normal[2], normal[2])));
    const __m128 positive = _mm_cmpgt_ps(len, _mm_setzero_ps());
    for (__m128& c : normal)
      c = _mm_or_ps(_mm_and_ps(positive, _mm_div_ps(c, len)), _mm_andnot_ps(positive, c));
  }
  __m128 lit[3] = {s(lighting.base[0]), s(lighting.base[1]), s(lighting.base[2])};
  for (const ActiveLight& light : lighting.lights) {
    const __m128 dot = add(add(mul(normal[0], s(-light.direction.x)), mul(normal[1], s(-light.direction.y))),
                           mul(normal[2], s(-light.direction.z)));
    const __m128 n_dot_l = _mm_max_ps(dot, _mm_setzero_ps());  // std::max(0, dot): NaN gives 0
    for (int c = 0; c < 3; ++c)
      lit[c] = add(lit[c], mul(s(1.0f), add(s(light.ambient[c]), mul(s(light.diffuse[c]), n_dot_l))));
  }
  auto clamp01 = [](__m128 v) {  // Clamp01, NaN kept
    const __m128 low = _mm_cmplt_ps(v, _mm_setzero_ps()), high = _mm_cmpgt_ps(v, _mm_set1_ps(1.0f));
    v = _mm_andnot_ps(low, v);
    return _mm_or_ps(_mm_andnot_ps(high, v), _mm_and_ps(high, _mm_set1_ps(1.0f)));
  };
  __m128 f = s(1.0f);
  if (fog.on) {
    const float* ez = transform.eye_z;
    const __m128 depth = add(add(add(mul(x, s(ez[0])), mul(y, s(ez[1]))), mul(z, s(ez[2]))), s(ez[3]));
    const float fog_range = fog.end - fog.start;
    if (fog_range != 0.0f) {
      f = clamp01(_mm_div_ps(_mm_sub_ps(s(fog.end), depth), s(fog_range)));
    } else {
      f = _mm_and_ps(_mm_cmplt_ps(depth, s(fog.end)), s(1.0f));
    }
  }
  alignas(16) float values[4][14];
  alignas(16) uint32_t code_of[4];
  auto put = [&](int index, __m128 v) {
    alignas(16) float lanes[4];
    _mm_store_ps(lanes, v);
    for (int k = 0; k < 4; ++k) values[k][index] = lanes[k];
  };
  for (int c = 0; c < 4; ++c) put(c, clip[c]);
  const __m128 fog_share = _mm_sub_ps(s(1.0f), f);
  for (int c = 0; c < 3; ++c) {
    put(4 + c, mul(clamp01(lit[c]), f));
    put(7 + c, mul(fog_share, s(fog.colour[c])));
  }
  _mm_store_si128(reinterpret_cast<__m128i*>(code_of), codes);
  for (int k = 0; k < 4; ++k) {
    ClipVertex& dst = out[k];
    dst.x = values[k][0], dst.y = values[k][1], dst.z = values[k][2], dst.w = values[k][3];
    for (int c = 0; c < 3; ++c) {
      dst.colour[c] = values[k][4 + c];
      dst.fog[c] = values[k][7 + c];
    }
    dst.u = in[k].u;
    dst.v = in[k].v;
    dst.code = code_of[k];
  }
}
#endif

void ProcessVertices(const TransformSetup& transform, const LightingSetup& lighting,
                     const FogSetup& fog, const Vertex* in, size_t count, ClipVertex* out) {
  size_t first = 0;
#if defined(__SSE2__)
  const bool directional_only =
      std::all_of(lighting.lights.begin(), lighting.lights.end(),
                  [](const ActiveLight& l) { return l.type == LightType::kDirectional; });
  if (directional_only)
    for (; first + 4 <= count; first += 4) ProcessFour(transform, lighting, fog, in + first, out + first);
#endif
  const auto& m = transform.world_view_projection.m;
  const auto& w = transform.world.m;
  const auto& n = transform.normals.m;
  const float* ez = transform.eye_z;
  const float fog_range = fog.end - fog.start;
  for (size_t i = first; i < count; ++i) {
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
