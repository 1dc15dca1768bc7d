#include "platform/text/character_sets.h"

namespace zv::platform {
namespace {

struct Row {
  int32_t charset;
  CharacterSet set;
};

// Mac Roman is code page 10000 in the Windows numbering.
constexpr Row kSets[] = {
    {kSymbolCharset, {kWesternCodePage, nullptr, true}},
    {77, {10000, nullptr, false}},
    {128, {932, "ja", false}},
    {129, {949, "ko", false}},
    {130, {1361, "ko", false}},
    {134, {936, "zh-cn", false}},
    {136, {950, "zh-tw", false}},
    {161, {1253, "el", false}},
    {162, {1254, "tr", false}},
    {163, {1258, "vi", false}},
    {177, {1255, "he", false}},
    {178, {1256, "ar", false}},
    {186, {1257, "lt", false}},
    {204, {1251, "ru", false}},
    {222, {874, "th", false}},
    {238, {1250, "pl", false}},
    {255, {437, nullptr, false}},
};

}  // namespace

CharacterSet CharacterSetOf(int32_t charset) {
  for (const Row& row : kSets)
    if (row.charset == charset) return row.set;
  return CharacterSet{};
}

}  // namespace zv::platform
