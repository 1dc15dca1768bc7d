#include "platform/paths/path_resolver.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <vector>

#include "platform/paths/path_text.h"
#include "platform/text/system_text.h"

namespace zv::platform {
namespace {

bool Exists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

// The entry of `folder` (a path ending in "/", or empty for the working
// folder) that a component of a name leads to: the one spelled `name` (the
// system's spelling), else the one that matches it without regard to case;
// else, as builds before the UTF-8 names wrote it, the one spelled `older`
// (the program's own bytes), else the one that matches that. Of several
// that match without regard to case the lowest in byte order, so the answer
// does not depend on the order the file system lists them in. The folder is
// read once at most, so a name that is not there costs one look at it.
std::optional<std::string> FindEntry(const std::string& folder, const std::string& name, const std::string& older) {
  if (Exists(folder + name)) return name;
  DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
  if (!dir) return std::nullopt;
  const bool has_older = older != name;
  std::optional<std::string> by_case, older_spelled, older_by_case;
  const auto keep_lowest = [](std::optional<std::string>& best, std::string_view candidate) {
    if (!best || candidate < *best) best = std::string(candidate);
  };
  while (const dirent* entry = ::readdir(dir)) {
    const std::string_view candidate = entry->d_name;
    if (EqualNoCase(candidate, name)) keep_lowest(by_case, candidate);
    if (!has_older) continue;
    if (candidate == older) older_spelled = older;
    if (EqualNoCase(candidate, older)) keep_lowest(older_by_case, candidate);
  }
  ::closedir(dir);
  if (by_case) return by_case;
  return older_spelled ? older_spelled : older_by_case;
}

// The system's spelling of a name or path the program gave. A mark no name
// a program makes may hold, but one that is there may (a control character
// the page lacks), is taken with `reaches` set: the name must then be found.
struct SystemSpelling {
  std::string name;
  bool reaches = false;
  std::string refusal;  // why a name to be made may not hold it
};
SystemSpelling SpellForSystem(std::string_view text, std::string_view whole) {
  SystemSpelling spelled;
  if (std::optional<std::string> name = CheckedSystemNameOf(text, &spelled.refusal)) {
    spelled.name = std::move(*name);
    return spelled;
  }
  std::optional<std::string> reaching = CheckedSystemNameOf(text, nullptr, MarkReach::kReaches);
  if (!reaching) throw RefusedName(whole, spelled.refusal);
  spelled.name = std::move(*reaching);
  spelled.reaches = true;
  return spelled;
}

}  // namespace

std::optional<std::string> FindEntryIgnoringCase(const std::string& folder, const std::string& name) {
  return FindEntry(folder, name, name);
}

std::vector<std::string> EntriesIgnoringCase(const std::string& folder, const std::string& name) {
  std::vector<std::string> found;
  DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
  if (!dir) return found;
  while (const dirent* entry = ::readdir(dir))
    if (EqualNoCase(entry->d_name, name)) found.emplace_back(entry->d_name);
  ::closedir(dir);
  std::sort(found.begin(), found.end());
  return found;
}

std::string AsciiLower(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  return out;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x + 32);
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y + 32);
    if (x != y) return false;
  }
  return true;
}

PathResolver::PathResolver() { drives_.fill("/"); }

void PathResolver::MapDrive(char letter, std::string root) {
  if (letter >= 'a' && letter <= 'z') letter = static_cast<char>(letter - 32);
  if (letter < 'A' || letter > 'Z') return;
  if (root.empty() || root.back() != '/') root += '/';
  drives_[letter - 'A'] = std::move(root);
}

std::string_view PathResolver::DriveRoot(std::string_view& program_path) const {
  if (program_path.size() < 2 || program_path[1] != ':') return {};
  char letter = program_path[0];
  if (letter >= 'a' && letter <= 'z') letter = static_cast<char>(letter - 32);
  if (letter < 'A' || letter > 'Z') return {};
  program_path.remove_prefix(2);
  while (!program_path.empty() && (program_path.front() == '\\' || program_path.front() == '/'))
    program_path.remove_prefix(1);
  return drives_[letter - 'A'];
}

std::string PathResolver::ToNative(std::string_view program_path) const {
  std::string path(DriveRoot(program_path));
  path += program_path;
  for (char& c : path)
    if (c == '\\') c = '/';
  return path;
}

std::string PathResolver::Resolve(std::string_view program_path) const { return ResolveFrom({}, program_path); }

std::string PathResolver::ResolveFrom(const std::string& folder, std::string_view program_path) const {
  if (program_path.empty()) return {};
  // A mark that stands for what no name may hold is refused here, before
  // anything is looked for, made or opened under the name.
  SpellForSystem(program_path, program_path);
  const std::string_view root = DriveRoot(program_path);
  std::string rest(program_path);
  for (char& c : rest)
    if (c == '\\') c = '/';
  // The part of the path the system gave, "" or ending in "/".
  std::string base(root);
  if (root.empty() && !rest.starts_with('/') && !folder.empty()) base = JoinPath(folder, "");
  // From a folder the disk does not hold, ".." is taken by name: the
  // system cannot go through a folder that is not there.
  if (base.empty() && !rest.starts_with('/') && !layer_folder_.empty())
    rest = (std::filesystem::path(ProgramTextOf(layer_folder_)) / rest).lexically_normal().string();
  const std::string spelled = base + SpellForSystem(rest, program_path).name;
  if (Exists(spelled)) return spelled;
  std::string out = base.empty() && rest.starts_with('/') ? "/" : base;

  std::vector<std::string> parts;
  for (size_t pos = 0; pos <= rest.size();) {
    size_t slash = rest.find('/', pos);
    if (slash == std::string::npos) slash = rest.size();
    parts.push_back(rest.substr(pos, slash - pos));
    pos = slash + 1;
  }
  bool matching = true;
  for (size_t i = 0; i < parts.size(); ++i) {
    const std::string& part = parts[i];
    if (part.empty()) continue;
    const SystemSpelling spelled_part = SpellForSystem(part, program_path);
    std::string name = spelled_part.name;
    std::optional<std::string> found;
    if (matching && part != "." && part != "..") {
      // A name an older build wrote in the program's own bytes is still
      // that file, for as long as no UTF-8 name stands in front of it.
      found = FindEntry(out, name, part);
      // So is a file a built game carries under such a name.
      if (!found && layer_ && name != part) found = layer_->OlderEntry(out, name, part);
      if (found)
        name = std::move(*found);
      else
        matching = false;
    }
    if (spelled_part.reaches && !found)
      throw RefusedName(program_path, spelled_part.refusal + ", which only a name that is there may hold");
    out += name;
    if (i + 1 < parts.size()) out += '/';
  }
  return out;
}

PathResolver& Paths() {
  static PathResolver resolver;
  return resolver;
}

}  // namespace zv::platform
