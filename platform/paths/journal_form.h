#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zv::platform {

// The form of a save journal on disk (platform/paths/save_journal.h), and
// the check that a file is in a state its save could have left.

// Which file a journal belongs to: its inode, birth time and generation,
// which the file keeps when its file system is mounted again under another
// device (the device number is no part of it). Birth and generation are 0
// where the file system keeps none; `strong` when it keeps either.
struct FileIdentity {
  uint64_t inode = 0;
  int64_t born_seconds = 0;
  uint32_t born_nanoseconds = 0;
  uint32_t generation = 0;
  bool strong = false;
  bool operator==(const FileIdentity&) const = default;
};

std::optional<FileIdentity> IdentityOf(int fd);
// The journal's file name for the file: the same from every folder.
std::string JournalName(const FileIdentity& file);
// Whether `name` has the form JournalName gives.
bool HasJournalNameForm(std::string_view name);

struct JournalHeader {
  FileIdentity file;
  uint64_t old_size = 0;
  uint64_t new_size = 0;
  std::string path;  // absolute, links followed
  // A hash of each part of the new content (see SavedParts); empty in the
  // journals of earlier builds, which kept the old content alone.
  std::vector<uint64_t> new_hashes;
  bool knows_new = false;
  uint64_t content_at = 0;  // where the old content starts in the journal
};

// A page: what a write of the file's content changes whole, even when the
// writer is killed (the kernel checks for a fatal signal between pages).
constexpr uint64_t kSavedPartSize = 4096;

// The parts a save in place writes, each whole or not at all when the
// saver is killed: the file system's pages, cut also at the old and the
// new end. [start, end) in order, up to the larger size.
std::vector<std::pair<uint64_t, uint64_t>> SavedParts(uint64_t old_size, uint64_t new_size);
// How many of those parts end within the new content: the first ones.
size_t NewPartCount(uint64_t old_size, uint64_t new_size);
// The hash of each of those parts of the new content open as `fd`; nothing
// (errno set) when it could not be read.
std::optional<std::vector<uint64_t>> HashNewContent(int fd, uint64_t old_size, uint64_t new_size);

std::vector<uint8_t> HeaderBytes(const JournalHeader& header);
// The header of a journal whose whole old content is there; nothing for a
// file that is no journal (of this build or an earlier one).
std::optional<JournalHeader> ReadHeader(int fd);

// What a file holds against its journal.
enum class FileState {
  kOld,    // the old content, whole
  kNew,    // the new content, whole
  kPart,   // each part the old or the new: a killed save's, to be undone
  kOther,  // something else wrote it since
};
// Reads the file open as `file` against the journal open as `journal`.
FileState JudgeFile(int file, int journal, const JournalHeader& header);

bool ReadExactly(int fd, uint8_t* out, size_t size, uint64_t at);
bool WriteExactly(int fd, const std::vector<uint8_t>& bytes, uint64_t at);

}  // namespace zv::platform
