#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

namespace zv::platform {

// Text crosses between programs and the system at one edge: programs hold
// Windows-1252, the system (file names, the command line, the environment,
// standard output and error) UTF-8. The two conversions are each other's
// inverse for every name the system can give, so a name read from a listing
// opens the same file again.

// A character Windows-1252 lacks, as program text holds it: its number
// between two of these bytes, "\x81U+2192\x81". The page leaves the byte
// unassigned, so no letter typed in a program gives it.
constexpr char kCharacterMark = '\x81';

// Appends "\x81U+XXXX\x81" for the character.
void AppendMarkedCharacter(std::string& text, char32_t character);
// The character written at `pos` between two marks, moving `pos` past the
// second; none (and `pos` unmoved) when the text there is not so written.
std::optional<char32_t> ReadMarkedCharacter(std::string_view text, size_t& pos);

// Program text as the system takes it: each byte's character in UTF-8, a
// marked character as itself. The five bytes the page leaves unassigned
// stand for the control characters of their number (U+0081, ...).
std::string SystemTextOf(std::string_view program_text);

// What the system gives, as program text: UTF-8 converted to Windows-1252,
// a character the page lacks marked. Bytes that are not valid UTF-8 (a name
// an older program wrote in Windows-1252) are taken as they are.
std::string ProgramTextOf(std::string_view system_text);

// Writes program text to a stream of the system (standard output or error)
// as SystemTextOf gives it, and flushes the stream.
void WriteSystemText(std::FILE* stream, std::string_view program_text);

}  // namespace zv::platform
