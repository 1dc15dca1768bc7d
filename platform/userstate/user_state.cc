#include "platform/userstate/user_state.h"

#include <filesystem>
#include <system_error>

#include "platform/ini/ini_file.h"
#include "platform/paths/state_folder.h"

namespace zv::platform {
namespace {

constexpr char kFileName[] = "WIN.INI";

}  // namespace

UserState UserState::InConfigFolder() { return UserState(ConfigFolder() + "/" + kFileName); }

UserState UserState::InFolder(const std::string& folder) { return UserState(folder + "/" + kFileName); }

std::string UserState::Read(std::string_view section, std::string_view key, std::string_view fallback) const {
  return ReadProfileString(path_, section, key, fallback);
}

bool UserState::Write(std::string_view section, std::string_view key, std::string_view value) const {
  std::error_code ignored;
  std::filesystem::create_directories(std::filesystem::path(path_).parent_path(), ignored);
  return WriteProfileString(path_, section, key, value);
}

}  // namespace zv::platform
