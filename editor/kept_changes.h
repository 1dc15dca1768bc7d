#pragma once

#include <array>
#include <cstddef>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "editor/kept_list.h"
#include "editor/source_file.h"

namespace zv::editor {

// Where a tab's program is kept: the folder its autosave goes to first
// (editor/autosave.h) and the file name it is kept under (untitled.kqa for
// an unnamed program).
struct KeptPlace {
  std::string folder;
  std::string name;
  bool unnamed = false;
  friend bool operator==(const KeptPlace&, const KeptPlace&) = default;
};

// The programs with unsaved changes of the editor's two tabs, as its end
// keeps them, ready to be kept from any thread at any moment: by the
// editor's own end, and by the ends that its loop cannot reach (a stop
// signal while its main thread waits on a silent X server, the X server's
// connection lost), which must not wait for the main thread. The main
// thread notes each tab's program as it changes; Keep() writes each noted
// program it has not yet written as it stands, into a new autosave of its
// own, so that no two tabs ever share one and nothing written before is
// replaced.
class KeptChanges {
 public:
  // Tab `tab` (0 or 1) holds this program with unsaved changes; `origin`,
  // the autosave its text came from, goes once a new one keeps it.
  void Note(size_t tab, const KeptPlace& place, const std::vector<std::string>& lines, const SourceHeader& header,
            platform::TextEncoding encoding, const std::optional<KeptFile>& origin);
  // Tab `tab` holds nothing to keep.
  void Forget(size_t tab);
  // Writes what is noted and not yet written, and says on standard error
  // where each program went (or why it could not be kept). Each new
  // autosave is listed for later starts (editor/kept_list.h); the one its
  // text came from goes.
  void Keep();

 private:
  struct Program {
    KeptPlace place;
    std::vector<std::string> lines;
    SourceHeader header;
    platform::TextEncoding encoding;
    std::optional<KeptFile> origin;
  };
  struct Slot {
    std::optional<Program> program;
    bool kept = false;
  };

  std::mutex mutex_;
  std::array<Slot, 2> slots_;
};

}  // namespace zv::editor
