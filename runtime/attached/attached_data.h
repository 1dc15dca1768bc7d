#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <variant>
#include <vector>

#include "platform/paths/path_resolver.h"
#include "runtime/attached/kept_names.h"

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

// The builder's last records: when the game was built, as 8 bytes, the
// nanoseconds since 1970 little-endian; and the name of the program the game
// was built from, by which it is known in the lists of kept names. Hidden
// names never come from a project folder, so no media file can take them.
inline constexpr char kBuildTimeRecordName[] = ".zentrovex-built";
inline constexpr char kProgramNameRecordName[] = ".zentrovex-program";
std::vector<uint8_t> EncodeBuildTime(int64_t nanoseconds);

// One record found in a built game: its name lower-cased (and as the builder
// spelled it), where its data lies in the records block, and its size.
struct AttachedEntry {
  std::string name;
  std::string spelling;
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

// One name a built game carries in a folder, as a listing shows it.
struct CarriedListing {
  std::string name;
  bool folder = false;
  uint32_t size = 0;
};

// The records appended to the running executable, and the lookup that
// serves them to every command that opens a file by name: a name that
// matches a record is written to "_virtual." + extension in the temporary
// folder and the caller opens that file instead.
//
// The records are files of the folder the game started in (the current
// folder when they were loaded) and of the folders below it, and a name
// finds one as it would find a file there on disk: "./data.txt" is
// "data.txt", after the game changes folder a name is looked for in the
// new one, a name ending in "/" names a folder, and of two records whose
// names differ only in letter case the one spelled as asked is found. A
// folder that holds carried files exists for the game.
//
// What the game writes wins over what it carries: a name is served from its
// record only until the game has made it its own on disk, from the moment it
// writes a file of that name (by any command: every writer tells the path
// helper, whose layer this is), deletes it or moves it away, or a file of
// that name on disk is changed after the game was built. Such names are kept
// in the list of kept_names.h, under the game's program. So a game keeps its
// saves, in the same run, in later runs and in later builds of it under any
// file name, and still finds the media it only reads.
//
// A file on disk older than the build and not listed for the game is
// passed over for the record (it may be an old copy of the media the game
// reads), but it is never lost: before the game writes, deletes or moves
// away that name, the file is kept under the name NAME.kept (or .kept2,
// .kept3, ...), unless it holds just what the record holds.
class AttachedData final : public platform::NameLayer {
 public:
  // `temp_folder` ends with "/".
  explicit AttachedData(std::string temp_folder) : temp_folder_(std::move(temp_folder)) {}
  // Deletes the files that the lookups wrote.
  ~AttachedData();
  AttachedData(const AttachedData&) = delete;
  AttachedData& operator=(const AttachedData&) = delete;

  enum class LoadResult { kLoaded, kNoRecords, kFailed };
  // Reads the records of the executable at `path`; the game is known by
  // its program's name and its file name in the lists of kept names.
  // kNoRecords for a file with none; kFailed with `error` set when the file
  // cannot be read or its records are damaged.
  LoadResult Load(const std::string& path, std::string* error);
  // The same for records already in memory (tests and the fuzz target), of
  // a game without a file name.
  LoadResult LoadRecords(std::vector<uint8_t> records, uint32_t stub_length, std::string* error);

  const std::vector<AttachedEntry>& Entries() const { return entries_; }
  std::span<const uint8_t> DataOf(const AttachedEntry& entry) const {
    return std::span<const uint8_t>(block_).subspan(entry.offset, entry.size);
  }
  uint32_t StubLength() const { return stub_length_; }

  // Writes the first record, the compiled program, to "_virtual.dat" and
  // returns that path; nothing when there is no record or the write fails.
  std::optional<std::string> ExtractProgramEntry();

  // Looks the program's file name `path` up among the records, as a path
  // from the game's folder ('/' and '\' alike, letters in any case). On a
  // match that the disk has not taken over, the path is replaced by the
  // temporary file's and true returned; otherwise `path` is left alone.
  bool ResolveVirtualFile(std::string& path, std::string_view extension);
  // The same, matching `path` against the file-name part of each record.
  // `disk_name`, when given, is the program's name of the file the caller
  // reads instead when no record serves (else `path` is).
  bool ResolveVirtualFileByName(std::string& path, std::string_view extension,
                                std::string_view disk_name = {});
  // The temporary file that serves the program's file name `name`, whose
  // path on this machine the path helper found as `native`; none when no
  // record serves it.
  std::optional<std::string> ServedPath(std::string_view name, const std::string& native,
                                        std::string_view extension);

  // True when a record has the program's file name `path` (matched as
  // above), whether or not it is served.
  bool Carries(std::string_view path) const;
  // True when a lookup of `path` would be served from a record.
  bool Serves(std::string_view path) const;
  // True when `path` names a folder that holds carried files.
  bool CarriesFolder(std::string_view path) const;
  // The carried names in the folder `folder` (a path of this machine) that
  // the game finds there: its folders, and the files the disk has not
  // taken over.
  std::vector<CarriedListing> ListFolder(const std::string& folder) const;
  // Makes the carried name `path` the game's own on disk before the game
  // deletes or moves its file: from now on, and in later runs, the name is
  // what the disk holds. For a carried folder the game deletes, so is every
  // name below it. False, with errno set, when that cannot be kept.
  bool KeepOnDisk(std::string_view path) const;
  // When the game was built; nothing for a game without the record.
  std::optional<int64_t> BuildTime() const { return build_time_; }
  // Who the game is in the lists of kept names.
  const KeptGame& Game() const { return game_; }

  // What every writer of a file by name tells the path helper (paths of
  // this machine): the carried folders a file goes into are made on disk; a
  // file of the player's the game passed over is kept before its name is
  // written or removed; and a carried name written or removed is the game's
  // own from then on. A name that cannot be recorded so is a failure of the
  // write (errno says why).
  bool Preparing(const std::string& path) override;
  bool Publishing(const std::string& path, bool replaces) override;
  void Published(const std::string& path, bool published) override;
  bool Removing(const std::string& path) override;
  // A name an older build spelled in the program's own bytes: the game
  // carries it in those bytes, as a game built from such files does.
  std::optional<std::string> OlderEntry(const std::string& folder, const std::string& name,
                                        const std::string& older) const override;

 private:
  // A record name as a path leads to it: spelled as the path spells it,
  // and lower-cased, with folders joined by '\\'.
  struct RecordName {
    std::string spelled;
    std::string lower;
  };
  // Writes the record `entry`, found under `record_name` (lower case; whole
  // names, or `by_name` file-name parts), unless the disk has taken it over
  // at `disk_path`; the temporary file's path, or none.
  std::optional<std::string> Serve(const AttachedEntry& entry, const std::string& record_name, bool by_name,
                                   const std::string& disk_path, std::string_view extension);
  // The record name that the program's file name `path` leads to, or none
  // for a path outside the game's folder.
  std::optional<RecordName> RecordNameOf(std::string_view path) const;
  // The same for a path of this machine.
  std::optional<RecordName> RecordNameOfNative(const std::string& path) const;
  // Where the program's name for the path of this machine `native` leads
  // on disk (a file named so in other letter case, say).
  std::string DiskPathOf(const std::string& native) const;
  // The record of a file that the path of this machine `path` names, if the
  // game carries one.
  const AttachedEntry* CarriedFileAt(const std::string& path) const;
  // The first record (after the program) whose whole name (or, `by_name`,
  // file-name part) is `wanted`: spelled as `wanted` is when one is, else
  // in any letter case; or none.
  const AttachedEntry* MatchRecord(const RecordName& wanted, bool by_name) const;
  // True when the game carries another record whose name differs from the
  // entry's only in letter case: its kept names are then told apart by
  // spelling.
  bool HasCaseTwin(const AttachedEntry& entry) const;
  bool HoldsFolder(std::string_view record_name) const;
  // True when the folder at `native` (a path of this machine), whose record
  // name is `record_name`, holds carried files and the game has not deleted
  // it.
  bool StillCarriesFolder(const std::string& native, std::string_view record_name) const;
  // True when the file at `disk_path` (a path of this machine) is the
  // game's own: listed as kept, or changed after the build (which lists it).
  bool DiskHasTakenOver(const std::string& disk_path, const AttachedEntry& entry) const;

  // A file of the player's at `path` that the game passed over for
  // `entry`, and that holds other bytes than the record, goes under a name
  // of its own. False, errno set, when it is there and cannot.
  bool KeepPassedOver(const std::string& path, const AttachedEntry& entry) const;
  // Puts the record's bytes on disk under `path` (where no file is), whole
  // or not at all; false (errno set, EEXIST when a file came there) when
  // they cannot be.
  bool PutRecordOnDisk(const std::string& path, const AttachedEntry& entry);
  // Writes the entry to "_virtual." + extension; the path, or nothing.
  std::optional<std::string> MakeVirtualFilePath(const AttachedEntry& entry, std::string_view extension);
  void IndexRecords();

  std::string temp_folder_;
  std::vector<uint8_t> block_;
  uint32_t stub_length_ = 0;
  std::vector<AttachedEntry> entries_;
  // Indices into entries_ by lower-case name, by lower-case file-name part,
  // and every folder that holds a record (lower case).
  std::unordered_map<std::string, std::vector<size_t>> by_path_;
  std::unordered_map<std::string, std::vector<size_t>> by_file_name_;
  std::set<std::string> folders_;
  std::optional<int64_t> build_time_;
  std::string game_folder_;  // absolute; empty until records are loaded
  KeptGame game_;
  std::set<std::string> written_;
  // Names listed by Publishing for a file that has not taken them yet.
  std::set<std::string> publishing_;
  // A record is being put on disk: its own save is the layer's, not the
  // game's.
  bool putting_record_ = false;
};

// The path a command that reads the program's file `name` opens: the
// private copy of the record a built game serves under the name (written
// with `extension`), else the file on disk as the path helper finds it.
// `attached` is null outside a built game.
std::string ReadPath(AttachedData* attached, std::string_view name, std::string_view extension = "dat");

}  // namespace zv
