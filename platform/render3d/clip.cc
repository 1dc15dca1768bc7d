#include "platform/render3d/clip.h"

#include <utility>

#include "platform/render3d/vertex_processing.h"

namespace zv::platform::pipeline {
namespace {

float Distance(const ClipVertex& v, uint32_t plane) {
  switch (plane) {
    case clip_code::kLeft: return v.x + v.w;
    case clip_code::kRight: return v.w - v.x;
    case clip_code::kBottom: return v.y + v.w;
    case clip_code::kTop: return v.w - v.y;
    case clip_code::kNear: return v.z;
    case clip_code::kFar: return v.w - v.z;
    default: return v.w - kMinW;
  }
}

ClipVertex Lerp(const ClipVertex& a, const ClipVertex& b, float t) {
  ClipVertex r;
  r.x = a.x + (b.x - a.x) * t;
  r.y = a.y + (b.y - a.y) * t;
  r.z = a.z + (b.z - a.z) * t;
  r.w = a.w + (b.w - a.w) * t;
  for (int i = 0; i < 3; ++i) {
    r.colour[i] = a.colour[i] + (b.colour[i] - a.colour[i]) * t;
    r.fog[i] = a.fog[i] + (b.fog[i] - a.fog[i]) * t;
  }
  r.u = a.u + (b.u - a.u) * t;
  r.v = a.v + (b.v - a.v) * t;
  r.code = 0;
  return r;
}

// One Sutherland-Hodgman pass against one plane.
void ClipAgainst(const ClipPolygon& in, uint32_t plane, ClipPolygon* out) {
  out->count = 0;
  for (int i = 0; i < in.count; ++i) {
    const ClipVertex& cur = in.v[i];
    const ClipVertex& next = in.v[(i + 1) % in.count];
    float dc = Distance(cur, plane), dn = Distance(next, plane);
    bool cur_in = dc >= 0.0f, next_in = dn >= 0.0f;
    if (cur_in) {
      out->v[out->count] = cur;
      out->edge[out->count] = in.edge[i];
      ++out->count;
    }
    if (cur_in != next_in) {
      // Interpolate from the inside vertex so that both triangles sharing
      // this edge compute the same point.
      ClipVertex point = cur_in ? Lerp(cur, next, dc / (dc - dn)) : Lerp(next, cur, dn / (dn - dc));
      out->v[out->count] = point;
      out->edge[out->count] = cur_in ? false : in.edge[i];
      ++out->count;
    }
  }
}

}  // namespace

void ClipTriangle(const ClipVertex& a, const ClipVertex& b, const ClipVertex& c, uint32_t planes,
                  ClipPolygon* out) {
  ClipPolygon buffers[2];
  ClipPolygon* cur = &buffers[0];
  cur->v[0] = a;
  cur->v[1] = b;
  cur->v[2] = c;
  cur->edge[0] = cur->edge[1] = cur->edge[2] = true;
  cur->count = 3;
  ClipPolygon* other = &buffers[1];
  for (uint32_t plane = clip_code::kW; plane != 0; plane >>= 1) {
    if (!(planes & plane)) continue;
    ClipAgainst(*cur, plane, other);
    std::swap(cur, other);
    if (cur->count < 3) {
      out->count = 0;
      return;
    }
  }
  *out = *cur;
}

}  // namespace zv::platform::pipeline
