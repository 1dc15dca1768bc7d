#include "platform/surface/pixel_storage.h"

#include <cstdlib>
#include <utility>

#include "platform/arena/low_arena.h"

namespace zv::platform {

PixelStorage::PixelStorage(size_t bytes, PixelHome home) : home_(home) {
  if (bytes == 0) return;
  void* block = home == PixelHome::kLowArena ? ProgramArena().Allocate(bytes)
                                             : std::calloc(bytes, 1);
  if (block == nullptr) return;
  data_ = static_cast<uint8_t*>(block);
  size_ = bytes;
}

PixelStorage::~PixelStorage() { Release(); }

PixelStorage::PixelStorage(PixelStorage&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      home_(other.home_) {}

PixelStorage& PixelStorage::operator=(PixelStorage&& other) noexcept {
  if (this != &other) {
    Release();
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
    home_ = other.home_;
  }
  return *this;
}

void PixelStorage::Release() {
  if (data_ == nullptr) return;
  if (home_ == PixelHome::kLowArena)
    ProgramArena().Free(data_);
  else
    std::free(data_);
  data_ = nullptr;
  size_ = 0;
}

}  // namespace zv::platform
