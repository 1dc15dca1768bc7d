#include "editor/help/help_pages.h"

#include <cstddef>
#include <span>
#include <system_error>

#include "runtime/attached/attached_data.h"

namespace zv {

extern const HelpFile kBuiltinHelpFiles[];
extern const std::size_t kBuiltinHelpFileCount;

namespace {

char FoldChar(char c) {
  if (c == '\\') return '/';
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (FoldChar(a[i]) != FoldChar(b[i])) return false;
  return true;
}

}  // namespace

std::span<const HelpFile> HelpFiles() { return {kBuiltinHelpFiles, kBuiltinHelpFileCount}; }

const HelpFile* FindHelpFile(std::string_view name) {
  name = name.substr(0, name.find('#'));
  while (name.size() >= 2 && name[0] == '.' && (name[1] == '/' || name[1] == '\\')) name.remove_prefix(2);
  for (const HelpFile& file : HelpFiles())
    if (!file.name.empty() && SameName(file.name, name)) return &file;
  return nullptr;
}

bool IsHelpProgramLink(std::string_view target) {
  constexpr std::string_view kExtension = ".kqa";
  if (target.size() < kExtension.size()) return false;
  const std::string_view end = target.substr(target.size() - kExtension.size());
  for (size_t i = 0; i < end.size(); ++i)
    if (FoldChar(end[i]) != kExtension[i]) return false;
  return true;
}

bool WriteHelpFiles(const std::filesystem::path& folder, std::string* error) {
  for (const HelpFile& file : HelpFiles()) {
    if (file.name.empty()) continue;
    const std::filesystem::path path = folder / std::string(file.name);
    std::error_code ec;
    std::filesystem::create_directories(path.parent_path(), ec);
    const auto* bytes = reinterpret_cast<const uint8_t*>(file.data.data());
    if (ec || !WriteVirtualFile(path.string(), std::span<const uint8_t>(bytes, file.data.size()))) {
      if (error) *error = "cannot write the help file " + path.string();
      return false;
    }
  }
  return true;
}

}  // namespace zv
