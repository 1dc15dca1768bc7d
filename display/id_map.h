#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

namespace zv {

// From the number a program gives an entity (1 to 65535) to the index of
// its record; 0 means no record. Numbers outside the range map to nothing
// and cannot be set.
//
// The table is taken zeroed from the system and only the pages of numbers
// a program sets are ever written: a run keeps a dozen such tables, which
// it would otherwise spend a few milliseconds of its start filling.
class IdMap {
 public:
  static constexpr int32_t kFirst = 1;
  static constexpr int32_t kLast = 65535;

  IdMap() : entries_(static_cast<int32_t*>(std::calloc(kLast + 1, sizeof(int32_t)))) {
    if (!entries_) throw std::bad_alloc();
  }
  IdMap(const IdMap& other) : IdMap() { *this = other; }
  IdMap& operator=(const IdMap& other) {
    if (this != &other) {
      std::memcpy(entries_.get(), other.entries_.get(), kBytes);
      set_ = other.set_;
    }
    return *this;
  }

  static bool InRange(int32_t number) { return number >= kFirst && number <= kLast; }

  int32_t Get(int32_t number) const { return InRange(number) ? entries_[number] : 0; }
  bool Set(int32_t number, int32_t index) {
    if (!InRange(number)) return false;
    entries_[number] = index;
    set_ = true;
    return true;
  }
  void Clear() {
    if (set_) std::memset(entries_.get(), 0, kBytes);
    set_ = false;
  }
  // False while no number has been set since the map was made or cleared.
  bool AnySet() const { return set_; }

 private:
  static constexpr size_t kBytes = (kLast + 1) * sizeof(int32_t);
  struct Free {
    void operator()(int32_t* p) const { std::free(p); }
  };
  std::unique_ptr<int32_t[], Free> entries_;
  bool set_ = false;
};

}  // namespace zv
