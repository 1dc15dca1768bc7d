#pragma once

#include "runtime/vm/vm.h"

namespace zv {

// The text commands (font, size, style, background, text at a point) and
// the text functions (the text state as the queue last left it, and text
// extents in the text font).
void RegisterTextHandlers(HandlerTable& table);

namespace text_opcode {
constexpr int kChecklistFontFamilies = 6001;
constexpr int kSetTextFont = 6002;
constexpr int kSetTextSize = 6003;
constexpr int kSetTextOpaque = 6004;
constexpr int kSetTextTransparent = 6005;
constexpr int kSetTextNormal = 6006;
constexpr int kSetTextItalic = 6007;
constexpr int kSetTextBold = 6008;
constexpr int kSetTextBoldItalic = 6009;
constexpr int kTextAt = 6010;
constexpr int kCenterTextAt = 6011;
constexpr int kSetTextFontCharset = 6012;
constexpr int kTextFont = 6501;
constexpr int kTextSize = 6502;
constexpr int kTextBackgroundType = 6503;
constexpr int kTextStyle = 6504;
constexpr int kTextWidth = 6505;
constexpr int kTextHeight = 6506;
}  // namespace text_opcode

}  // namespace zv
