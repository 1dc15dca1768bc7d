#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zv::platform {

// The family looked for when a program names `face`: the metric-compatible
// family for a Windows face name, else the name itself (trimmed).
std::string MappedFamily(std::string_view face);

// The Windows face names that map onto another family, each with it.
struct FaceAlias {
  const char* windows_name;
  const char* family;
};
const std::vector<FaceAlias>& WindowsFaceAliases();

// The family every face that is not installed falls back to.
inline constexpr const char* kFallbackFamily = "DejaVu Sans";

// The fixed-size faces of the text console: their cell is always this high.
inline constexpr int kConsoleCellHeight = 16;
// The family a console face is drawn with, or null for any other face.
const char* ConsoleFaceFamily(std::string_view face);

bool EqualFoldAscii(std::string_view a, std::string_view b);

}  // namespace zv::platform
