#pragma once

#include <algorithm>
#include <cstdint>

namespace zv::platform {

// A rectangle with exclusive right and bottom edges.
struct Rect {
  int32_t left = 0, top = 0, right = 0, bottom = 0;

  int32_t Width() const { return right - left; }
  int32_t Height() const { return bottom - top; }
  bool Empty() const { return right <= left || bottom <= top; }
  // True when the rectangle is not empty and lies inside a width x height area.
  bool FitsIn(int32_t width, int32_t height) const {
    return !Empty() && left >= 0 && top >= 0 && right <= width && bottom <= height;
  }
  bool Intersects(const Rect& o) const {
    return left < o.right && o.left < right && top < o.bottom && o.top < bottom;
  }
  friend bool operator==(const Rect&, const Rect&) = default;
};

inline Rect RectOfSize(int32_t width, int32_t height) { return Rect{0, 0, width, height}; }

struct Size {
  int32_t width = 0, height = 0;
  friend bool operator==(const Size&, const Size&) = default;
};

}  // namespace zv::platform
