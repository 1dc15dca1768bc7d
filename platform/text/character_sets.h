#pragma once

#include <cstdint>

namespace zv::platform {

// The code page of the Western sets, and of every number not listed.
constexpr int32_t kWesternCodePage = 1252;
// The number programs give for a symbol font's own glyphs.
constexpr int32_t kSymbolCharset = 2;

// What a Windows character-set number asks of text: the code page its bytes
// are read in, and the language whose letters the font must have (a
// fontconfig language tag; null where any font serves).
struct CharacterSet {
  int32_t code_page = kWesternCodePage;
  const char* language = nullptr;
  bool symbol = false;
};

CharacterSet CharacterSetOf(int32_t charset);

}  // namespace zv::platform
