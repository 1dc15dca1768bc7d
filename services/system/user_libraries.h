#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/dynlib/dynamic_library.h"

namespace zv {

// The program's own libraries in slots 1 to 255 (slot 0 is never used).
class UserLibraries {
 public:
  static constexpr int32_t kSlots = 256;
  static bool InRange(int32_t slot) { return slot >= 1 && slot < kSlots; }

  // `slot` must be InRange.
  bool Loaded(int32_t slot) const { return libraries_[static_cast<size_t>(slot)] != nullptr; }
  // Loads the library a program names into the empty slot; false when no
  // such library can be loaded.
  bool Load(int32_t slot, std::string_view program_name);
  void Free(int32_t slot) { libraries_[static_cast<size_t>(slot)].reset(); }
  void FreeAll();
  // The exported function of the slot's library; null when the slot is
  // empty or the library has no such function.
  void* FindFunction(int32_t slot, const std::string& name) const;

 private:
  std::array<std::unique_ptr<platform::DynamicLibrary>, kSlots> libraries_;
};

}  // namespace zv
