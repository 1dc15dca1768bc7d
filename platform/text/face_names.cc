#include "platform/text/face_names.h"

#include <cctype>

namespace zv::platform {
namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

}  // namespace

bool EqualFoldAscii(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

const std::vector<FaceAlias>& WindowsFaceAliases() {
  static const std::vector<FaceAlias> aliases = {
      {"Arial", "Liberation Sans"},
      {"Arial Narrow", "Liberation Sans Narrow"},
      {"Courier New", "Liberation Mono"},
      {"Times New Roman", "Liberation Serif"},
  };
  return aliases;
}

std::string MappedFamily(std::string_view face) {
  face = Trim(face);
  for (const FaceAlias& alias : WindowsFaceAliases())
    if (EqualFoldAscii(face, alias.windows_name)) return alias.family;
  return std::string(face);
}

const char* ConsoleFaceFamily(std::string_view face) {
  face = Trim(face);
  if (EqualFoldAscii(face, "system")) return "DejaVu Sans";
  if (EqualFoldAscii(face, "fixedsys")) return "DejaVu Sans Mono";
  return nullptr;
}

}  // namespace zv::platform
