#pragma once

#include <cstdint>

namespace zv::platform {

// Source colour key: pixels whose value lies in low..high are not copied.
struct ColorKey {
  uint32_t low = 0, high = 0;
  friend bool operator==(const ColorKey&, const ColorKey&) = default;
};

}  // namespace zv::platform
