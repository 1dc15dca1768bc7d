#include "platform/paths/path_resolver.h"

#include <dirent.h>
#include <sys/stat.h>

#include <filesystem>
#include <vector>

namespace zv::platform {
namespace {

bool Exists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

// The entry of `folder` whose name equals `name` without regard to case; the
// lowest in byte order when several do, so the answer does not depend on the
// order the file system lists them in.
std::string FindNoCase(const std::string& folder, std::string_view name) {
  DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
  if (!dir) return {};
  std::string best;
  while (dirent* entry = ::readdir(dir)) {
    std::string_view candidate = entry->d_name;
    if (EqualNoCase(candidate, name) && (best.empty() || candidate < best)) best = candidate;
  }
  ::closedir(dir);
  return best;
}

}  // namespace

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

std::string PathResolver::ToNative(std::string_view program_path) const {
  std::string rest;
  std::string prefix;
  if (program_path.size() >= 2 && program_path[1] == ':') {
    char letter = program_path[0];
    if (letter >= 'a' && letter <= 'z') letter = static_cast<char>(letter - 32);
    if (letter >= 'A' && letter <= 'Z') {
      prefix = drives_[letter - 'A'];
      program_path.remove_prefix(2);
      while (!program_path.empty() && (program_path.front() == '\\' || program_path.front() == '/'))
        program_path.remove_prefix(1);
    }
  }
  rest.assign(program_path);
  for (char& c : rest)
    if (c == '\\') c = '/';
  return prefix + rest;
}

std::string PathResolver::Resolve(std::string_view program_path) const {
  std::string native = ToNative(program_path);
  // From a folder the disk does not hold, ".." is taken by name: the
  // system cannot go through a folder that is not there.
  if (!layer_folder_.empty() && !native.empty() && native.front() != '/')
    native = (std::filesystem::path(layer_folder_) / native).lexically_normal().string();
  if (native.empty() || Exists(native)) return native;

  std::vector<std::string> parts;
  size_t pos = 0;
  while (pos <= native.size()) {
    size_t slash = native.find('/', pos);
    if (slash == std::string::npos) slash = native.size();
    parts.push_back(native.substr(pos, slash - pos));
    pos = slash + 1;
  }

  std::string out = native.front() == '/' ? "/" : "";
  bool matching = true;
  for (size_t i = 0; i < parts.size(); ++i) {
    const std::string& part = parts[i];
    if (part.empty()) continue;
    std::string name = part;
    if (matching && part != "." && part != "..") {
      std::string spelled = out + part;
      if (!Exists(spelled)) {
        std::string found = FindNoCase(out, part);
        if (found.empty())
          matching = false;
        else
          name = found;
      }
    }
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
