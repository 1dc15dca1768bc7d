#pragma once

#include <optional>
#include <string>
#include <utility>

#include "platform/paths/held_record.h"

namespace zv::platform {

// A new file a program writes under its name as it goes (`open file to
// write` of a free name), so that what it wrote can be read at once and
// stays readable however the program ends (a log it keeps open). A record
// in the state folder's `writing` (the spare state folder's where there is
// none) names it until it is closed, flocked meanwhile: the next start after
// a program killed before that names each such file as one that may be cut
// short, and keeps it as it is.
class GrowingFile {
 public:
  // Whether a record can be kept now: where it cannot, the new file is to
  // be written apart and put under its name whole at its close instead.
  static bool Recordable();
  // Records the new file open as `fd`, named `path`; nothing (errno set)
  // where no state folder takes the record.
  static std::optional<GrowingFile> Record(int fd, const std::string& path);
  GrowingFile(GrowingFile&& other) noexcept : record_(std::exchange(other.record_, {})) {}
  GrowingFile& operator=(GrowingFile&& other) noexcept;
  GrowingFile(const GrowingFile&) = delete;
  GrowingFile& operator=(const GrowingFile&) = delete;
  // The file is closed: its record goes.
  ~GrowingFile() { RemoveHeldRecord(record_); }

 private:
  GrowingFile() = default;
  HeldRecord record_;
};

// Names on standard error each file a program that was killed wrote under
// its name and had not closed, and lets its record go. How many records
// went. Never waits.
size_t NameCutShortFiles();

}  // namespace zv::platform
