#include "runtime/attached/attached_data.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "platform/paths/file_save.h"
#include "platform/paths/path_resolver.h"
#include "platform/text/system_text.h"
#include "runtime/attached/kept_names.h"

namespace zv {
namespace {

uint32_t ReadU32(std::span<const uint8_t> bytes, size_t at) {
  return static_cast<uint32_t>(bytes[at]) | static_cast<uint32_t>(bytes[at + 1]) << 8 |
         static_cast<uint32_t>(bytes[at + 2]) << 16 | static_cast<uint32_t>(bytes[at + 3]) << 24;
}

DamagedAttachedData Damaged(const char* what, size_t record) {
  char message[160];
  std::snprintf(message, sizeof message, "attached data damaged: %s (record %zu)", what, record + 1);
  return {message};
}

// Reads exactly `size` bytes at `offset`; false on any shortfall.
bool ReadAt(int fd, uint64_t offset, uint8_t* out, size_t size) {
  while (size > 0) {
    ssize_t got = ::pread(fd, out, size, static_cast<off_t>(offset));
    if (got <= 0) return false;
    out += got;
    offset += static_cast<uint64_t>(got);
    size -= static_cast<size_t>(got);
  }
  return true;
}

bool WriteAll(int fd, const uint8_t* data, size_t size) {
  while (size > 0) {
    ssize_t put = ::write(fd, data, size);
    if (put <= 0) return false;
    data += put;
    size -= static_cast<size_t>(put);
  }
  return true;
}

// An extension names a file beside the others; nothing that would lead out of
// the temporary folder.
bool SafeExtension(std::string_view extension) {
  for (char c : extension)
    if (c == '/' || c == '\\' || c == '\0') return false;
  return true;
}

namespace fs = std::filesystem;

std::string_view FileNamePart(std::string_view name) {
  size_t slash = name.rfind('\\');
  return slash == std::string_view::npos ? name : name.substr(slash + 1);
}

// The path of `path` from `folder` (both of this machine; `folder`
// absolute), with '\\' between its folders as records have: "" for the
// folder itself, nothing for a path outside it, or for one whose names hold
// a "\\", which in a record would part folders the path does not have.
std::optional<std::string> PathFrom(const std::string& folder, const std::string& path) {
  std::error_code ec;
  const fs::path absolute = fs::absolute(fs::path(path), ec);
  if (ec) return std::nullopt;
  std::string relative = absolute.lexically_normal().lexically_relative(folder).generic_string();
  if (relative.empty() || relative == ".." || relative.starts_with("../")) return std::nullopt;
  if (relative.find('\\') != std::string::npos) return std::nullopt;
  while (relative.size() > 1 && relative.back() == '/') relative.pop_back();
  if (relative == ".") return std::string();
  for (char& c : relative)
    if (c == '/') c = '\\';
  return relative;
}

std::string CurrentFolder() {
  std::error_code ec;
  const fs::path current = fs::current_path(ec);
  return ec ? std::string() : current.lexically_normal().string();
}

// True when the program's name ends in a separator (or "." or ".." after
// one): it names a folder, never a file.
bool NamesFolder(std::string_view path) {
  for (std::string_view end : {"/", "\\", "/.", "\\.", "/..", "\\.."})
    if (path.ends_with(end)) return true;
  return path.empty() || path == "." || path == "..";
}

// True when the file at `path` holds exactly `bytes`.
bool HoldsJust(const std::string& path, std::span<const uint8_t> bytes) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat info {};
  bool same = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && static_cast<uint64_t>(info.st_size) == bytes.size();
  uint8_t buffer[65536];
  for (size_t at = 0; same && at < bytes.size();) {
    const size_t want = std::min(sizeof buffer, bytes.size() - at);
    same = ReadAt(fd, at, buffer, want) && std::memcmp(buffer, bytes.data() + at, want) == 0;
    at += want;
  }
  ::close(fd);
  return same;
}

// Puts the file at `path` under the first free name of NAME.kept,
// NAME.kept2, ... beside it; false (errno set) when it cannot.
bool MoveToKeptName(const std::string& path) {
  for (int n = 1; n < 1000; ++n) {
    const std::string kept = path + ".kept" + (n == 1 ? std::string() : std::to_string(n));
    if (::renameat2(AT_FDCWD, path.c_str(), AT_FDCWD, kept.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno == EINVAL || errno == ENOSYS) {
      // No such rename on this file system: a link takes no name in use.
      if (::link(path.c_str(), kept.c_str()) == 0) return ::unlink(path.c_str()) == 0;
    }
    if (errno != EEXIST) return false;
  }
  errno = EEXIST;
  return false;
}

// The build time the record holds; nothing for a record of another size.
std::optional<int64_t> DecodeBuildTime(std::span<const uint8_t> data) {
  if (data.size() != 8) return std::nullopt;
  const uint64_t low = ReadU32(data, 0), high = ReadU32(data, 4);
  return static_cast<int64_t>(high << 32 | low);
}

}  // namespace

std::vector<uint8_t> EncodeBuildTime(int64_t nanoseconds) {
  std::vector<uint8_t> bytes(8);
  const uint64_t value = static_cast<uint64_t>(nanoseconds);
  for (size_t i = 0; i < 8; ++i) bytes[i] = static_cast<uint8_t>(value >> (8 * i));
  return bytes;
}

std::string LowerAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

std::optional<uint32_t> ReadTrailerStubLength(std::span<const uint8_t> last_eight, uint64_t file_size) {
  if (last_eight.size() != kTrailerSize || file_size < kTrailerSize) return std::nullopt;
  uint32_t stub_length = ReadU32(last_eight, 4);
  // A plain executable ends in zeros here; a built game names where its
  // records start.
  if (stub_length == 0) return std::nullopt;
  return stub_length;
}

bool HasAttachedRecords(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat info {};
  uint8_t tail[kTrailerSize];
  bool has = ::fstat(fd, &info) == 0 && info.st_size >= static_cast<off_t>(kTrailerSize) &&
             ReadAt(fd, static_cast<uint64_t>(info.st_size) - kTrailerSize, tail, kTrailerSize) &&
             ReadTrailerStubLength(tail, static_cast<uint64_t>(info.st_size)).has_value();
  ::close(fd);
  return has;
}

AttachedParse ParseAttachedRecords(std::span<const uint8_t> records, uint32_t stub_length) {
  if (records.size() < kTrailerSize)
    return DamagedAttachedData{"attached data damaged: the stub length points past the end of the file"};
  if (ReadU32(records, records.size() - 4) != stub_length)
    return DamagedAttachedData{"attached data damaged: the trailer does not match"};
  if (ReadU32(records, records.size() - 8) != 0)
    return DamagedAttachedData{"attached data damaged: no end marker before the trailer"};

  const size_t end = records.size() - kTrailerSize;  // where the end marker stands
  AttachedLayout layout;
  layout.stub_length = stub_length;
  size_t pos = 0;
  for (size_t index = 0;; ++index) {
    // The end marker itself is read as a record's name length.
    if (pos > end) return Damaged("a record runs into the trailer", index);
    const uint32_t name_length = ReadU32(records, pos);
    if (name_length == 0) {
      if (pos != end) return Damaged("an end marker before the last record", index);
      return layout;
    }
    if (end - pos < 4) return Damaged("a record runs into the trailer", index);
    pos += 4;
    if (name_length > kMaxRecordNameLength + 1) return Damaged("a record name is too long", index);
    if (end - pos < name_length) return Damaged("a record name runs into the trailer", index);
    if (records[pos + name_length - 1] != 0) return Damaged("a record name is not terminated", index);
    const char* name = reinterpret_cast<const char*>(records.data() + pos);
    AttachedEntry entry;
    entry.spelling.assign(name, ::strnlen(name, name_length));
    entry.name = LowerAscii(entry.spelling);
    pos += name_length;
    if (end - pos < 4) return Damaged("a record's data length runs into the trailer", index);
    entry.size = ReadU32(records, pos);
    pos += 4;
    if (end - pos < entry.size) return Damaged("a record's data runs into the trailer", index);
    entry.offset = pos;
    pos += entry.size;
    layout.entries.push_back(std::move(entry));
  }
}

bool WriteVirtualFile(const std::string& path, std::span<const uint8_t> data) {
  std::string temporary = path + ".XXXXXX";
  int fd = ::mkstemp(temporary.data());
  if (fd < 0) return false;
  bool ok = WriteAll(fd, data.data(), data.size());
  ok = (::close(fd) == 0) && ok;
  if (ok) ok = ::rename(temporary.c_str(), path.c_str()) == 0;
  if (!ok) ::unlink(temporary.c_str());
  return ok;
}

AttachedData::~AttachedData() {
  for (const std::string& path : written_) ::unlink(path.c_str());
}

AttachedData::LoadResult AttachedData::Load(const std::string& path, std::string* error) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (error) *error = "cannot open " + path + ": " + std::strerror(errno);
    return LoadResult::kFailed;
  }
  struct stat info {};
  uint8_t tail[kTrailerSize];
  LoadResult result = LoadResult::kNoRecords;
  if (::fstat(fd, &info) != 0 || info.st_size < 0) {
    if (error) *error = "cannot read " + path;
    result = LoadResult::kFailed;
  } else if (static_cast<uint64_t>(info.st_size) >= kTrailerSize &&
             ReadAt(fd, static_cast<uint64_t>(info.st_size) - kTrailerSize, tail, kTrailerSize)) {
    const uint64_t size = static_cast<uint64_t>(info.st_size);
    if (auto stub_length = ReadTrailerStubLength(tail, size)) {
      std::vector<uint8_t> records;
      if (*stub_length > size) {
        if (error) *error = "attached data damaged: the stub length points past the end of the file";
        result = LoadResult::kFailed;
      } else {
        records.resize(size - *stub_length);
        if (!ReadAt(fd, *stub_length, records.data(), records.size())) {
          if (error) *error = "cannot read the attached data of " + path;
          result = LoadResult::kFailed;
        } else {
          ::close(fd);
          result = LoadRecords(std::move(records), *stub_length, error);
          if (result == LoadResult::kLoaded) game_.file = fs::path(path).filename().string();
          return result;
        }
      }
    }
  }
  ::close(fd);
  return result;
}

AttachedData::LoadResult AttachedData::LoadRecords(std::vector<uint8_t> records, uint32_t stub_length,
                                                   std::string* error) {
  AttachedParse parsed = ParseAttachedRecords(records, stub_length);
  if (auto* damaged = std::get_if<DamagedAttachedData>(&parsed)) {
    if (error) *error = damaged->message;
    return LoadResult::kFailed;
  }
  AttachedLayout& layout = std::get<AttachedLayout>(parsed);
  block_ = std::move(records);
  stub_length_ = layout.stub_length;
  entries_ = std::move(layout.entries);
  game_folder_ = CurrentFolder();
  // The builder's own records are no files of the game's: they are kept
  // apart, and no lookup finds them.
  for (size_t i = entries_.size(); i-- > 1;) {
    const AttachedEntry& entry = entries_[i];
    if (entry.name == kBuildTimeRecordName) {
      build_time_ = DecodeBuildTime(DataOf(entry));
    } else if (entry.name == kProgramNameRecordName) {
      const std::span<const uint8_t> name = DataOf(entry);
      game_.program.assign(name.begin(), name.end());
    } else {
      continue;
    }
    entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(i));
  }
  IndexRecords();
  return LoadResult::kLoaded;
}

void AttachedData::IndexRecords() {
  // The first record is the program, named after the builder's work file;
  // no program asks for it.
  for (size_t i = 1; i < entries_.size(); ++i) {
    const std::string& name = entries_[i].name;
    by_path_[name].push_back(i);
    by_file_name_[std::string(FileNamePart(name))].push_back(i);
    for (size_t slash = name.find('\\'); slash != std::string::npos; slash = name.find('\\', slash + 1))
      folders_.insert(name.substr(0, slash));
  }
}

std::optional<std::string> AttachedData::MakeVirtualFilePath(const AttachedEntry& entry,
                                                             std::string_view extension) {
  if (!SafeExtension(extension)) return std::nullopt;
  std::string path = temp_folder_ + "_virtual." + std::string(extension);
  if (!WriteVirtualFile(path, DataOf(entry))) return std::nullopt;
  written_.insert(path);
  return path;
}

std::optional<std::string> AttachedData::ExtractProgramEntry() {
  if (entries_.empty()) return std::nullopt;
  return MakeVirtualFilePath(entries_.front(), "dat");
}

std::optional<AttachedData::RecordName> AttachedData::RecordNameOfNative(const std::string& path) const {
  if (path.empty() || game_folder_.empty()) return std::nullopt;
  std::optional<std::string> relative = PathFrom(game_folder_, path);
  if (!relative || relative->empty()) return std::nullopt;
  std::string lower = LowerAscii(*relative);
  return RecordName{std::move(*relative), std::move(lower)};
}

std::optional<AttachedData::RecordName> AttachedData::RecordNameOf(std::string_view path) const {
  return RecordNameOfNative(platform::Paths().Resolve(path));
}

std::optional<std::string> AttachedData::OlderEntry(const std::string& folder, const std::string& name,
                                                    const std::string& older) const {
  if (game_folder_.empty()) return std::nullopt;
  const std::optional<std::string> from = PathFrom(game_folder_, folder.empty() ? std::string(".") : folder);
  if (!from) return std::nullopt;
  const std::string prefix = from->empty() ? std::string() : LowerAscii(*from) + '\\';
  const auto holds = [&](const std::string& entry) {
    const std::string record_name = prefix + LowerAscii(entry);
    return by_path_.count(record_name) > 0 || folders_.count(record_name) > 0;
  };
  if (holds(name) || !holds(older)) return std::nullopt;
  return older;
}

const AttachedEntry* AttachedData::MatchRecord(const RecordName& wanted, bool by_name) const {
  const auto& index = by_name ? by_file_name_ : by_path_;
  const auto found = index.find(wanted.lower);
  if (found == index.end()) return nullptr;
  for (size_t i : found->second) {
    const std::string& spelling = entries_[i].spelling;
    if ((by_name ? FileNamePart(spelling) : std::string_view(spelling)) == wanted.spelled) return &entries_[i];
  }
  return &entries_[found->second.front()];
}

bool AttachedData::HasCaseTwin(const AttachedEntry& entry) const {
  const auto found = by_path_.find(entry.name);
  if (found == by_path_.end()) return false;
  for (size_t i : found->second)
    if (entries_[i].spelling != entry.spelling) return true;
  return false;
}

const AttachedEntry* AttachedData::CarriedFileAt(const std::string& path) const {
  const std::optional<RecordName> record_name = RecordNameOfNative(path);
  return record_name ? MatchRecord(*record_name, false) : nullptr;
}

bool AttachedData::StillCarriesFolder(const std::string& native, std::string_view record_name) const {
  return HoldsFolder(record_name) && !IsKeptOnDisk(native, game_);
}

bool AttachedData::HoldsFolder(std::string_view record_name) const {
  return folders_.count(std::string(record_name)) > 0;
}

bool AttachedData::DiskHasTakenOver(const std::string& disk_path, const AttachedEntry& entry) const {
  if (disk_path.empty()) return false;
  const bool exact_case = HasCaseTwin(entry);
  if (IsKeptOnDisk(disk_path, game_, exact_case)) return true;
  struct stat info {};
  if (!build_time_ || ::stat(disk_path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  const int64_t changed = static_cast<int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
  if (changed <= *build_time_) return false;
  // Changed since the build, though not by the game (whose writes are kept
  // at once): the game's own from now on, also for a later build of the
  // game, whose build time is later than this file. Where the list cannot
  // be written the file's time still says so for this build.
  zv::KeepOnDisk(disk_path, game_, exact_case);
  return true;
}

std::optional<std::string> AttachedData::Serve(const AttachedEntry& entry, const std::string& record_name, bool by_name,
                                               const std::string& disk_path, std::string_view extension) {
  if (DiskHasTakenOver(disk_path, entry)) return std::nullopt;
  // A match whose file cannot be written is passed over; a later record of
  // the same name may still serve.
  if (auto made = MakeVirtualFilePath(entry, extension)) return made;
  const auto& index = by_name ? by_file_name_ : by_path_;
  for (size_t i : index.at(record_name)) {
    if (&entries_[i] == &entry) continue;
    if (auto made = MakeVirtualFilePath(entries_[i], extension)) return made;
  }
  return std::nullopt;
}

std::optional<std::string> AttachedData::ServedPath(std::string_view name, const std::string& native,
                                                    std::string_view extension) {
  if (NamesFolder(name)) return std::nullopt;
  const std::optional<RecordName> wanted = RecordNameOfNative(native);
  const AttachedEntry* entry = wanted ? MatchRecord(*wanted, false) : nullptr;
  if (!entry) return std::nullopt;
  return Serve(*entry, wanted->lower, false, native, extension);
}

bool AttachedData::ResolveVirtualFile(std::string& path, std::string_view extension) {
  if (NamesFolder(path)) return false;
  std::optional<std::string> served = ServedPath(path, platform::Paths().Resolve(path), extension);
  if (served) path = std::move(*served);
  return served.has_value();
}

bool AttachedData::ResolveVirtualFileByName(std::string& path, std::string_view extension,
                                            std::string_view disk_name) {
  if (NamesFolder(path)) return false;
  // A name from a model file may hold any mark: one no name may hold finds
  // no record by the system's spelling, and the program's bytes are tried.
  const AttachedEntry* entry = nullptr;
  std::string record_name;
  const std::optional<std::string> system = platform::CheckedSystemNameOf(path);
  for (const std::string& name : {system.value_or(path), path}) {
    record_name = LowerAscii(name);
    if ((entry = MatchRecord(RecordName{name, record_name}, true))) break;
  }
  if (!entry) return false;
  const std::string disk_path = platform::Paths().Resolve(disk_name.empty() ? std::string_view(path) : disk_name);
  std::optional<std::string> served = Serve(*entry, record_name, true, disk_path, extension);
  if (served) path = std::move(*served);
  return served.has_value();
}

bool AttachedData::Carries(std::string_view path) const {
  if (NamesFolder(path)) return false;
  const std::optional<RecordName> wanted = RecordNameOf(path);
  return wanted && MatchRecord(*wanted, false);
}

bool AttachedData::Serves(std::string_view path) const {
  if (NamesFolder(path)) return false;
  const std::string native = platform::Paths().Resolve(path);
  const std::optional<RecordName> wanted = RecordNameOfNative(native);
  const AttachedEntry* entry = wanted ? MatchRecord(*wanted, false) : nullptr;
  return entry && !DiskHasTakenOver(native, *entry);
}

bool AttachedData::CarriesFolder(std::string_view path) const {
  const std::string native = platform::Paths().Resolve(path);
  const std::optional<RecordName> record_name = RecordNameOfNative(native);
  return record_name && StillCarriesFolder(native, record_name->lower);
}

std::vector<CarriedListing> AttachedData::ListFolder(const std::string& folder) const {
  std::vector<CarriedListing> listed;
  const std::optional<std::string> from = game_folder_.empty() ? std::nullopt : PathFrom(game_folder_, folder);
  if (!from) return listed;
  const std::string prefix = from->empty() ? std::string() : LowerAscii(*from) + '\\';
  // Folders once in any letter case; files as each is spelled, so two whose
  // names differ only in case both show, as on disk.
  const auto already = [&](std::string_view name, bool is_folder) {
    for (const CarriedListing& item : listed)
      if (is_folder || item.folder ? platform::EqualNoCase(item.name, name) : item.name == name) return true;
    return false;
  };
  for (size_t i = 1; i < entries_.size(); ++i) {
    const AttachedEntry& entry = entries_[i];
    if (!entry.name.starts_with(prefix)) continue;
    const std::string_view rest = std::string_view(entry.spelling).substr(prefix.size());
    const size_t slash = rest.find('\\');
    const std::string_view name = rest.substr(0, slash);
    if (name.empty() || already(name, slash != std::string_view::npos)) continue;
    if (slash != std::string_view::npos) {
      if (!IsKeptOnDisk(folder + "/" + std::string(name), game_)) listed.push_back({std::string(name), true, 0});
    } else if (!DiskHasTakenOver(DiskPathOf(folder + "/" + std::string(name)), entry)) {
      listed.push_back({std::string(name), false, entry.size});
    }
  }
  return listed;
}

std::string AttachedData::DiskPathOf(const std::string& native) const {
  // As the program's name of it finds it: a file on disk named so in other
  // letter case is the same file.
  const std::optional<std::string> name = platform::ProgramNameOf(native);
  return name ? platform::Paths().Resolve(*name) : native;
}

bool AttachedData::KeepOnDisk(std::string_view path) const {
  const std::string native = platform::Paths().Resolve(path);
  const AttachedEntry* entry = CarriedFileAt(native);
  return zv::KeepOnDisk(native, game_, entry && HasCaseTwin(*entry));
}

bool AttachedData::KeepPassedOver(const std::string& path, const AttachedEntry& entry) const {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return true;
  if (DiskHasTakenOver(path, entry) || HoldsJust(path, DataOf(entry))) return true;
  return MoveToKeptName(path);
}

bool AttachedData::Preparing(const std::string& path) {
  if (putting_record_) return true;
  const fs::path folder = fs::path(path).parent_path();
  if (!folder.empty()) {
    const std::optional<RecordName> record_name = RecordNameOfNative(folder.string());
    if (record_name && StillCarriesFolder(folder.string(), record_name->lower)) {
      std::error_code ec;
      fs::create_directories(folder, ec);
      if (ec) {
        errno = ec.value();
        return false;
      }
    }
  }
  const AttachedEntry* entry = CarriedFileAt(path);
  return !entry || KeepPassedOver(path, *entry);
}

bool AttachedData::Publishing(const std::string& path, bool replaces) {
  if (putting_record_) return true;
  const AttachedEntry* entry = CarriedFileAt(path);
  if (!entry) return true;
  const bool exact_case = HasCaseTwin(*entry);
  if (IsKeptOnDisk(path, game_, exact_case)) return true;
  // Listed before the file takes the name, so that no moment leaves the
  // game's file on disk unlisted. A save that replaces the name finds the
  // record's bytes there first, so that a kill or a failure between the
  // two leaves what the game read; a file that takes the name only if it is
  // free has the line taken back if it does not take it.
  struct stat info {};
  bool put = replaces && ::lstat(path.c_str(), &info) != 0 && errno == ENOENT;
  if (put && !PutRecordOnDisk(path, *entry)) {
    // A file that came there meanwhile is replaced by the save as any is.
    if (errno != EEXIST) return false;
    put = false;
  }
  if (!zv::KeepOnDisk(path, game_, exact_case)) {
    // The record's bytes go again: the name is as it was.
    const int error = errno;
    if (put) ::unlink(path.c_str());
    errno = error;
    return false;
  }
  if (!put) publishing_.insert(path);
  return true;
}

bool AttachedData::PutRecordOnDisk(const std::string& path, const AttachedEntry& entry) {
  putting_record_ = true;
  std::optional<platform::FileSave> save = platform::FileSave::Begin(path, platform::ExistingFile::kKeep);
  // The save this one makes room for syncs the folder.
  if (save) save->LeaveFolderToNextSave();
  const bool put = save && save->Write(DataOf(entry)) && save->Finish();
  putting_record_ = false;
  return put;
}

void AttachedData::Published(const std::string& path, bool published) {
  if (putting_record_) return;
  if (publishing_.erase(path) == 0 || published) return;
  const int error = errno;  // the write's own failure is what the caller reports
  UnkeepOnDisk(path, game_);
  errno = error;
}

bool AttachedData::Removing(const std::string& path) {
  if (putting_record_) return true;
  if (const AttachedEntry* entry = CarriedFileAt(path)) {
    return KeepPassedOver(path, *entry) && zv::KeepOnDisk(path, game_, HasCaseTwin(*entry));
  }
  const std::optional<RecordName> record_name = RecordNameOfNative(path);
  if (!record_name || !HoldsFolder(record_name->lower)) return true;
  return zv::KeepOnDisk(path, game_);
}

std::string ReadPath(AttachedData* attached, std::string_view name, std::string_view extension) {
  // One look for the name on disk serves both: the record is found by it,
  // and it is what the disk holds when no record serves.
  std::string native = platform::Paths().Resolve(name);
  if (attached) {
    if (std::optional<std::string> served = attached->ServedPath(name, native, extension)) return *served;
  }
  return native;
}

}  // namespace zv
