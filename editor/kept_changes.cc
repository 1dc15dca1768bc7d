#include "editor/kept_changes.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/paths/failure_cause.h"

namespace zv::editor {
namespace {

// A plain write: the thread that keeps may not be the one that holds a lock
// of the C streams.
void Say(const std::string& text) {
  const std::string line = "zentrovex: " + text + "\n";
  [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, line.data(), line.size());
}

// Makes `copy` hold `lines` again after the lines `changed` changed: only
// those are copied, wherever they are in a long program.
void Follow(std::vector<std::string>& copy, const std::vector<std::string>& lines, const ChangedLines& changed) {
  if (!changed.any) return;
  const auto first = static_cast<size_t>(std::max(changed.first, 0));
  const auto removed = static_cast<size_t>(std::max(changed.removed, 0));
  const auto added = static_cast<size_t>(std::max(changed.added, 0));
  if (changed.all || first + removed > copy.size() || copy.size() - removed + added != lines.size()) {
    copy = lines;
    return;
  }
  const size_t shared = std::min(removed, added);
  const auto at = [](auto& v, size_t i) { return v.begin() + static_cast<std::ptrdiff_t>(i); };
  std::copy(at(lines, first), at(lines, first + shared), at(copy, first));
  if (removed > added)
    copy.erase(at(copy, first + shared), at(copy, first + removed));
  else
    copy.insert(at(copy, first + shared), at(lines, first + shared), at(lines, first + added));
}

std::string FolderOf(const std::string& path) { return path.substr(0, path.rfind('/')); }

}  // namespace

KeptChanges::~KeptChanges() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  if (keeper_.joinable()) keeper_.join();
}

void KeptChanges::Note(size_t tab, const KeptPlace& place, const ChangedLines& changed,
                       const std::vector<std::string>& lines, const SourceHeader& header, const FileForm& form,
                       const std::optional<KeptFile>& origin, uint32_t now_ms) {
  const std::lock_guard<std::mutex> lock(mutex_);
  Slot& slot = slots_[tab];
  std::optional<Program>& program = slot.program;
  // Looked at on every turn: only what changed is copied.
  const auto path_of = [](const std::optional<KeptFile>& kept) { return kept ? kept->path : std::string(); };
  if (program && !changed.any && program->place == place && program->header == header && program->form == form &&
      path_of(program->origin) == path_of(origin))
    return;
  // The wait runs from the first change not yet kept.
  if (!program || Kept(slot)) slot.changed_at = now_ms;
  if (program) {
    Follow(program->lines, lines, changed);
  } else {
    program = Program{{}, lines, {}, {}, {}};
  }
  program->place = place;
  program->header = header;
  program->form = form;
  program->origin = origin;
  ++slot.version;
}

void KeptChanges::Forget(size_t tab) {
  const std::lock_guard<std::mutex> lock(mutex_);
  Slot& slot = slots_[tab];
  if (!slot.program && !slot.written) return;
  // The hold goes first: the autosave is no other editor's.
  slot.hold.reset();
  if (slot.written) RemoveKept(*slot.written);
  const uint64_t forgotten = slot.forgotten + 1, version = slot.version;
  const bool writing = slot.writing;
  slot = {};
  slot.forgotten = forgotten;
  slot.version = slot.kept_version = version;
  slot.writing = writing;
}

KeptChanges::Job KeptChanges::JobOf(size_t tab) const {
  const Slot& slot = slots_[tab];
  const Program& p = slot.program.value();
  // Only the lines joined, under the lock; their encoding waits for none.
  return Job{tab, slot.version, slot.forgotten, p.place, p.origin, FormatSource(p.lines, p.header, p.form.line_end),
             p.form.encoding};
}

KeptChanges::Written KeptChanges::Write(const Job& job) {
  Written written;
  const std::string bytes = FileOfEditorText(job.text, job.encoding);
  const std::optional<std::string> path =
      WriteAutosave(job.place.folder, job.place.name, bytes, &written.not_beside, &written.hold);
  if (!path) {
    written.cause = platform::CauseOf(errno);
    return written;
  }
  // (Without its identity, it is never taken for its own and removed.)
  written.file = ListKept(*path, job.place.folder, job.place.unnamed ? "" : job.place.name);
  if (!written.file) written.file = KeptFile{*path, job.place.folder, job.place.name};
  return written;
}

std::vector<KeptFile> KeptChanges::Settle(const Job& job, Written written) {
  Slot& slot = slots_[job.tab];
  const bool current = slot.program && slot.forgotten == job.forgotten && job.version > slot.kept_version;
  if (!written.file) {
    if (current) {
      slot.lost = (written.not_beside.empty() ? "" : written.not_beside + "; ") + written.cause;
      slot.retry = true;
      AddNews(slot);
    }
    return {};
  }
  if (!current) {
    // The text was saved or given up, or kept anew, meanwhile.
    written.hold.reset();
    return {*written.file};
  }
  slot.lost.clear();
  slot.retry = false;
  slot.elsewhere = written.not_beside;
  // The earlier copies go once this one holds the text; each only where it
  // is still the file that was written or found.
  std::vector<KeptFile> gone;
  slot.hold = std::move(written.hold);
  if (slot.written) gone.push_back(*slot.written);
  if (job.origin) gone.push_back(*job.origin);
  slot.written = std::move(written.file);
  slot.kept_version = job.version;
  slot.told = false;
  AddNews(slot);
  return gone;
}

void KeptChanges::AddNews(Slot& slot) {
  KeepNews news{slot.program->place.name, slot.lost.empty(), {}, slot.lost};
  if (news.kept && !slot.elsewhere.empty()) news.where = FolderOf(slot.written->path);
  // Kept beside the program, as ever, after keeping beside it: nothing to say.
  const std::string said = news.kept ? news.where : "lost: " + news.cause;
  if (said == slot.last_news) return;
  slot.last_news = said;
  news_.push_back(std::move(news));
}

void KeptChanges::KeepDue(uint32_t now_ms) {
  std::unique_lock<std::mutex> lock(mutex_);
  bool due = false;
  for (Slot& slot : slots_) {
    if (!slot.program || Kept(slot) || slot.writing) continue;
    if (slot.retry) {
      // Tried again as long after its failure as a change waits.
      slot.retry = false;
      slot.changed_at = now_ms;
      continue;
    }
    if (now_ms - slot.changed_at < kKeepAfterMs) continue;
    slot.writing = true;
    due = true;
  }
  if (!due) return;
  if (!keeper_.joinable()) keeper_ = std::thread([this] { RunKeeper(); });
  lock.unlock();
  wake_.notify_one();
}

void KeptChanges::RunKeeper() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] {
      return stopping_ || std::any_of(slots_.begin(), slots_.end(), [](const Slot& s) { return s.writing; });
    });
    if (stopping_) return;
    for (size_t tab = 0; tab < slots_.size(); ++tab) {
      if (!slots_[tab].writing) continue;
      // The text is taken under the lock; the disk is waited for without it.
      std::optional<Job> job;
      if (slots_[tab].program && !Kept(slots_[tab])) job = JobOf(tab);
      if (job) {
        lock.unlock();
        Written written = Write(*job);
        lock.lock();
        const std::vector<KeptFile> gone = Settle(*job, std::move(written));
        // The disk is waited for without the lock, here too.
        lock.unlock();
        for (const KeptFile& file : gone) RemoveKept(file);
        lock.lock();
      }
      slots_[tab].writing = false;
      idle_.notify_all();
    }
  }
}

bool KeptChanges::KeepPending(std::unique_lock<std::mutex>& lock) {
  bool all = true;
  for (size_t tab = 0; tab < slots_.size(); ++tab) {
    const Slot& slot = slots_[tab];
    if (!slot.program || Kept(slot)) continue;
    const Job job = JobOf(tab);
    // Written where the lock is held: no other keep of this tab is settled
    // meanwhile, and one under way on the keeping thread finds this one
    // newer and lets its own file go.
    Written written = Write(job);
    if (!written.file) all = false;
    for (const KeptFile& file : Settle(job, std::move(written))) RemoveKept(file);
  }
  static_cast<void>(lock);
  return all;
}

bool KeptChanges::KeepNow() {
  std::unique_lock<std::mutex> lock(mutex_);
  return KeepPending(lock);
}

void KeptChanges::Keep() {
  std::unique_lock<std::mutex> lock(mutex_);
  KeepPending(lock);
  for (Slot& slot : slots_) {
    if (!slot.program) continue;
    const std::string& name = slot.program->place.name;
    if (!Kept(slot)) {
      Say("unsaved changes of " + name + " lost: " + slot.lost);
      continue;
    }
    if (slot.told || !slot.written) continue;
    slot.told = true;
    Say("unsaved changes of " + name + " kept in " + slot.written->path +
        (slot.elsewhere.empty() ? "" : " (not beside the program: " + slot.elsewhere + ")"));
  }
}

void KeptChanges::Finish() {
  std::unique_lock<std::mutex> lock(mutex_);
  idle_.wait(lock, [this] { return std::none_of(slots_.begin(), slots_.end(), [](const Slot& s) { return s.writing; }); });
}

bool KeptChanges::Holds(const std::string& path) const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return std::any_of(slots_.begin(), slots_.end(),
                     [&path](const Slot& slot) { return slot.written && slot.written->path == path; });
}

std::vector<KeepNews> KeptChanges::TakeNews() {
  const std::lock_guard<std::mutex> lock(mutex_);
  return std::exchange(news_, {});
}

}  // namespace zv::editor
