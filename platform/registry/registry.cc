#include "platform/registry/registry.h"

#include <cerrno>
#include <charconv>
#include <filesystem>
#include <system_error>

#include "platform/ini/ini_file.h"
#include "platform/paths/state_folder.h"

namespace zv::platform {
namespace {

constexpr char kFileName[] = "HKEY_CURRENT_USER.ini";
constexpr std::string_view kDwordPrefix = "dword:";

bool NeedsEscape(unsigned char c, bool at_edge) {
  if (c < 0x20 || c == 0x7f) return true;
  if (at_edge && c == ' ') return true;
  switch (c) {
    case '%': case '=': case '[': case ']': case ';': case '"': case '\'': case '@':
      return true;
    default:
      return false;
  }
}

std::string FormatDword(uint32_t value) {
  static const char kHex[] = "0123456789abcdef";
  std::string out(kDwordPrefix);
  for (int shift = 28; shift >= 0; shift -= 4) out += kHex[(value >> shift) & 0xf];
  return out;
}

std::optional<uint32_t> ParseDword(std::string_view text) {
  if (text.substr(0, kDwordPrefix.size()) != kDwordPrefix) return std::nullopt;
  text.remove_prefix(kDwordPrefix.size());
  if (text.empty() || text.size() > 8) return std::nullopt;
  uint32_t value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

}  // namespace

std::string EncodeRegistryName(std::string_view name) {
  if (name.empty()) return "@";
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (size_t i = 0; i < name.size(); ++i) {
    const auto c = static_cast<unsigned char>(name[i]);
    if (NeedsEscape(c, i == 0 || i + 1 == name.size())) {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 0xf];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

Registry Registry::InConfigFolder() { return InFolder(ConfigFolder() + "/registry"); }

Registry Registry::InFolder(const std::string& folder) { return Registry(folder + "/" + kFileName); }

bool Registry::WriteDword(std::string_view key_path, std::string_view value_name, uint32_t value) const {
  std::error_code error;
  std::filesystem::create_directories(std::filesystem::path(path_).parent_path(), error);
  if (error) {
    errno = error.value();
    return false;
  }
  return UpdateIniFile(path_, [&](IniFile& ini) {
    ini.Set(EncodeRegistryName(key_path), EncodeRegistryName(value_name), FormatDword(value));
  });
}

std::optional<uint32_t> Registry::ReadDword(std::string_view key_path, std::string_view value_name) const {
  auto text = IniFile::Load(path_).Get(EncodeRegistryName(key_path), EncodeRegistryName(value_name));
  if (!text) return std::nullopt;
  return ParseDword(*text);
}

}  // namespace zv::platform
