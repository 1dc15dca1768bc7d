#include "editor/kept_changes.h"

#include <unistd.h>

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
                       const SourceHeader& header, platform::TextEncoding encoding,
                       const std::optional<KeptFile>& origin) {
  const std::lock_guard<std::mutex> lock(mutex_);
  std::optional<Program>& program = slots_[tab].program;
  // Looked at on every turn: copied only when it changed.
  const auto path_of = [](const std::optional<KeptFile>& kept) { return kept ? kept->path : std::string(); };
  if (program && program->place == place && program->header == header && program->encoding == encoding &&
      path_of(program->origin) == path_of(origin) && program->lines == lines)
    return;
  program = Program{place, lines, header, encoding, origin};
  slots_[tab].kept = false;
}

void KeptChanges::Forget(size_t tab) {
  const std::lock_guard<std::mutex> lock(mutex_);
  slots_[tab] = {};
}

void KeptChanges::Keep() {
  const std::lock_guard<std::mutex> lock(mutex_);
  for (Slot& slot : slots_) {
    if (!slot.program || slot.kept) continue;
    slot.kept = true;
    const Program& p = slot.program.value();
    const std::string bytes = FileOfEditorText(FormatSource(p.lines, p.header), p.encoding);
    std::string not_beside;
    const std::optional<std::string> path = WriteAutosave(p.place.folder, p.place.name, bytes, &not_beside);
    const std::string why_elsewhere = not_beside.empty() ? "" : " (not beside the program: " + not_beside + ")";
    if (path) {
      Say("unsaved changes of " + p.place.name + " kept in " + *path + why_elsewhere);
      ListKept(*path, p.place.folder, p.place.unnamed ? std::string() : p.place.name);
      if (p.origin) RemoveKept(*p.origin);
    } else {
      Say("unsaved changes of " + p.place.name + " lost: " + (not_beside.empty() ? "" : not_beside + "; ") +
          platform::CauseOf(errno));
    }
  }
}

}  // namespace zv::editor
