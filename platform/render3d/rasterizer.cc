#include "platform/render3d/rasterizer.h"

#include <algorithm>
#include <bit>
#include <cmath>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace zv::platform::pipeline {
namespace {

struct Fixed {
  int64_t x, y;
};

Fixed Snap(const ScreenVertex& v) { return Fixed{v.sx, v.sy}; }

int64_t FloorDiv(int64_t n, int64_t d) {  // d > 0
  int64_t q = n / d;
  return (n % d != 0 && n < 0) ? q - 1 : q;
}

int64_t CeilDiv(int64_t n, int64_t d) { return -FloorDiv(-n, d); }

// n = q d + r with 0 <= r < d (d > 0), for |n| < 2^52: the double
// quotient is off by at most one, which the remainder then corrects; this
// is much quicker than a 64-bit integer division.
void DivideFloor(int64_t n, int64_t d, int64_t* q, int64_t* r) {
  const double estimate = static_cast<double>(n) / static_cast<double>(d);
  int64_t quotient = static_cast<int64_t>(estimate);
  if (static_cast<double>(quotient) > estimate) --quotient;
  int64_t rest = n - quotient * d;
  while (rest < 0) {
    --quotient;
    rest += d;
  }
  while (rest >= d) {
    ++quotient;
    rest -= d;
  }
  *q = quotient;
  *r = rest;
}

// One edge's bound on the pixels of successive rows. Pixel x of a row is
// inside the edge when A * 256 * x + K >= 0, where K grows by 256 * B per
// row. A sloping edge bounds x from the left (A > 0: x >= q + (r != 0))
// or from the right (A < 0: x <= q), kept as the quotient and remainder
// of an exact division so that stepping a row costs two additions; a
// horizontal edge (A = 0) passes or fails whole rows.
struct EdgeBound {
  int64_t q = 0, r = 0, dq = 0, dr = 0, d = 1;

  void Start(int64_t n, int64_t step, int64_t divisor) {
    d = divisor;
    DivideFloor(n, d, &q, &r);
    DivideFloor(step, d, &dq, &dr);
  }
  void NextRow() {
    q += dq;
    r += dr;
    // Branch-free: whether the remainder wraps follows the edge's slope,
    // which the branch predictor cannot.
    const int64_t wrap = -static_cast<int64_t>(r >= d);
    r -= d & wrap;
    q -= wrap;
  }
};

// The three edges of a clockwise triangle from row `start` on: at most two
// bound each side (the spare ones never limit), and horizontal edges
// narrow the rows instead.
struct TriangleEdges {
  EdgeBound left[2], right[2];
  int left_count = 0, right_count = 0;
  int64_t start, first, last;  // the edges stand at row `start`

  TriangleEdges(const Fixed* v, int64_t first_row, int64_t last_row)
      : start(first_row), first(first_row), last(last_row) {
    for (int i = 0; i < 3; ++i) Add(v[i], v[(i + 1) % 3]);
    // Spare bounds that let every pixel of the target through.
    constexpr int64_t kFar = int64_t{1} << 40;
    for (; left_count < 2; ++left_count) left[left_count].q = -kFar;
    for (; right_count < 2; ++right_count) right[right_count].q = kFar;
  }

  void Add(Fixed a, Fixed b) {
    int64_t A = a.y - b.y, B = b.x - a.x;
    int64_t C = -(A * a.x + B * a.y);
    bool top_left = A > 0 || (A == 0 && B > 0);
    int64_t K = B * (start * kSubPixels) + C - (top_left ? 0 : 1);
    int64_t row_step = B * kSubPixels;
    if (A > 0) {
      left[left_count++].Start(-K, -row_step, A * kSubPixels);  // x >= ceil(-K / (256 A))
    } else if (A < 0) {
      right[right_count++].Start(K, row_step, -A * kSubPixels);  // x <= floor(K / (-256 A))
    } else if (row_step > 0) {
      // Row start + j passes while K + row_step j >= 0.
      if (K < 0) first = std::max(first, start + CeilDiv(-K, row_step));
    } else if (row_step < 0) {
      last = K < 0 ? start - 1 : std::min(last, start + FloorDiv(K, -row_step));
    }
  }
};

// Triangles this small (in snapped units) skip the divisions that set up
// TriangleEdges, which cost more than all their pixels: their edge
// functions are evaluated at every column of their bounding box, and the
// covered run of each row read off. Within such a box every edge value
// stays below 2^28, so 32-bit lanes hold them exactly.
constexpr int64_t kSmallColumns = 16;
constexpr int64_t kSmallWidth = (kSmallColumns - 1) * kSubPixels;
constexpr int64_t kSmallHeight = 64 * kSubPixels;
constexpr int64_t kSmallSteps = 32;  // groups x rows

// Rows first..last and columns c0..c0 + columns - 1 (all inside the
// scissor and the bounding box) of the clockwise triangle v.
void FillSmallTriangle(const Fixed* v, int64_t first, int64_t last, int64_t c0, int columns,
                       const Gradients& g, const RasterTarget& target) {
  // Per edge: its value at column c0 of row `first`, and its steps per
  // column and per row; the pixel is inside when the value is >= 0.
  int32_t at[3], per_column[3], per_row[3];
  for (int i = 0; i < 3; ++i) {
    const Fixed a = v[i], b = v[(i + 1) % 3];
    const int64_t A = a.y - b.y, B = b.x - a.x;
    const bool top_left = A > 0 || (A == 0 && B > 0);
    at[i] = static_cast<int32_t>(A * (c0 * kSubPixels - a.x) + B * (first * kSubPixels - a.y) -
                                 (top_left ? 0 : 1));
    per_column[i] = static_cast<int32_t>(A * kSubPixels);
    per_row[i] = static_cast<int32_t>(B * kSubPixels);
  }
  const uint32_t in_box = (uint32_t{1} << columns) - 1;
  const int groups = (columns + 3) / 4;
#if defined(__SSE2__)
  __m128i value[3][kSmallColumns / 4], step[3];
  for (int i = 0; i < 3; ++i) {
    const __m128i lane = _mm_setr_epi32(at[i], at[i] + per_column[i], at[i] + 2 * per_column[i],
                                        at[i] + 3 * per_column[i]);
    const __m128i across = _mm_set1_epi32(4 * per_column[i]);
    value[i][0] = lane;
    for (int k = 1; k < groups; ++k) value[i][k] = _mm_add_epi32(value[i][k - 1], across);
    step[i] = _mm_set1_epi32(per_row[i]);
  }
  const __m128i below_zero = _mm_set1_epi32(-1);
  for (int64_t row = first; row <= last; ++row) {
    uint32_t inside = 0;
    for (int k = 0; k < groups; ++k) {
      const __m128i all = _mm_and_si128(_mm_and_si128(_mm_cmpgt_epi32(value[0][k], below_zero),
                                                      _mm_cmpgt_epi32(value[1][k], below_zero)),
                                        _mm_cmpgt_epi32(value[2][k], below_zero));
      inside |= static_cast<uint32_t>(_mm_movemask_ps(_mm_castsi128_ps(all))) << (4 * k);
      for (int i = 0; i < 3; ++i) value[i][k] = _mm_add_epi32(value[i][k], step[i]);
    }
#else
  int32_t value[3] = {at[0], at[1], at[2]};
  for (int64_t row = first; row <= last; ++row) {
    uint32_t inside = 0;
    for (int x = 0; x < groups * 4; ++x)
      if (value[0] + x * per_column[0] >= 0 && value[1] + x * per_column[1] >= 0 &&
          value[2] + x * per_column[2] >= 0)
        inside |= uint32_t{1} << x;
    for (int i = 0; i < 3; ++i) value[i] += per_row[i];
#endif
    // A row of a convex shape is covered in one run.
    inside &= in_box;
    if (inside != 0)
      target.shade(*target.pixels, g, static_cast<int32_t>(row),
                   static_cast<int32_t>(c0 + std::countr_zero(inside)),
                   static_cast<int32_t>(c0 + std::bit_width(inside) - 1));
  }
}

}  // namespace

int64_t SnapCoordinateFar(float x) {
  const double d = static_cast<double>(x) * kSubPixels + 0.5;
  const auto t = static_cast<int64_t>(d);
  return static_cast<double>(t) > d ? t - 1 : t;
}

int64_t SnappedArea(const ScreenVertex& a, const ScreenVertex& b, const ScreenVertex& c) {
  Fixed p = Snap(a), q = Snap(b), r = Snap(c);
  return (q.x - p.x) * (r.y - p.y) - (r.x - p.x) * (q.y - p.y);
}

bool ComputeGradients(const ScreenVertex& a, const ScreenVertex& b, const ScreenVertex& c,
                      Gradients* out, uint32_t wanted) {
  Fixed p = Snap(a), q = Snap(b), r = Snap(c);
  int64_t area2 = (q.x - p.x) * (r.y - p.y) - (r.x - p.x) * (q.y - p.y);
  if (area2 == 0) return false;
  const float scale = 1.0f / kSubPixels;
  float x0 = static_cast<float>(p.x) * scale, y0 = static_cast<float>(p.y) * scale;
  float x1 = static_cast<float>(q.x) * scale - x0, y1 = static_cast<float>(q.y) * scale - y0;
  float x2 = static_cast<float>(r.x) * scale - x0, y2 = static_cast<float>(r.y) * scale - y0;
  float inv = 1.0f / (x1 * y2 - x2 * y1);
  out->x0 = x0;
  out->y0 = y0;
#if defined(__SSE2__)
  // Four varyings at a time, each lane with the arithmetic of the loop below.
  static_assert(kVaryingCount == 10);
  const __m128 vx1 = _mm_set1_ps(x1), vy1 = _mm_set1_ps(y1), vx2 = _mm_set1_ps(x2), vy2 = _mm_set1_ps(y2);
  const __m128 vinv = _mm_set1_ps(inv);
  auto plane = [&](__m128 va, __m128 vb, __m128 vc, uint32_t bits, float* at, float* dx, float* dy) {
    const __m128 keep = _mm_castsi128_ps(_mm_cmpeq_epi32(
        _mm_and_si128(_mm_set1_epi32(static_cast<int>(bits)), _mm_setr_epi32(1, 2, 4, 8)), _mm_setr_epi32(1, 2, 4, 8)));
    const __m128 d1 = _mm_sub_ps(vb, va), d2 = _mm_sub_ps(vc, va);
    _mm_storeu_ps(at, _mm_and_ps(keep, va));
    _mm_storeu_ps(dx, _mm_and_ps(keep, _mm_mul_ps(_mm_sub_ps(_mm_mul_ps(d1, vy2), _mm_mul_ps(d2, vy1)), vinv)));
    _mm_storeu_ps(dy, _mm_and_ps(keep, _mm_mul_ps(_mm_sub_ps(_mm_mul_ps(d2, vx1), _mm_mul_ps(d1, vx2)), vinv)));
  };
  for (int i = 0; i < 8; i += 4)
    plane(_mm_loadu_ps(a.v + i), _mm_loadu_ps(b.v + i), _mm_loadu_ps(c.v + i), wanted >> i, out->at + i,
          out->dx + i, out->dy + i);
  alignas(16) float at[4], dx[4], dy[4];
  plane(_mm_setr_ps(a.v[8], a.v[9], 0, 0), _mm_setr_ps(b.v[8], b.v[9], 0, 0), _mm_setr_ps(c.v[8], c.v[9], 0, 0),
        (wanted >> 8) & 3, at, dx, dy);
  for (int i = 0; i < 2; ++i) {
    out->at[8 + i] = at[i];
    out->dx[8 + i] = dx[i];
    out->dy[8 + i] = dy[i];
  }
  return true;
#endif
  for (int i = 0; i < kVaryingCount; ++i) {
    if (!((wanted >> i) & 1)) {
      out->at[i] = out->dx[i] = out->dy[i] = 0.0f;
      continue;
    }
    float d1 = b.v[i] - a.v[i], d2 = c.v[i] - a.v[i];
    out->at[i] = a.v[i];
    out->dx[i] = (d1 * y2 - d2 * y1) * inv;
    out->dy[i] = (d2 * x1 - d1 * x2) * inv;
  }
  return true;
}

void FillTriangle(const ScreenVertex& a, const ScreenVertex& b, const ScreenVertex& c,
                  const Gradients& g, const RasterTarget& target) {
  Fixed v[3] = {Snap(a), Snap(b), Snap(c)};
  int64_t area2 = (v[1].x - v[0].x) * (v[2].y - v[0].y) - (v[2].x - v[0].x) * (v[1].y - v[0].y);
  if (area2 == 0) return;
  if (area2 < 0) std::swap(v[1], v[2]);  // the edge functions want clockwise corners

  const Rect& s = target.scissor;
  int64_t min_y = std::min({v[0].y, v[1].y, v[2].y}), max_y = std::max({v[0].y, v[1].y, v[2].y});
  int64_t first = std::max<int64_t>(s.top, CeilDiv(min_y, kSubPixels));
  int64_t last = std::min<int64_t>(s.bottom - 1, FloorDiv(max_y, kSubPixels));
  if (first > last) return;
  int64_t min_x = std::min({v[0].x, v[1].x, v[2].x}), max_x = std::max({v[0].x, v[1].x, v[2].x});
  if (max_x - min_x <= kSmallWidth && max_y - min_y <= kSmallHeight) {
    int64_t c0 = std::max<int64_t>(s.left, CeilDiv(min_x, kSubPixels));
    int64_t c1 = std::min<int64_t>(s.right - 1, FloorDiv(max_x, kSubPixels));
    if (c0 > c1) return;
    // Each row costs a step per group of four columns, which outweighs the
    // divisions saved once a triangle is both wide and tall.
    if ((c1 - c0 + 4) / 4 * (last - first + 1) <= kSmallSteps) {
      FillSmallTriangle(v, first, last, c0, static_cast<int>(c1 - c0 + 1), g, target);
      return;
    }
  }
  TriangleEdges edges(v, first, last);
  if (edges.first > edges.last) return;
  // Rows a horizontal edge drops at the top are stepped over.
  for (int64_t skip = edges.start; skip < edges.first; ++skip)
    for (EdgeBound* e : {&edges.left[0], &edges.left[1], &edges.right[0], &edges.right[1]}) e->NextRow();
  EdgeBound l0 = edges.left[0], l1 = edges.left[1], r0 = edges.right[0], r1 = edges.right[1];
  for (int64_t row = edges.first; row <= edges.last; ++row) {
    int64_t left = std::max<int64_t>({s.left, l0.q + (l0.r != 0), l1.q + (l1.r != 0)});
    int64_t right = std::min<int64_t>({s.right - 1, r0.q, r1.q});
    if (left <= right)
      target.shade(*target.pixels, g, static_cast<int32_t>(row), static_cast<int32_t>(left),
                   static_cast<int32_t>(right));
    l0.NextRow();
    l1.NextRow();
    r0.NextRow();
    r1.NextRow();
  }
}

void DrawEdge(const ScreenVertex& a, const ScreenVertex& b, const Gradients& g,
              const RasterTarget& target) {
  const Rect& s = target.scissor;
  float dx = b.x - a.x, dy = b.y - a.y;
  bool x_major = std::fabs(dx) >= std::fabs(dy);
  float major_a = x_major ? a.x : a.y, major_b = x_major ? b.x : b.y;
  float minor_a = x_major ? a.y : a.x;
  float d_major = x_major ? dx : dy, d_minor = x_major ? dy : dx;
  if (d_major == 0.0f) return;
  int32_t from = static_cast<int32_t>(std::ceil(std::min(major_a, major_b)));
  int32_t to = static_cast<int32_t>(std::ceil(std::max(major_a, major_b)));
  int32_t lo = x_major ? s.left : s.top, hi = x_major ? s.right : s.bottom;
  from = std::max(from, lo);
  to = std::min(to, hi);
  for (int32_t m = from; m < to; ++m) {
    float t = (static_cast<float>(m) - major_a) / d_major;
    int32_t n = static_cast<int32_t>(std::floor(minor_a + t * d_minor + 0.5f));
    int32_t x = x_major ? m : n, y = x_major ? n : m;
    if (x < s.left || x >= s.right || y < s.top || y >= s.bottom) continue;
    target.shade(*target.pixels, g, y, x, x);
  }
}

}  // namespace zv::platform::pipeline
