#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
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

// The programs with unsaved changes of the editor's two tabs, kept where
// autosaves go (editor/autosave.h) a moment after each change, so that an
// end that keeps nothing (a crash, SIGKILL, the out-of-memory killer) loses
// at most that moment; and ready to be kept from any thread at any moment:
// by the editor's own end, and by the ends that its loop cannot reach (a
// stop signal while its main thread waits on a silent X server, the X
// server's connection lost), which must not wait for the main thread.
//
// The main thread notes each tab's program as it changes. Each keep writes
// a noted program into a new autosave of its own, so that no two tabs ever
// share one and nothing is written over; the tab's earlier autosave (the
// one this editor wrote, or the one its text came from) then goes. A tab
// whose text is saved or given up takes its autosave with it.
class KeptChanges {
 public:
  // How long a change waits before it is kept, at most.
  static constexpr uint32_t kKeepAfterMs = 2000;

  // Tab `tab` (0 or 1) holds this program with unsaved changes, as of
  // `now_ms`; `origin`, the autosave its text came from, goes once a new
  // one keeps it.
  void Note(size_t tab, const KeptPlace& place, const std::vector<std::string>& lines, const SourceHeader& header,
            const FileForm& form, const std::optional<KeptFile>& origin, uint32_t now_ms);
  // Tab `tab` holds nothing to keep: its text was saved or given up, and
  // the autosave this editor kept it in goes.
  void Forget(size_t tab);
  // Keeps each program noted kKeepAfterMs or longer ago and not yet kept.
  // One that cannot be kept is tried again as long after.
  void KeepDue(uint32_t now_ms);
  // Keeps every program noted and not yet kept (before a run or a build,
  // which the editor waits for); false when one could not be kept.
  bool KeepNow();
  // The end's keep: as KeepNow, and says on standard error where each
  // program is kept (or why it could not be). Each new autosave is listed
  // for later starts (editor/kept_list.h).
  void Keep();
  // Whether `path` is an autosave this editor keeps a tab's text in.
  bool Holds(const std::string& path) const;

 private:
  struct Program {
    KeptPlace place;
    std::vector<std::string> lines;
    SourceHeader header;
    FileForm form;
    std::optional<KeptFile> origin;
  };
  struct Slot {
    std::optional<Program> program;
    bool kept = false;      // the program as noted is in `written`
    uint32_t changed_at = 0;
    std::optional<KeptFile> written;
    bool told = false;      // the end said where `written` is
    std::string lost;       // why the program could not be kept
    std::string elsewhere;  // why `written` is not beside the program
  };
  // Writes the slot's program into a new autosave; false when it could not.
  bool KeepSlot(Slot& slot);

  mutable std::mutex mutex_;
  std::array<Slot, 2> slots_;
};

}  // namespace zv::editor
