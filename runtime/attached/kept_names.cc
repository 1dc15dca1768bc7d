#include "runtime/attached/kept_names.h"

#include <filesystem>
#include <fstream>

#include "platform/paths/file_lock.h"
#include "platform/paths/file_save.h"
#include "platform/paths/path_resolver.h"

namespace zv {
namespace {

namespace fs = std::filesystem;

fs::path AbsoluteFile(const std::string& path) {
  std::error_code ec;
  fs::path absolute = fs::absolute(fs::path(path), ec);
  return ec ? fs::path(path).lexically_normal() : absolute.lexically_normal();
}

// The lines of the list in `folder`; none when it has no list.
std::string ReadList(const fs::path& folder) {
  std::ifstream in(folder / kKeptListName, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// A game's name as a list holds it: a tab or a line end would split it.
std::string ListedGame(std::string_view game) {
  std::string listed(game);
  for (char& c : listed)
    if (c == '\t' || c == '\n' || c == '\r') c = ' ';
  return listed;
}

// True when a listed name is `relative` or a folder that holds it.
bool Covers(std::string_view listed, std::string_view relative) {
  if (listed.empty() || relative.size() < listed.size()) return false;
  if (!platform::EqualNoCase(relative.substr(0, listed.size()), listed)) return false;
  return relative.size() == listed.size() || relative[listed.size()] == '/';
}

// True when a line of `list` names `relative`, or a folder above it, for
// `game`.
bool Names(std::string_view list, std::string_view relative, std::string_view game) {
  while (!list.empty()) {
    const size_t end = list.find('\n');
    std::string_view line = list.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const size_t tab = line.find('\t');
    const bool for_game = tab == std::string_view::npos || game.empty() || line.substr(0, tab) == game;
    if (tab != std::string_view::npos) line.remove_prefix(tab + 1);
    if (for_game && Covers(line, relative)) return true;
    if (end == std::string_view::npos) break;
    list.remove_prefix(end + 1);
  }
  return false;
}

}  // namespace

bool IsKeptOnDisk(const std::string& path, std::string_view game) {
  const fs::path file = AbsoluteFile(path);
  const std::string listed = ListedGame(game);
  // Every folder above is asked, not only the nearest: a folder made after
  // a deletion was listed above it does not bring the file back.
  for (fs::path folder = file.parent_path();; folder = folder.parent_path()) {
    if (Names(ReadList(folder), file.lexically_relative(folder).generic_string(), listed)) return true;
    if (folder == folder.parent_path()) return false;
  }
}

bool KeepOnDisk(const std::string& path, std::string_view game) {
  const fs::path file = AbsoluteFile(path);
  fs::path folder = file.parent_path();
  std::error_code ec;
  while (!fs::is_directory(folder, ec) && folder != folder.parent_path()) folder = folder.parent_path();
  const std::string relative = file.lexically_relative(folder).generic_string();
  const std::string listed = ListedGame(game);
  const std::string list_path = (folder / kKeptListName).string();
  // Two copies of a game, or two games, may keep names at once: each reads
  // the list the other saved.
  const platform::FileLock lock(list_path);
  std::string list = ReadList(folder);
  if (Names(list, relative, listed)) return true;
  if (!list.empty() && list.back() != '\n') list += '\n';
  list += listed.empty() ? relative + '\n' : listed + '\t' + relative + '\n';
  return platform::SaveFile(list_path, list);
}

}  // namespace zv
