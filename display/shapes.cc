#include "display/shapes.h"

#include <algorithm>
#include <cmath>

#include "platform/surface/blit.h"

namespace zv {
namespace {

// The step range [first, last] over which p0 + k * u stays inside (-1, limit),
// the positions that truncate onto 0 .. limit - 1. Empty when first > last.
void VisibleSteps(double p0, double u, double limit, double* first, double* last) {
  if (u == 0.0) {
    if (!(p0 > -1.0 && p0 < limit)) {
      *first = 1.0;
      *last = 0.0;
    }
    return;
  }
  double a = (-1.0 - p0) / u, b = (limit - p0) / u;
  if (a > b) std::swap(a, b);
  *first = std::max(*first, a);
  *last = std::min(*last, b);
}

template <int Bytes>
void StepLine(platform::Surface& s, double x1, double y1, double ux, double uy, int64_t k0, int64_t k1,
              uint32_t pixel) {
  const int32_t w = s.Width(), h = s.Height();
  for (int64_t k = k0; k <= k1; ++k) {
    const double t = static_cast<double>(k);
    const double px = std::trunc(x1 + t * ux), py = std::trunc(y1 + t * uy);
    if (px < 0.0 || py < 0.0 || px >= w || py >= h) continue;
    platform::WritePixel(s.Row(static_cast<int32_t>(py)) + static_cast<size_t>(px) * Bytes, Bytes, pixel);
  }
}

}  // namespace

void DrawDot(platform::Surface& surface, int32_t x, int32_t y, uint32_t pixel) {
  if (x < 0 || y < 0 || x >= surface.Width() || y >= surface.Height()) return;
  surface.SetPixelAt(x, y, pixel);
}

void DrawBox(platform::Surface& surface, const platform::Rect& box, uint32_t pixel) {
  if (box.Empty()) return;
  const platform::Rect visible{std::max(box.left, 0), std::max(box.top, 0), std::min(box.right, surface.Width()),
                               std::min(box.bottom, surface.Height())};
  if (visible.Empty()) return;
  platform::FillPixels(surface, visible, pixel);
}

void DrawLine(platform::Surface& surface, double x1, double y1, double x2, double y2, uint32_t pixel) {
  if (!std::isfinite(x1) || !std::isfinite(y1) || !std::isfinite(x2) || !std::isfinite(y2)) return;
  const double dx = x2 - x1, dy = y2 - y1;
  const double length = std::sqrt(dx * dx + dy * dy);
  if (!std::isfinite(length)) return;
  if (length == 0.0) {
    const double px = std::trunc(x1), py = std::trunc(y1);
    if (px >= 0.0 && py >= 0.0 && px < surface.Width() && py < surface.Height())
      surface.SetPixelAt(static_cast<int32_t>(px), static_cast<int32_t>(py), pixel);
    return;
  }
  const double ux = dx / length, uy = dy / length;
  double first = 0.0, last = std::floor(length);
  VisibleSteps(x1, ux, surface.Width(), &first, &last);
  VisibleSteps(y1, uy, surface.Height(), &first, &last);
  if (first > last) return;
  // One step either side covers the rounding of the bounds; each position
  // is checked again as it is set.
  const int64_t k0 = static_cast<int64_t>(std::max(0.0, std::floor(first) - 1.0));
  const int64_t k1 = static_cast<int64_t>(std::min(std::floor(length), std::ceil(last) + 1.0));
  switch (surface.Format().BytesPerPixel()) {
    case 1: StepLine<1>(surface, x1, y1, ux, uy, k0, k1, pixel); break;
    case 2: StepLine<2>(surface, x1, y1, ux, uy, k0, k1, pixel); break;
    case 3: StepLine<3>(surface, x1, y1, ux, uy, k0, k1, pixel); break;
    case 4: StepLine<4>(surface, x1, y1, ux, uy, k0, k1, pixel); break;
    default: break;
  }
}

void DrawEllipse(platform::Surface& surface, int32_t x, int32_t y, float radius_x, float radius_y,
                 uint32_t pixel) {
  const double cx = x + 0.5, cy = y + 0.5, rx = radius_x, ry = radius_y;
  double px = cx + std::cos(0.0) * rx, py = cy + std::sin(0.0) * ry;
  for (double a = -0.06; a <= 6.33; a += 0.0628) {
    const double nx = cx + std::cos(a) * rx, ny = cy + std::sin(a) * ry;
    DrawLine(surface, px, py, nx, ny, pixel);
    px = nx;
    py = ny;
  }
}

}  // namespace zv
