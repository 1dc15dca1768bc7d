#pragma once

#include <array>
#include <cstdint>

namespace zv {

// From the number a program gives an entity (1 to 65535) to the index of
// its record; 0 means no record. Numbers outside the range map to nothing
// and cannot be set.
class IdMap {
 public:
  static constexpr int32_t kFirst = 1;
  static constexpr int32_t kLast = 65535;

  static bool InRange(int32_t number) { return number >= kFirst && number <= kLast; }

  int32_t Get(int32_t number) const { return InRange(number) ? entries_[number] : 0; }
  bool Set(int32_t number, int32_t index) {
    if (!InRange(number)) return false;
    entries_[number] = index;
    return true;
  }
  void Clear() { entries_.fill(0); }

 private:
  std::array<int32_t, kLast + 1> entries_{};
};

}  // namespace zv
