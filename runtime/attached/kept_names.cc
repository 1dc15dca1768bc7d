#include "runtime/attached/kept_names.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "platform/paths/file_lock.h"
#include "platform/paths/path_resolver.h"

namespace zv {
namespace {

namespace fs = std::filesystem;

fs::path AbsoluteFile(const std::string& path) {
  std::error_code ec;
  fs::path absolute = fs::absolute(fs::path(path), ec);
  return ec ? fs::path(path).lexically_normal() : absolute.lexically_normal();
}

// A game's name as a list holds it: a tab or a line end would split it.
std::string ListedGame(std::string_view game) {
  std::string listed(game);
  for (char& c : listed)
    if (c == '\t' || c == '\n' || c == '\r') c = ' ';
  return listed;
}

// The name a game's new lines give it.
std::string LineGame(const KeptGame& game) { return ListedGame(game.program.empty() ? game.file : game.program); }

// One line of a list: the game it is for (none: every game) and the path.
struct Line {
  bool every_game = false;
  std::string game;
  std::string path;
};

// A list as this process has read it, by its lines' paths lower-cased.
// Lists only grow at their end, so what was read stays true while the file
// is the same one and no shorter; only what was added since is read.
struct KnownList {
  dev_t device = 0;
  ino_t inode = 0;
  off_t read_to = 0;    // the end of the last whole line read
  off_t seen_size = 0;  // the file's size when it was read
  timespec changed {};
  bool cut_line = false;  // the file ends in a line without its line end
  std::unordered_map<std::string, std::vector<Line>> lines;
};

std::mutex known_mutex;
std::unordered_map<std::string, KnownList>& KnownLists() {
  static std::unordered_map<std::string, KnownList> lists;
  return lists;
}

void TakeLines(KnownList& list, std::string_view text) {
  while (!text.empty()) {
    const size_t end = text.find('\n');
    if (end == std::string_view::npos) break;
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end + 1);
    list.read_to += static_cast<off_t>(end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    Line taken;
    const size_t tab = line.find('\t');
    taken.every_game = tab == std::string_view::npos;
    if (!taken.every_game) {
      taken.game = line.substr(0, tab);
      line.remove_prefix(tab + 1);
    }
    taken.path = line;
    if (!taken.path.empty()) list.lines[platform::AsciiLower(taken.path)].push_back(std::move(taken));
  }
}

bool ReadFrom(int fd, off_t from, std::string& text) {
  char buffer[65536];
  for (;;) {
    const ssize_t got = ::pread(fd, buffer, sizeof buffer, from);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) return true;
    text.append(buffer, static_cast<size_t>(got));
    from += got;
  }
}

bool SameTime(const timespec& a, const timespec& b) { return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec; }

// The list at `list_path` brought up to date, or null when there is none.
// The caller holds known_mutex.
const KnownList* Current(const std::string& list_path) {
  std::unordered_map<std::string, KnownList>& known = KnownLists();
  struct stat info {};
  if (::stat(list_path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
    known.erase(list_path);
    return nullptr;
  }
  KnownList& list = known[list_path];
  const bool same_file = list.device == info.st_dev && list.inode == info.st_ino;
  if (same_file && info.st_size == list.seen_size && SameTime(list.changed, info.st_mtim)) return &list;
  // Another file, or one changed other than by a line added at its end.
  if (!same_file || info.st_size <= list.seen_size) {
    list = KnownList();
    list.device = info.st_dev;
    list.inode = info.st_ino;
  }
  const int fd = ::open(list_path.c_str(), O_RDONLY | O_CLOEXEC);
  std::string added;
  const bool read = fd >= 0 && ReadFrom(fd, list.read_to, added);
  if (fd >= 0) ::close(fd);
  if (!read) {
    known.erase(list_path);
    return nullptr;
  }
  const off_t before = list.read_to;
  TakeLines(list, added);
  list.cut_line = list.read_to - before < static_cast<off_t>(added.size());
  list.seen_size = before + static_cast<off_t>(added.size());
  list.changed = info.st_mtim;
  return &list;
}

bool ForGame(const Line& line, const KeptGame& game) {
  if (line.every_game || (game.program.empty() && game.file.empty())) return true;
  return (!game.program.empty() && line.game == ListedGame(game.program)) ||
         (!game.file.empty() && line.game == ListedGame(game.file));
}

// True when a line of `list` names `relative`, or a folder above it, for
// `game`.
bool Names(const KnownList& list, std::string_view relative, const KeptGame& game, bool exact_case) {
  for (size_t end = relative.find('/');; end = relative.find('/', end + 1)) {
    const std::string_view listed = relative.substr(0, end);
    const auto found = list.lines.find(platform::AsciiLower(listed));
    if (found != list.lines.end())
      for (const Line& line : found->second)
        if (ForGame(line, game) && (!exact_case || line.path == listed)) return true;
    if (end == std::string_view::npos) return false;
  }
}

// The nearest existing folder that holds `file`, and the file's path from it.
std::pair<fs::path, std::string> ListPlace(const fs::path& file) {
  fs::path folder = file.parent_path();
  std::error_code ec;
  while (!fs::is_directory(folder, ec) && folder != folder.parent_path()) folder = folder.parent_path();
  return {folder, file.lexically_relative(folder).generic_string()};
}

// Writes all of `text`; `done` counts what was written. False, errno set,
// when it could not be.
bool WriteText(int fd, std::string_view text, size_t& done) {
  done = 0;
  while (done < text.size()) {
    const ssize_t put = ::write(fd, text.data() + done, text.size() - done);
    if (put < 0 && errno == EINTR) continue;
    if (put == 0) errno = EIO;
    if (put <= 0) return false;
    done += static_cast<size_t>(put);
  }
  return true;
}

bool AppendLine(const std::string& list_path, const std::string& line) {
  const int fd = ::open(list_path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat before {};
  size_t done = 0;
  bool ok = ::fstat(fd, &before) == 0 && WriteText(fd, line, done);
  int error = ok ? 0 : errno;
  // No part of a line stays: the next one would join it.
  if (!ok && done > 0 && ::ftruncate(fd, before.st_size) != 0) error = errno;
  if (::close(fd) != 0 && ok) {
    ok = false;
    error = errno;
  }
  errno = error;
  return ok;
}

// Writes `text` as the whole list, through a new file that takes its name
// with the old one's mode.
bool ReplaceList(const std::string& list_path, std::string_view text) {
  struct stat info {};
  const mode_t mode = ::stat(list_path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0666;
  std::string temporary = list_path + ".XXXXXX";
  const int fd = ::mkstemp(temporary.data());
  if (fd < 0) return false;
  size_t done = 0;
  bool ok = ::fchmod(fd, mode) == 0 && WriteText(fd, text, done);
  int error = ok ? 0 : errno;
  if (::close(fd) != 0 && ok) {
    ok = false;
    error = errno;
  }
  if (ok && ::rename(temporary.c_str(), list_path.c_str()) != 0) {
    ok = false;
    error = errno;
  }
  if (!ok) ::unlink(temporary.c_str());
  errno = error;
  return ok;
}

}  // namespace

bool IsKeptOnDisk(const std::string& path, const KeptGame& game, bool exact_case) {
  const fs::path file = AbsoluteFile(path);
  const std::lock_guard<std::mutex> hold(known_mutex);
  // Every folder above is asked, not only the nearest: a folder made after
  // a deletion was listed above it does not bring the file back.
  for (fs::path folder = file.parent_path();; folder = folder.parent_path()) {
    const KnownList* list = Current((folder / kKeptListName).string());
    if (list && Names(*list, file.lexically_relative(folder).generic_string(), game, exact_case)) return true;
    if (folder == folder.parent_path()) return false;
  }
}

bool IsKeptOnDisk(const std::string& path, std::string_view game) {
  return IsKeptOnDisk(path, KeptGame{std::string(game), {}});
}

bool KeepOnDisk(const std::string& path, const KeptGame& game, bool exact_case) {
  const auto [folder, relative] = ListPlace(AbsoluteFile(path));
  if (relative.find_first_of("\r\n") != std::string::npos) {
    errno = EINVAL;
    return false;
  }
  const std::string list_path = (folder / kKeptListName).string();
  // Two copies of a game, or two games, may keep names at once: each sees
  // the line the other added.
  const platform::FileLock lock(list_path);
  if (!lock.Held()) return false;
  bool cut_line = false;
  {
    const std::lock_guard<std::mutex> hold(known_mutex);
    const KnownList* list = Current(list_path);
    if (list && Names(*list, relative, game, exact_case)) return true;
    cut_line = list && list->cut_line;
  }
  const std::string listed = LineGame(game);
  // A kill cannot lose a line once it is written; written before the save it
  // is for takes the name, it never leaves that save unlisted. The save's
  // own sync carries it to the disk (a journal commits them in order).
  return AppendLine(list_path, (cut_line ? "\n" : "") + (listed.empty() ? relative : listed + '\t' + relative) + '\n');
}

bool KeepOnDisk(const std::string& path, std::string_view game) {
  return KeepOnDisk(path, KeptGame{std::string(game), {}});
}

bool UnkeepOnDisk(const std::string& path, const KeptGame& game) {
  const auto [folder, relative] = ListPlace(AbsoluteFile(path));
  const std::string list_path = (folder / kKeptListName).string();
  const platform::FileLock lock(list_path);
  if (!lock.Held()) return false;
  std::string text;
  const int fd = ::open(list_path.c_str(), O_RDONLY | O_CLOEXEC);
  const bool read = fd >= 0 && ReadFrom(fd, 0, text);
  if (fd >= 0) ::close(fd);
  if (!read) return false;
  // The last line that names it so for the game goes; a line cut short at
  // the end is kept as it was.
  const std::string listed = LineGame(game);
  const std::string line = (listed.empty() ? relative : listed + '\t' + relative) + '\n';
  size_t found = std::string::npos;
  for (size_t at = 0; at < text.size();) {
    const size_t end = text.find('\n', at);
    if (end == std::string::npos) break;
    if (text.compare(at, end + 1 - at, line) == 0) found = at;
    at = end + 1;
  }
  if (found == std::string::npos) return true;
  text.erase(found, line.size());
  const bool replaced = ReplaceList(list_path, text);
  const std::lock_guard<std::mutex> hold(known_mutex);
  KnownLists().erase(list_path);
  return replaced;
}

}  // namespace zv
