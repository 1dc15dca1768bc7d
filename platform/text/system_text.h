#pragma once

#include <cstdio>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace zv::platform {

// Text crosses between programs and the system at one edge: programs hold
// Windows-1252, the system (file names, the command line, the environment,
// standard output and error) UTF-8. Every name the system gives comes to
// the program in a spelling that goes back to the same bytes, so a name
// read from a listing opens the same file again, whatever its bytes.

// What the page cannot hold stands in program text between two of these
// bytes; the page leaves the byte unassigned, so no letter typed in a
// program gives it. A name marks a character by its number in four to six
// hexadecimal digits ("\x81" "2192" "\x81", an arrow: six characters), and
// a byte of a name that is not UTF-8 by two ("\x81" "E9" "\x81", a Latin-1
// "é": four). The editor marks a character of a source the longer way,
// "\x81U+2192\x81", which names take as well. A byte of a name on disk that
// the program's path syntax would read otherwise comes marked as well: a
// "\" (U+005C) anywhere, a ":" (U+003A) after the letter of a name that
// begins like a drive ("C:x.txt" is "C" "\x81" "003A" "\x81" "x.txt"), and
// such a mark stands for that byte inside one name, never for a separator.
// Marks are written in upper case and read in either.
constexpr char kCharacterMark = '\x81';

// Appends the editor's "\x81U+XXXX\x81" for the character.
void AppendMarkedCharacter(std::string& text, char32_t character);
// The character written the editor's way at `pos`, moving `pos` past the
// second mark; none (and `pos` unmoved) when the text there is not so written.
std::optional<char32_t> ReadMarkedCharacter(std::string_view text, size_t& pos);

// A name holding a mark that stands for what no mark may give: a
// separator ("/"), ".", a control character or NUL, a character the
// program's own text holds (but "\" and ":"), or a byte that belongs to a
// UTF-8 character. `what()` names the mark and what it would give.
class RefusedName : public std::runtime_error {
 public:
  RefusedName(std::string_view name, const std::string& reason) : std::runtime_error(reason), name_(name) {}
  // The name as the program gave it.
  const std::string& Name() const { return name_; }

 private:
  std::string name_;
};

// Program text as the system names a file, a folder, a server's file or a
// started program's argument: each byte's character in UTF-8, a marked
// character as itself and a marked byte as that byte. A mark is taken only
// for what it can stand for (a character the page lacks that is no control
// character; a byte above 127 that is no part of a UTF-8 character with the
// bytes beside it); any other is refused, and RefusedName thrown, so that
// nothing is made under a name the program did not write. Text in a mark's
// shape that holds no number ("\x81U+12\x81") is text like any other. The
// five bytes the page leaves unassigned stand for the control characters
// of their number (U+0081, ...).
std::string SystemNameOf(std::string_view program_name);

// Whether a mark for a control character the page lacks (U+0080 to U+009F)
// is taken. No mark makes a name that holds one; a name that is there
// already may hold one, and the path helper takes such a mark (kReaches)
// only where it finds that entry, so that the working folder and the
// program's own file can always be named.
enum class MarkReach { kMakes, kReaches };
// SystemNameOf without throwing: none, and `refusal` (when given) saying why.
std::optional<std::string> CheckedSystemNameOf(std::string_view program_name, std::string* refusal = nullptr,
                                               MarkReach reach = MarkReach::kMakes);

// The name of an entry of a folder that the system gives, in program text
// that SystemNameOf takes back to the same bytes, its path syntax marked
// (above), so that given back to any command it reaches that entry and
// nothing else; none when no program text can (the name holds a control
// character the page lacks, such as U+0085).
std::optional<std::string> ProgramNameOf(std::string_view system_name);
// The same for text that names no entry (a word of the command line, where
// "\" and "C:" keep their meaning); none when no program text goes back.
std::optional<std::string> ExactProgramTextOf(std::string_view system_text);
// A path of this machine that exists (the working folder, the program's
// own file) as ProgramNameOf spells names, but never none: where no name a
// program may make spells it, a control character the page lacks (and
// U+0081) is marked, a mark the path helper takes for that entry alone.
std::string ProgramPathOf(std::string_view system_path);
// The same for text that is read rather than opened (a server's reply, a
// folder shown): where no program text goes back, the closest there is.
std::string ProgramTextOf(std::string_view system_text);

// The first `characters` characters of the system's text, in program text,
// with "..." after them when there are more: how a message names a name
// that cannot be given whole.
std::string ProgramTextBeginning(std::string_view system_text, size_t characters);

// Program text as the system shows it (standard output and error): always
// valid UTF-8, as SystemNameOf gives it, but a marked byte shows as the
// character that byte is in program text (a Latin-1 "é" as "é"), and a
// mark no name may hold as its own bytes.
std::string SystemTextOf(std::string_view program_text);

// Writes program text to a stream of the system (standard output or error)
// as SystemTextOf gives it, and flushes the stream.
void WriteSystemText(std::FILE* stream, std::string_view program_text);

}  // namespace zv::platform
