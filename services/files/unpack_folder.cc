#include "services/files/unpack_folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/paths/file_save.h"
#include "platform/paths/path_resolver.h"
#include "platform/paths/path_text.h"

namespace zv::files {
namespace {

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

std::string ProcPath(int fd) { return "/proc/self/fd/" + std::to_string(fd); }

// The lowest in byte order of the names that match `name` without regard
// to case, the name itself first.
std::optional<std::string> Lookup(const std::unordered_map<std::string, std::vector<std::string>>& names,
                                  const std::string& name) {
  const auto found = names.find(platform::AsciiLower(name));
  if (found == names.end()) return std::nullopt;
  const std::vector<std::string>& spellings = found->second;
  if (std::find(spellings.begin(), spellings.end(), name) != spellings.end()) return name;
  return *std::min_element(spellings.begin(), spellings.end());
}

bool IsLinkAt(int folder, const std::string& name) {
  struct stat st;
  return ::fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode);
}

void SyncFolderFd(int fd) {
  while (::fsync(fd) != 0 && errno == EINTR) {
  }
}

}  // namespace

std::optional<UnpackFolder> UnpackFolder::Open(const std::string& native) {
  UniqueFd root(::open(native.empty() ? "." : native.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!root.Valid()) return std::nullopt;
  UnpackFolder folder;
  folder.native_ = native.empty() ? "." : native;
  // Files are saved by their folder's descriptor where the system names
  // descriptors; elsewhere by path, each folder having been checked as it
  // was entered.
  folder.by_descriptor_ = ::access("/proc/self/fd", X_OK) == 0;
  folder.entered_.push_back({"", std::move(root)});
  return folder;
}

UnpackFolder::Names& UnpackFolder::NamesOf(const Entered& folder) {
  const auto [at, added] = names_.try_emplace(folder.path);
  if (!added) return at->second;
  const int listing = ::dup(folder.fd.Get());
  DIR* dir = listing >= 0 ? ::fdopendir(listing) : nullptr;
  if (!dir) {
    if (listing >= 0) ::close(listing);
    return at->second;
  }
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") at->second[platform::AsciiLower(name)].push_back(name);
  }
  ::closedir(dir);
  return at->second;
}

std::optional<std::string> UnpackFolder::Match(const Entered& folder, const PackedPart& part) {
  const Names& names = NamesOf(folder);
  if (std::optional<std::string> found = Lookup(names, part.name)) return found;
  if (part.older == part.name) return std::nullopt;
  return Lookup(names, part.older);
}

void UnpackFolder::LeaveBelow(size_t depth) {
  while (entered_.size() > depth + 1) {
    if (entered_.back().took_files) SyncFolderFd(entered_.back().fd.Get());
    entered_.pop_back();
  }
}

bool UnpackFolder::Enter(size_t depth, const PackedPart& part, Result& result) {
  const Entered& parent = entered_[depth];
  const int parent_fd = parent.fd.Get();
  const std::optional<std::string> found = Match(parent, part);
  const std::string name = found.value_or(part.name);
  const std::string path = parent.path.empty() ? name : parent.path + "/" + name;
  if (entered_.size() > depth + 1 && entered_[depth + 1].path == path) return true;
  LeaveBelow(depth);
  if (!found) {
    if (::mkdirat(parent_fd, name.c_str(), 0777) != 0) {
      result.outcome = Outcome::kFailed;
      result.error = errno;
      return false;
    }
    names_[path];  // made empty: nothing to read
    names_[entered_[depth].path][platform::AsciiLower(name)].push_back(name);
    made_.push_back(path);
    entered_[depth].took_files = true;  // its new name is synced with it
  }
  UniqueFd fd(::openat(parent_fd, name.c_str(), kFolderFlags));
  if (!fd.Valid()) {
    result.error = errno;
    result.outcome = IsLinkAt(parent_fd, name) ? Outcome::kThroughLink : Outcome::kFailed;
    return false;
  }
  entered_.push_back({path, std::move(fd)});
  return true;
}

std::string UnpackFolder::SavePath(const std::string& name) const {
  const Entered& folder = entered_.back();
  if (by_descriptor_) return ProcPath(folder.fd.Get()) + "/" + name;
  return platform::JoinPath(folder.path.empty() ? native_ : native_ + "/" + folder.path, name);
}

UnpackFolder::Result UnpackFolder::MakeFile(const PackedPart& part, const RecordReader& read) {
  Entered& folder = entered_.back();
  if (const std::optional<std::string> found = Match(folder, part)) {
    Result taken;
    taken.outcome = Outcome::kTaken;
    taken.link = IsLinkAt(folder.fd.Get(), *found);
    taken.record = read({});
    return taken;
  }
  // The name must be free when the file takes it: nothing there is
  // followed or replaced, whatever came meanwhile.
  std::optional<platform::FileSave> save =
      platform::FileSave::Begin(SavePath(part.name), platform::ExistingFile::kNewName);
  int error = save ? 0 : errno;
  if (save) save->LeaveFolderToNextSave();
  Result result;
  result.record = read([&](std::span<const uint8_t> part_bytes) {
    if (!save || save->Write(part_bytes)) return save.has_value();
    error = errno;
    return false;
  });
  if (!result.record.whole) {
    const bool failed = result.record.status.failed;
    result.outcome = failed ? Outcome::kFailed : Outcome::kCutShort;
    result.error = failed ? EIO : 0;
    return result;
  }
  if (error == 0 && !save->Finish()) error = errno;
  if (error == EEXIST) {
    // A name that came meanwhile.
    result.outcome = Outcome::kTaken;
    result.link = IsLinkAt(folder.fd.Get(), part.name);
    return result;
  }
  if (error != 0) {
    result.outcome = Outcome::kFailed;
    result.error = error;
    return result;
  }
  NamesOf(folder)[platform::AsciiLower(part.name)].push_back(part.name);
  folder.took_files = true;
  return result;
}

UnpackFolder::Result UnpackFolder::Unpack(const std::vector<PackedPart>& parts, const RecordReader& read) {
  Result result;
  for (size_t depth = 0; depth + 1 < parts.size(); ++depth) {
    if (!Enter(depth, parts[depth], result)) {
      result.record = read({});
      failed_ = failed_ || result.outcome == Outcome::kFailed;
      return result;
    }
  }
  LeaveBelow(parts.size() - 1);
  result = MakeFile(parts.back(), read);
  failed_ = failed_ || result.outcome == Outcome::kFailed || result.outcome == Outcome::kCutShort;
  return result;
}

UniqueFd UnpackFolder::OpenBeneath(const std::string& path) const {
  UniqueFd fd(::dup(entered_.front().fd.Get()));
  for (size_t start = 0; fd.Valid() && start < path.size();) {
    size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    fd = UniqueFd(::openat(fd.Get(), path.substr(start, end - start).c_str(), kFolderFlags));
    start = end + 1;
  }
  return fd;
}

void UnpackFolder::Finish() {
  LeaveBelow(0);
  if (entered_.front().took_files) SyncFolderFd(entered_.front().fd.Get());
  if (!failed_) return;
  for (auto made = made_.rbegin(); made != made_.rend(); ++made) {
    const std::string parent = platform::FolderPart(*made);
    const UniqueFd parent_fd = OpenBeneath(parent);
    if (parent_fd.Valid()) ::unlinkat(parent_fd.Get(), made->substr(made->rfind('/') + 1).c_str(), AT_REMOVEDIR);
  }
}

}  // namespace zv::files
