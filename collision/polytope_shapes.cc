#include "collision/polytope_shapes.h"

namespace zv {

Vector3 PolytopeShape::PointSetSupport(const Vector3& d) const {
  const Vector3* base = *vertex_base_;
  const uint32_t* index = indices_.data();
  const int n = count();
  int best = 0;
  double h = Dot(base[index[0]], d);
  for (int i = 1; i < n; ++i) {
    const double hi = Dot(base[index[i]], d);
    if (hi > h) {
      best = i;
      h = hi;
    }
  }
  return base[index[best]];
}

Vector3 PolygonShape::Support(const Vector3& d) const {
  const int n = count();
  int c = cursor_;
  double h = Dot(Vertex(c), d);
  int next = c + 1 == n ? 0 : c + 1;
  double hn = Dot(Vertex(next), d);
  if (hn > h) {
    // A step is taken only for a strictly larger value, so a ring of n
    // vertices cannot be walked round more than once.
    do {
      h = hn;
      c = next;
      next = next + 1 == n ? 0 : next + 1;
      hn = Dot(Vertex(next), d);
    } while (hn > h);
  } else {
    int prev = c == 0 ? n - 1 : c - 1;
    for (double hp = Dot(Vertex(prev), d); hp > h; hp = Dot(Vertex(prev), d)) {
      h = hp;
      c = prev;
      prev = prev == 0 ? n - 1 : prev - 1;
    }
  }
  cursor_ = c;
  return Vertex(c);
}

}  // namespace zv
