#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zv {

// The list that the checklist commands fill (fonts, files, display modes and
// cards, control devices, sessions) and that programs read back by index.
struct ChecklistEntry {
  int32_t a = -1, b = -1, c = -1, d = -1;
  std::string text;
};

struct Checklist {
  // The entries a run starts with. A filling of more adds entries: a list
  // is kept whole, however long (a folder of thousands of files).
  static constexpr size_t kStartEntries = 512;

  std::vector<ChecklistEntry> entries = std::vector<ChecklistEntry>(kStartEntries);
  int32_t count = 0;
  bool made = false;         // the list-made flag
  bool values_valid = false;
  bool texts_valid = false;

  void Reset() {
    count = 0;
    made = values_valid = texts_valid = false;
    entries.assign(kStartEntries, ChecklistEntry{});
  }
  // The entry at `index` (from 0), made when the list is shorter.
  ChecklistEntry& At(size_t index) {
    if (index >= entries.size()) entries.resize(index + 1);
    return entries[index];
  }
  // Appends an entry.
  void Add(ChecklistEntry entry) {
    At(static_cast<size_t>(count)) = std::move(entry);
    ++count;
  }
};

}  // namespace zv
