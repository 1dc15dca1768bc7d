#include "editor/kept_changes.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "editor/autosave.h"
#include "platform/paths/failure_cause.h"

namespace zv::editor {
namespace {

// A plain write: the thread that keeps may not be the one that holds a lock
// of the C streams.
void Say(const std::string& text) {
  const std::string line = "zentrovex: " + text + "\n";
  [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, line.data(), line.size());
}

}  // namespace

void KeptChanges::Note(size_t tab, const KeptPlace& place, const std::vector<std::string>& lines,
                       const SourceHeader& header, const FileForm& form,
                       const std::optional<KeptFile>& origin, uint32_t now_ms) {
  const std::lock_guard<std::mutex> lock(mutex_);
  Slot& slot = slots_[tab];
  std::optional<Program>& program = slot.program;
  // Looked at on every turn: copied only when it changed.
  const auto path_of = [](const std::optional<KeptFile>& kept) { return kept ? kept->path : std::string(); };
  if (program && program->place == place && program->header == header && program->form == form &&
      path_of(program->origin) == path_of(origin) && program->lines == lines)
    return;
  // The wait runs from the first change not yet kept.
  if (!program || slot.kept) slot.changed_at = now_ms;
  program = Program{place, lines, header, form, origin};
  slot.kept = false;
}

void KeptChanges::Forget(size_t tab) {
  const std::lock_guard<std::mutex> lock(mutex_);
  Slot& slot = slots_[tab];
  if (slot.written) RemoveKept(*slot.written);
  slot = {};
}

bool KeptChanges::KeepSlot(Slot& slot) {
  const Program& p = slot.program.value();
  const std::string bytes = FileOfSource(p.lines, p.header, p.form);
  std::string not_beside;
  const std::optional<std::string> path = WriteAutosave(p.place.folder, p.place.name, bytes, &not_beside);
  if (!path) {
    slot.lost = (not_beside.empty() ? "" : not_beside + "; ") + platform::CauseOf(errno);
    return false;
  }
  slot.lost.clear();
  slot.elsewhere = not_beside;
  std::optional<KeptFile> kept = ListKept(*path, p.place.folder, p.place.unnamed ? std::string() : p.place.name);
  // The earlier copies go once this one holds the text; each only where it
  // is still the file that was written or found.
  if (slot.written) RemoveKept(*slot.written);
  if (p.origin) RemoveKept(*p.origin);
  // (Without its identity, it is never taken for its own and removed.)
  slot.written = kept ? std::move(kept) : KeptFile{*path, p.place.folder, p.place.name};
  slot.kept = true;
  slot.told = false;
  return true;
}

void KeptChanges::KeepDue(uint32_t now_ms) {
  const std::lock_guard<std::mutex> lock(mutex_);
  for (Slot& slot : slots_) {
    if (!slot.program || slot.kept || now_ms - slot.changed_at < kKeepAfterMs) continue;
    if (!KeepSlot(slot)) slot.changed_at = now_ms;
  }
}

bool KeptChanges::KeepNow() {
  const std::lock_guard<std::mutex> lock(mutex_);
  bool all = true;
  for (Slot& slot : slots_)
    if (slot.program && !slot.kept && !KeepSlot(slot)) all = false;
  return all;
}

void KeptChanges::Keep() {
  const std::lock_guard<std::mutex> lock(mutex_);
  for (Slot& slot : slots_) {
    if (!slot.program) continue;
    const std::string& name = slot.program->place.name;
    if (!slot.kept && !KeepSlot(slot)) {
      Say("unsaved changes of " + name + " lost: " + slot.lost);
      continue;
    }
    if (slot.told) continue;
    slot.told = true;
    Say("unsaved changes of " + name + " kept in " + slot.written->path +
        (slot.elsewhere.empty() ? "" : " (not beside the program: " + slot.elsewhere + ")"));
  }
}

bool KeptChanges::Holds(const std::string& path) const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return std::any_of(slots_.begin(), slots_.end(),
                     [&path](const Slot& slot) { return slot.written && slot.written->path == path; });
}

}  // namespace zv::editor
