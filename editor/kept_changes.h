#pragma once

#include <array>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "editor/autosave.h"
#include "editor/edit_history.h"
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

// What became of a tab's keeping when it changed: its program is kept
// elsewhere than beside itself (`where`, the folder), or could not be kept
// (`cause`). Keeping beside the program, as ever, is no news.
struct KeepNews {
  std::string name;  // the program's file name
  bool kept = false;
  std::string where;
  std::string cause;
};

// The programs with unsaved changes of the editor's two tabs, kept where
// autosaves go (editor/autosave.h) a moment after each change, so that an
// end that keeps nothing (a crash, SIGKILL, the out-of-memory killer) loses
// at most that moment; and ready to be kept from any thread at any moment:
// by the editor's own end, and by the ends that its loop cannot reach (a
// stop signal while its main thread waits on a silent X server, the X
// server's connection lost), which must not wait for the main thread.
//
// The main thread notes each tab's program as it changes; a note copies only
// the lines that changed, so that typing in a long program costs no more
// with keeping than without. A keep that falls due is written by a thread of
// its own, so the keys never wait for the disk. Each keep writes a noted
// program into a new autosave of its own, so that no two tabs ever share
// one and nothing is written over; the tab's earlier autosave (the one this
// editor wrote, or the one its text came from) then goes. The autosave a
// tab is kept in is held (HeldAutosave) for as long as it is, so that no
// other editor takes it for an ended one's. A tab whose text is saved or
// given up takes its autosave with it.
class KeptChanges {
 public:
  // How long a change waits before it is kept, at most.
  static constexpr uint32_t kKeepAfterMs = 2000;

  KeptChanges() = default;
  // Waits for a keep under way.
  ~KeptChanges();
  KeptChanges(const KeptChanges&) = delete;
  KeptChanges& operator=(const KeptChanges&) = delete;

  // Tab `tab` (0 or 1) holds this program with unsaved changes, as of
  // `now_ms`; of its lines, `changed` changed since the last note (only
  // those are copied). `origin`, the autosave its text came from, goes once
  // a new one keeps it.
  void Note(size_t tab, const KeptPlace& place, const ChangedLines& changed, const std::vector<std::string>& lines,
            const SourceHeader& header, const FileForm& form, const std::optional<KeptFile>& origin,
            uint32_t now_ms);
  // Tab `tab` holds nothing to keep: its text was saved or given up, and
  // the autosave this editor kept it in goes.
  void Forget(size_t tab);
  // Starts the keep of each program noted kKeepAfterMs or longer ago and
  // not yet kept. One that could not be kept is tried again as long after.
  void KeepDue(uint32_t now_ms);
  // Keeps every program noted and not yet kept, on the calling thread
  // (before a run or a build, which the editor waits for); false when one
  // could not be kept.
  bool KeepNow();
  // The end's keep: as KeepNow, and says on standard error where each
  // program is kept (or why it could not be). Each new autosave is listed
  // for later starts (editor/kept_list.h).
  void Keep();
  // Waits until no keep is under way (for tests, and before a test stops
  // the editor to look at what it kept).
  void Finish();
  // Whether `path` is an autosave this editor keeps a tab's text in.
  bool Holds(const std::string& path) const;
  // What changed in where the tabs are kept since the last call.
  std::vector<KeepNews> TakeNews();

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
    uint64_t version = 0;       // moves on with every change noted
    uint64_t kept_version = 0;  // the version `written` holds
    uint64_t forgotten = 0;     // moves on when the tab's program goes
    uint32_t changed_at = 0;
    bool writing = false;       // the keeping thread has it in hand
    bool retry = false;         // its last keep failed: tried again later
    std::optional<KeptFile> written;
    std::optional<HeldAutosave> hold;
    bool told = false;      // the end said where `written` is
    std::string lost;       // why the program could not be kept
    std::string elsewhere;  // why `written` is not beside the program
    std::string last_news;  // what the last news said, so it is said once
  };
  // A program's text, ready to be written by any thread.
  struct Job {
    size_t tab;
    uint64_t version;
    uint64_t forgotten;
    KeptPlace place;
    std::optional<KeptFile> origin;
    std::string text;  // FormatSource's
    platform::TextEncoding encoding;
  };
  struct Written {
    std::optional<KeptFile> file;  // listed for later starts
    std::optional<HeldAutosave> hold;
    std::string not_beside;
    std::string cause;
  };
  bool Kept(const Slot& slot) const { return slot.kept_version == slot.version; }
  Job JobOf(size_t tab) const;
  static Written Write(const Job& job);
  // Takes what a keep wrote as the slot's autosave, where the slot still
  // holds that program and nothing newer was kept meanwhile; returns the
  // files that go now (the earlier autosaves, or else the new one).
  std::vector<KeptFile> Settle(const Job& job, Written written);
  void AddNews(Slot& slot);
  bool KeepPending(std::unique_lock<std::mutex>& lock);
  void RunKeeper();

  mutable std::mutex mutex_;
  std::condition_variable wake_;  // a job is due, or the thread is to end
  std::condition_variable idle_;  // a job was settled
  std::array<Slot, 2> slots_;
  std::vector<KeepNews> news_;
  bool stopping_ = false;
  std::thread keeper_;  // started with the first keep that falls due
};

}  // namespace zv::editor
