#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "platform/paths/held_record.h"

namespace zv::platform {

// The new content of a file written apart over frames of a program (a file
// it deleted and opened to write anew), kept through a kill: it waits
// beside the file under a hidden name (.zv-apart-ID, ID its identity) until
// its close puts it in the file's place, and a record in the state folder's
// `apart` (the spare state folder's where there is none) names it, flocked
// while its program holds it. The next start after a program killed before
// the close keeps what it wrote as NAME.kept beside the file (in the kept
// folder where that cannot be, platform/paths/kept_folder.h) and says so;
// the file keeps the content it had.
class ApartContent {
 public:
  // Gives the temporary open as `fd` (named `temporary`, "" while it has
  // none) its hidden name beside `target`, recorded; nothing (errno set)
  // where no state folder takes the record, and then the temporary is as
  // it was.
  static std::optional<ApartContent> Name(int fd, const std::string& temporary, const std::string& target);
  ApartContent(ApartContent&& other) noexcept
      : record_(std::exchange(other.record_, {})), hidden_(std::move(other.hidden_)) {}
  ApartContent& operator=(ApartContent&& other) noexcept;
  ApartContent(const ApartContent&) = delete;
  ApartContent& operator=(const ApartContent&) = delete;
  // The content took the file's place, or was given up: the record goes.
  ~ApartContent() { RemoveHeldRecord(record_); }

  // The hidden name, absolute.
  const std::string& Hidden() const { return hidden_; }

 private:
  ApartContent() = default;
  HeldRecord record_;
  std::string hidden_;
};

// Keeps, and names on standard error, the content each program that was
// killed wrote apart and had not put in its file's place; content that a
// kill left empty goes without a word. How many records went. Never waits.
size_t KeepKilledApartContent();

// Whether a name in a folder is one content written apart waits under.
bool IsApartContentName(std::string_view name);

}  // namespace zv::platform
