#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zv::editor {

// Colour-set offsets of the text area: plain text, selected text, comments.
constexpr int32_t kPlainStyle = 0;
constexpr int32_t kSelectedStyle = 0x100;
constexpr int32_t kCommentStyle = 0x700;

// 0x700 for a comment line (after leading blanks and control bytes it
// begins with "`" or, ignoring case, "rem"), else 0. Each line is judged by
// itself.
int32_t CommentStyle(std::string_view line);

// Reverses in place every run that begins with a byte of 191 or above and
// goes on over such bytes and bytes of 32 and below; other bytes stay.
void ReverseRightToLeftRuns(std::string& text);

}  // namespace zv::editor
