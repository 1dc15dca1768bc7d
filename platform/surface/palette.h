#pragma once

#include <array>
#include <cstdint>
#include <memory>

namespace zv::platform {

struct PaletteEntry {
  uint8_t red = 0, green = 0, blue = 0;
  uint8_t flags = 0;  // kept for the caller; the colours alone are used
  friend bool operator==(const PaletteEntry&, const PaletteEntry&) = default;
};

// The 256 colours that the pixels of an 8-bit surface index.
class Palette {
 public:
  static constexpr int kSize = 256;

  Palette() = default;
  explicit Palette(const std::array<PaletteEntry, kSize>& entries) : entries_(entries) {}

  const PaletteEntry& Entry(int index) const { return entries_[static_cast<uint8_t>(index)]; }
  void SetEntry(int index, PaletteEntry entry) { entries_[static_cast<uint8_t>(index)] = entry; }
  const std::array<PaletteEntry, kSize>& Entries() const { return entries_; }
  // 0x00RRGGBB of an index.
  uint32_t Rgb(int index) const {
    const PaletteEntry& e = Entry(index);
    return static_cast<uint32_t>(e.red) << 16 | static_cast<uint32_t>(e.green) << 8 | e.blue;
  }

 private:
  std::array<PaletteEntry, kSize> entries_{};
};

using PalettePtr = std::shared_ptr<Palette>;

}  // namespace zv::platform
