#include <algorithm>
#include <cmath>
#include <utility>

#include "engine3d/scene/static_scene.h"

namespace zv {
namespace {

// A line test takes at most this many steps, however short they are.
constexpr double kMostLineSteps = 100000.0;

bool Overlaps(const StaticBox& b, const Vector3f& min, const Vector3f& max) {
  return min.x <= b.max.x && max.x >= b.min.x && min.y <= b.max.y && max.y >= b.min.y && min.z <= b.max.z &&
         max.z >= b.min.z;
}

// A cube of half-size `radius` walked from `start` in `steps` equal steps
// of `advance`; its centre at step i is start + advance x i in single
// precision. Each coordinate moves one way only, so the steps at which it
// overlaps a box along an axis form one run, found by bisection instead of
// by walking.
struct LineWalk {
  Vector3f start, advance;
  float radius;
  int64_t steps;

  static float Axis(const Vector3f& v, int axis) { return axis == 0 ? v.x : axis == 1 ? v.y : v.z; }
  float At(int axis, int64_t i) const { return Axis(start, axis) + Axis(advance, axis) * static_cast<float>(i); }
  Vector3f At(int64_t i) const { return Vector3f{At(0, i), At(1, i), At(2, i)}; }

  // What the boxes are asked: the exact line that the walk follows in
  // single precision.
  StaticSweep Sweep() const {
    StaticSweep sweep;
    for (int axis = 0; axis < 3; ++axis) {
      sweep.start[axis] = Axis(start, axis);
      sweep.advance[axis] = Axis(advance, axis);
    }
    sweep.reach = std::fabs(static_cast<double>(radius));
    sweep.last = static_cast<double>(steps);
    return sweep;
  }

  // The first step in 0..last at which `holds`, false before and true
  // after, is true; last + 1 when it never is. `guess` is where arithmetic
  // without rounding puts it: checked first, then bisection decides.
  template <class Test>
  static int64_t FirstHolding(Test holds, double guess, int64_t last) {
    if (guess > -1.0 && guess < static_cast<double>(last) + 2.0) {
      const int64_t near = static_cast<int64_t>(std::ceil(guess));
      for (int64_t k : {near, near + 1, near - 1})
        if (k >= 0 && k <= last + 1 && (k == 0 || !holds(k - 1)) && (k == last + 1 || holds(k))) return k;
    }
    int64_t low = 0, high = last + 1;
    while (low < high) {
      const int64_t middle = low + (high - low) / 2;
      if (holds(middle)) high = middle;
      else low = middle + 1;
    }
    return low;
  }

  // The run of steps 0..last at which the cube overlaps lo..hi along the
  // axis, as its first step and the step after it; empty when they meet.
  std::pair<int64_t, int64_t> AxisRun(int axis, float lo, float hi, int64_t last) const {
    auto reaches_low = [&](int64_t i) { return At(axis, i) + radius >= lo; };
    auto within_high = [&](int64_t i) { return At(axis, i) - radius <= hi; };
    const double s = Axis(start, axis), a = Axis(advance, axis);
    const double low_guess = (static_cast<double>(lo) - radius - s) / a;
    const double high_guess = (static_cast<double>(hi) + radius - s) / a;
    if (a > 0.0)
      return {FirstHolding(reaches_low, low_guess, last),
              FirstHolding([&](int64_t i) { return !within_high(i); }, high_guess, last)};
    if (a < 0.0)
      return {FirstHolding(within_high, high_guess, last),
              FirstHolding([&](int64_t i) { return !reaches_low(i); }, low_guess, last)};
    return reaches_low(0) && within_high(0) ? std::pair<int64_t, int64_t>{0, last + 1}
                                            : std::pair<int64_t, int64_t>{0, 0};
  }

  // The first step up to `last` at which the cube touches the box (closed
  // intervals); -1 when it does not.
  int64_t FirstContact(const StaticBox& b, int64_t last) const {
    int64_t first = 0, past = last + 1;
    for (int axis = 0; axis < 3 && first < past; ++axis) {
      const auto [from, to] = AxisRun(axis, Axis(b.min, axis), Axis(b.max, axis), last);
      first = std::max(first, from);
      past = std::min(past, to);
    }
    return first < past ? first : -1;
  }
};

}  // namespace

int32_t StaticBoxCollision(const StaticScene& scene, const Vector3f& previous_min, const Vector3f& previous_max,
                           const Vector3f& new_min, const Vector3f& new_max, Vector3f* push) {
  *push = Vector3f{};
  int32_t hit = 0;
  for (const StaticBox& b : scene.boxes) {
    if (!Overlaps(b, new_min, new_max)) continue;
    hit = 1;
    const float d[6] = {std::fabs(previous_max.x - b.min.x), std::fabs(b.max.x - previous_min.x),
                        std::fabs(previous_max.y - b.min.y), std::fabs(b.max.y - previous_min.y),
                        std::fabs(previous_max.z - b.min.z), std::fabs(b.max.z - previous_min.z)};
    int face = 0;
    for (int i = 1; i < 6; ++i)
      if (d[i] < d[face]) face = i;
    switch (face) {
      case 0: push->x = new_max.x - b.min.x; break;
      case 1: push->x = new_min.x - b.max.x; break;
      case 2: push->y = new_max.y - b.min.y; break;
      case 3: push->y = new_min.y - b.max.y; break;
      case 4: push->z = new_max.z - b.min.z; break;
      default: push->z = new_min.z - b.max.z; break;
    }
  }
  return hit;
}

int32_t StaticLineCollision(const StaticScene& scene, const Vector3f& start, const Vector3f& end, float radius,
                            float step, Vector3f* stop) {
  const Vector3f d{end.x - start.x, end.y - start.y, end.z - start.z};
  // Measured along its longest axis, y included, so that no step goes
  // further than the step size along any axis: a line straight down meets
  // a floor, and a steep one cannot step over a ceiling.
  const float length = std::max({std::fabs(d.x), std::fabs(d.y), std::fabs(d.z)});
  if (!(step > 0.0f)) step = 1.0f;
  const double whole = std::trunc(static_cast<double>(length));
  const double wanted = std::trunc(whole / step);
  // A line shorter than one step tests its start only.
  const int64_t steps = length > 0.0f && wanted > 0.0 ? static_cast<int64_t>(std::min(wanted, kMostLineSteps)) : 0;
  const Vector3f advance = steps > 0 ? Vector3f{d.x / length * step, d.y / length * step, d.z / length * step}
                                     : Vector3f{};
  const LineWalk walk{start, advance, radius, steps};
  bool start_contact = false;
  int64_t first = steps + 1;  // the earliest contact after the start
  scene.boxes.ForEachNear(walk.Sweep(), [&](uint32_t index) {
    // Only a contact before the earliest so far can change the answer.
    const int64_t contact = walk.FirstContact(scene.boxes.list()[index], std::min(steps, first - 1));
    if (contact == 0) start_contact = true;
    else if (contact > 0) first = std::min(first, contact);
    return static_cast<double>(first - 1);
  });
  // Stopped one step before the earliest contact, unless the cube started
  // out touching a box.
  *stop = start_contact || first > steps ? start : walk.At(first - 1);
  return first <= steps ? 1 : 0;
}

}  // namespace zv
