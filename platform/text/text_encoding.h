#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace zv::platform {

// How a text file is written: in Windows-1252, the character set of
// programs, or in UTF-8 (as text editors on Linux write), with or without
// the byte-order mark some of them put at its start.
struct TextEncoding {
  bool utf8 = false;
  bool mark = false;
  friend bool operator==(const TextEncoding&, const TextEncoding&) = default;
};

// A file whose bytes (after the mark, when it starts with one) are valid
// UTF-8 and either follow the mark or hold a character above 127 is UTF-8.
// Any other file is Windows-1252: one in plain ASCII reads the same either
// way, and one that is not valid UTF-8 cannot be meant as UTF-8, even
// behind the mark (which is then no part of its text either).
TextEncoding DetectTextEncoding(std::string_view bytes);

// True when the bytes are UTF-8 as RFC 3629 defines it: no overlong form, no
// surrogate, nothing above U+10FFFF, no sequence cut short.
bool IsValidUtf8(std::string_view bytes);
// The length of the valid UTF-8 sequence that starts at `pos` (< size), by
// the same rules; 0 when none does.
size_t Utf8SequenceLength(std::string_view bytes, size_t pos);

// The file's text in Windows-1252, without the mark. A Windows-1252 file is
// its bytes as they are; a UTF-8 file has each character converted, and
// each character that page lacks goes to `foreign`, which appends what
// stands for it (and may note where it was).
using ForeignCharacter = std::function<void(std::string& text, char32_t character)>;
std::string TextOfFile(std::string_view bytes, TextEncoding encoding, const ForeignCharacter& foreign);

// The bytes of a file of the encoding holding Windows-1252 text: the mark
// when the encoding has one, then the text as it is or converted to UTF-8
// (a byte the page leaves unassigned as U+FFFD).
std::string FileOfText(std::string_view text, TextEncoding encoding);

// "U+00E9", "U+1F600": how messages name a character.
std::string CharacterName(char32_t character);

}  // namespace zv::platform
