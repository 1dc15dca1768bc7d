#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace zv {

// The list that the checklist commands fill (fonts, files, display modes and
// cards, control devices, sessions) and that programs read back by index.
struct ChecklistEntry {
  int32_t a = -1, b = -1, c = -1, d = -1;
  std::string text;
};

struct Checklist {
  static constexpr int kCapacity = 512;

  std::array<ChecklistEntry, kCapacity> entries;
  int32_t count = 0;
  bool made = false;         // the list-made flag
  bool values_valid = false;
  bool texts_valid = false;

  void Reset() {
    count = 0;
    made = values_valid = texts_valid = false;
    for (ChecklistEntry& e : entries) e = ChecklistEntry{};
  }
  // Appends an entry; entries beyond the capacity are dropped.
  void Add(ChecklistEntry entry) {
    if (count < kCapacity) entries[count++] = std::move(entry);
  }
};

}  // namespace zv
