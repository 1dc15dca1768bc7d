#pragma once

#include <map>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "services/files/disk_files.h"
#include "services/files/file_formats.h"

namespace zv::files {

// One name of a packed path: the system's spelling, and the program's own
// bytes, the spelling an older build gave the names it made.
struct PackedPart {
  std::string name;
  std::string older;
};

// The folder a directory pack is unpacked into. Each file lands beneath it:
// its folders are entered one at a time from the folder's own descriptor,
// and no symbolic link there is followed or written through (one to a
// folder elsewhere, or to nothing), whatever its letter case. A name is
// matched without regard to case, as the path helper matches the names
// programs give. Each folder is read once for the whole pack, each file's
// data synced once, and each folder that took files synced once.
class UnpackFolder {
 public:
  // The folder `native` as a path of this machine names it (a link it
  // names is followed: the program chose it); nothing (errno set) when it
  // cannot be opened.
  static std::optional<UnpackFolder> Open(const std::string& native);

  enum class Outcome {
    kMade,
    kTaken,        // something has its name there: a file, a folder or a link (`link`)
    kThroughLink,  // a folder of its path is a symbolic link there
    kFailed,       // it could not be made: `error`
    kCutShort,     // the pack ends inside it: nothing of it is written
  };
  struct Result {
    Outcome outcome = Outcome::kMade;
    int error = 0;
    bool link = false;
    RecordRead record;
  };
  // Makes the file whose path has the parts `parts`, its content the record
  // `read` reads, which is read in every case.
  Result Unpack(const std::vector<PackedPart>& parts, const RecordReader& read);
  // Syncs the folders that took files, and removes the folders made for
  // files that could not be made.
  void Finish();

 private:
  // The names of a folder, by their ASCII letters in lower case.
  using Names = std::unordered_map<std::string, std::vector<std::string>>;
  // A folder entered, with its path beneath the folder ("" for the folder).
  struct Entered {
    std::string path;
    UniqueFd fd;
    bool took_files = false;
  };

  UnpackFolder() = default;
  Names& NamesOf(const Entered& folder);
  // The entry of `folder` a name leads to, as the path helper finds one.
  std::optional<std::string> Match(const Entered& folder, const PackedPart& part);
  // Enters the folder `part` names in the folder entered at `depth`, made
  // when it is missing; false, with `result` saying why, when it cannot be.
  bool Enter(size_t depth, const PackedPart& part, Result& result);
  // Leaves the folders entered below `depth`, syncing those that took files.
  void LeaveBelow(size_t depth);
  Result MakeFile(const PackedPart& part, const RecordReader& read);
  // The path by which a file is saved into the folder entered last.
  std::string SavePath(const std::string& name) const;
  UniqueFd OpenBeneath(const std::string& path) const;

  std::string native_;
  bool by_descriptor_ = true;
  std::map<std::string, Names> names_;
  std::vector<Entered> entered_;
  std::vector<std::string> made_;  // folders made beneath, outermost first
  bool failed_ = false;
};

}  // namespace zv::files
