#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace zv {

// A built game is this executable followed by records:
//
//   stub (S bytes) | record... | u32 0 (end marker) | u32 S
//   record = u32 N | name (N - 1 characters and a zero) | u32 D | D bytes
//
// all integers little-endian. The first record is the compiled program; the
// others are the project's media files, named by their path relative to the
// project folder with backslashes between folders.
constexpr uint32_t kMaxRecordNameLength = 255;  // characters, without the zero
constexpr size_t kTrailerSize = 8;

// The builder's last record: when the game was built, as 8 bytes, the
// nanoseconds since 1970 little-endian. Hidden names never come from a
// project folder, so no media file can take this one.
inline constexpr char kBuildTimeRecordName[] = ".zentrovex-built";
std::vector<uint8_t> EncodeBuildTime(int64_t nanoseconds);

// One record found in a built game: its name lower-cased, where its data
// lies in the records block, and its size.
struct AttachedEntry {
  std::string name;
  size_t offset = 0;
  uint32_t size = 0;
};

struct AttachedLayout {
  uint32_t stub_length = 0;
  std::vector<AttachedEntry> entries;  // offsets from the start of the records
};

struct DamagedAttachedData {
  std::string message;
};
using AttachedParse = std::variant<AttachedLayout, DamagedAttachedData>;

// The stub length that the file's last eight bytes claim, or nothing when
// they claim no records (a plain executable ends in zeros there).
std::optional<uint32_t> ReadTrailerStubLength(std::span<const uint8_t> last_eight, uint64_t file_size);

// True when the file at `path` ends in a trailer that names records, so it
// is a built game (whether or not its records turn out to be whole).
bool HasAttachedRecords(const std::string& path);

// Lists the records of `records` (the file from offset `stub_length` to its
// end, trailer included). Trusts nothing: every length is checked against
// what is left before the trailer.
AttachedParse ParseAttachedRecords(std::span<const uint8_t> records, uint32_t stub_length);

// Lower-cases A to Z only, as record names are compared.
std::string LowerAscii(std::string_view text);

// Writes `data` to `path` through a temporary name and a rename, so a reader
// that still holds the previous file keeps reading it whole. False when the
// file cannot be written.
bool WriteVirtualFile(const std::string& path, std::span<const uint8_t> data);

// The records appended to the running executable, and the lookup that
// serves them to every command that opens a file by name: a name that
// matches a record is written to "_virtual." + extension in the temporary
// folder and the caller opens that file instead.
//
// What the game writes wins over what it carries: a name is served from its
// record only until the game has made it its own on disk, that is until a
// file of that name on disk is changed after the game was built, or the game
// deletes or moves the name away; such names are kept in the list of
// kept_names.h. So a game keeps its saves, in the same run, in later runs and
// in later builds of it, and still finds the media it only reads.
class AttachedData {
 public:
  // `temp_folder` ends with "/".
  explicit AttachedData(std::string temp_folder) : temp_folder_(std::move(temp_folder)) {}
  // Deletes the files that the lookups wrote.
  ~AttachedData();
  AttachedData(const AttachedData&) = delete;
  AttachedData& operator=(const AttachedData&) = delete;

  enum class LoadResult { kLoaded, kNoRecords, kFailed };
  // Reads the records of the executable at `path`. kNoRecords for a file
  // with none; kFailed with `error` set when the file cannot be read or its
  // records are damaged.
  LoadResult Load(const std::string& path, std::string* error);
  // The same for records already in memory (tests and the fuzz target).
  LoadResult LoadRecords(std::vector<uint8_t> records, uint32_t stub_length, std::string* error);

  const std::vector<AttachedEntry>& Entries() const { return entries_; }
  std::span<const uint8_t> DataOf(const AttachedEntry& entry) const {
    return std::span<const uint8_t>(block_).subspan(entry.offset, entry.size);
  }
  uint32_t StubLength() const { return stub_length_; }

  // Writes the first record, the compiled program, to "_virtual.dat" and
  // returns that path; nothing when there is no record or the write fails.
  std::optional<std::string> ExtractProgramEntry();

  // Looks `path` up by the record's whole name ('/' and '\' alike, letters
  // in any case). On a match that the disk has not taken over, the path is
  // replaced by the temporary file's and true returned; otherwise `path` is
  // left alone.
  bool ResolveVirtualFile(std::string& path, std::string_view extension);
  // The same, matching `path` against the file-name part of each record.
  // `disk_name`, when given, is the program's name of the file the caller
  // reads instead when no record serves (else `path` is).
  bool ResolveVirtualFileByName(std::string& path, std::string_view extension,
                                std::string_view disk_name = {});

  // True when a record has the whole name `path` (matched as above),
  // whether or not it is served.
  bool Carries(std::string_view path) const;
  // True when a lookup of `path` would be served from a record.
  bool Serves(std::string_view path) const;
  // Makes the carried name `path` the game's own on disk before the game
  // deletes or moves its file: from now on, and in later runs, the name is
  // what the disk holds. False, with errno set, when that cannot be kept.
  bool KeepOnDisk(std::string_view path) const;
  // When the game was built; nothing for a game without the record.
  std::optional<int64_t> BuildTime() const { return build_time_; }

 private:
  bool Resolve(std::string& path, std::string_view extension, bool by_name, std::string_view disk_name);
  // The first record (after the program) that `path` names, or none.
  const AttachedEntry* Match(std::string_view path, bool by_name) const;
  // True when the file that the program's name `disk_name` opens on disk
  // is the game's own: listed as kept, or changed after the build (which
  // lists it).
  bool DiskHasTakenOver(std::string_view disk_name) const;
  // Writes the entry to "_virtual." + extension; the path, or nothing.
  std::optional<std::string> MakeVirtualFilePath(const AttachedEntry& entry, std::string_view extension);

  std::string temp_folder_;
  std::vector<uint8_t> block_;
  uint32_t stub_length_ = 0;
  std::vector<AttachedEntry> entries_;
  std::optional<int64_t> build_time_;
  std::set<std::string> written_;
};

}  // namespace zv
