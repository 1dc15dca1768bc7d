#pragma once

#include <cstddef>
#include <cstdint>

namespace zv::platform {

// Where a surface's pixels live. A surface that a program may lock and see
// as an integer address takes its memory from the low-address arena, so the
// address fits in 32 bits; every other surface uses the ordinary heap.
enum class PixelHome { kHeap, kLowArena };

// The zero-filled pixel memory of one surface.
class PixelStorage {
 public:
  PixelStorage() = default;
  // Empty (data() == nullptr) when the memory cannot be had.
  PixelStorage(size_t bytes, PixelHome home);
  ~PixelStorage();
  PixelStorage(PixelStorage&& other) noexcept;
  PixelStorage& operator=(PixelStorage&& other) noexcept;
  PixelStorage(const PixelStorage&) = delete;
  PixelStorage& operator=(const PixelStorage&) = delete;

  uint8_t* data() { return data_; }
  const uint8_t* data() const { return data_; }
  size_t size() const { return size_; }
  PixelHome home() const { return home_; }

 private:
  void Release();

  uint8_t* data_ = nullptr;
  size_t size_ = 0;
  PixelHome home_ = PixelHome::kHeap;
};

}  // namespace zv::platform
