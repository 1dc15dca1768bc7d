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
  // Programs read entries 1 to 511: the last of the 512 is never readable,
  // so no filler stores it, and a loop up to the quantity reads every entry.
  static constexpr int kReadable = kCapacity - 1;

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
  // Appends an entry; entries beyond the readable ones are dropped.
  void Add(ChecklistEntry entry) {
    if (count < kReadable) entries[count++] = std::move(entry);
  }
};

}  // namespace zv
