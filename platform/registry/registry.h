#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zv::platform {

// The current user's branch of the registry that programs keep their values
// in: keys named by paths with "\" between key names, each holding named
// 32-bit values. It lives in one INI file, a section per key path and a line
// per value, so that it persists between runs. Key paths and value names
// match without regard to case, as the registry's do.
class Registry {
 public:
  // The user's own: $XDG_CONFIG_HOME/zentrovex/registry (or
  // ~/.config/zentrovex/registry).
  static Registry InConfigFolder();
  // One kept in `folder`, for tests.
  static Registry InFolder(const std::string& folder);

  // Creates the key when needed and stores the value, replacing an earlier
  // one; false (errno set) when the file cannot be written. Programs
  // writing at the same time lose none of each other's values.
  bool WriteDword(std::string_view key_path, std::string_view value_name, uint32_t value) const;
  // Nothing when the key or the value is absent, or the value is not a dword.
  std::optional<uint32_t> ReadDword(std::string_view key_path, std::string_view value_name) const;

  // The INI file that holds the values.
  const std::string& Path() const { return path_; }

 private:
  explicit Registry(std::string path) : path_(std::move(path)) {}
  std::string path_;
};

// Spells a key path or value name so that any characters survive a trip
// through an INI file: the characters that the INI syntax gives a meaning to,
// control characters and blanks at either end become "%XX"; the empty name
// becomes "@".
std::string EncodeRegistryName(std::string_view name);

}  // namespace zv::platform
