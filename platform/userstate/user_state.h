#pragma once

#include <string>
#include <string_view>

namespace zv::platform {

// The per-user settings file that the system's WIN.INI stood for: an INI
// file read and written with profile-string semantics. A user's lives in the
// XDG config folder; headless runs and tests keep theirs in a temporary
// folder so that they neither read nor change the user's choices.
class UserState {
 public:
  // $XDG_CONFIG_HOME/zentrovex/WIN.INI, or ~/.config/zentrovex/WIN.INI.
  static UserState InConfigFolder();
  // WIN.INI in `folder`.
  static UserState InFolder(const std::string& folder);

  std::string Read(std::string_view section, std::string_view key, std::string_view fallback) const;
  // Creates the folder when needed; false when the file cannot be written.
  bool Write(std::string_view section, std::string_view key, std::string_view value) const;

  const std::string& Path() const { return path_; }

 private:
  explicit UserState(std::string path) : path_(std::move(path)) {}
  std::string path_;
};

}  // namespace zv::platform
