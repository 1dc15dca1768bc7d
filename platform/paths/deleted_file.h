#pragma once

#include <sys/types.h>

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "platform/paths/held_record.h"

namespace zv::platform {

// A file a program deleted, held aside while the program may still write
// that name anew (its owner decides how long), so that the save pattern
// `delete file`, `open file to write`, writes, `close file` replaces the
// file in one step at its close: a program killed before then leaves the
// old file, which the next start puts back where its name is still free.
//
// The file waits beside, under a hidden name (.zv-deleted-ID, ID its
// identity), and a record in the state folder's `deleted` (the spare state
// folder's where there is none) names it, flocked while its program holds
// it. Where neither folder can take the record, the file is held all the
// same, by the run alone: no start puts it back. A power cut may leave the
// record empty: the file then waits under its hidden name, and the start
// names the record it refused.
class DeletedFile {
 public:
  // Takes the file `path` out of its name: a regular file of the user's own
  // with no other name. Nothing (errno set) where it cannot be held so; the
  // caller then deletes it outright.
  static std::optional<DeletedFile> Take(const std::string& path);
  DeletedFile(DeletedFile&& other) noexcept;
  DeletedFile& operator=(DeletedFile&& other) noexcept;
  DeletedFile(const DeletedFile&) = delete;
  DeletedFile& operator=(const DeletedFile&) = delete;
  // The delete stands: the file goes.
  ~DeletedFile();

  // Whether the file was taken from `path` (however the path is spelled
  // from the current folder).
  bool TakenFrom(const std::string& path) const;
  // The path it was taken from, absolute.
  const std::string& Path() const { return path_; }
  // Puts the file back under its name, for a save that replaces it in one
  // step. False (errno set) where it cannot be (the name was taken since):
  // the delete then stands.
  bool PutBack();

 private:
  DeletedFile() = default;
  // The file goes, and the record with it.
  void Finish();
  // The record goes; the file stays where it is.
  void Forget();

  HeldRecord record_;  // none where no state folder takes it
  std::string path_;    // absolute
  std::string hidden_;  // absolute
  ino_t inode_ = 0;
};

// Puts back each file a program that has ended held deleted, where its name
// is free, and says so; a name taken since keeps what it has, and the held
// file goes. How many records went. Never waits.
size_t PutBackKilledDeletes();

// Whether a name in a folder is one a held file waits under.
bool IsDeletedFileName(std::string_view name);

}  // namespace zv::platform
