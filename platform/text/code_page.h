#pragma once

#include <cstdint>

namespace zv::platform {

// The character a byte of program text stands for: programs write their
// text in the Windows-1252 code page. The five bytes that page leaves
// unassigned give U+FFFD.
char32_t Cp1252ToUnicode(uint8_t byte);

}  // namespace zv::platform
