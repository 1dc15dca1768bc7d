#pragma once

#include <unistd.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

// Small helpers on path text, shared by the files of this folder.
namespace zv::platform {

// The folder part of a path: "" for a bare name, "/" for a name at the root.
inline std::string FolderPart(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return {};
  return slash == 0 ? "/" : path.substr(0, slash);
}

inline std::string JoinPath(const std::string& folder, std::string_view name) {
  if (folder.empty()) return std::string(name);
  return folder.back() == '/' ? folder + std::string(name) : folder + "/" + std::string(name);
}

// A path as messages give it: between double quotes.
inline std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

// The path as it reads from any working folder.
inline std::string AbsolutePath(const std::string& path) {
  if (!path.empty() && path[0] == '/') return path;
  std::vector<char> cwd(4096);
  if (!::getcwd(cwd.data(), cwd.size())) return path;
  return JoinPath(cwd.data(), path);
}

// True for `prefix` followed by exactly `letters` letters or digits: the
// names mkstemp and mkdtemp make from a pattern ending in as many X's.
inline bool IsRandomName(std::string_view name, std::string_view prefix, size_t letters) {
  if (name.size() != prefix.size() + letters || !name.starts_with(prefix)) return false;
  const std::string_view random = name.substr(prefix.size());
  return std::all_of(random.begin(), random.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
  });
}

}  // namespace zv::platform
