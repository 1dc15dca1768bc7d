#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "display/draw_record.h"
#include "platform/text/text_service.h"
#include "runtime/vm/checklist.h"

namespace zv {

// The longest font name the text state keeps; longer names are cut.
constexpr size_t kFontNameLimit = 255;
// Names in the checklist are cut to this length.
constexpr size_t kChecklistTextLimit = 255;

// The text commands' state as the draw queue last left it.
struct TextState {
  std::string font_name = "system";
  int32_t size = 10;
  int16_t style = 0;   // 0 normal, 1 italic, 2 bold, 3 bold italic
  uint8_t opaque = 0;  // 1: text drawn on a box of the paper colour
  int32_t charset = 0;
};

// The two fonts of 2D text: the system font of the text console and the
// text font that the text commands choose, made from the text state.
class TextFonts {
 public:
  explicit TextFonts(std::unique_ptr<platform::TextService> service);

  // The state of a program's start, with both fonts made from it.
  void Reset(bool has_back_buffer);
  // Makes the text font from the state (a character set other than the
  // last one also remakes the system font in it).
  void CreateTextFont(bool has_back_buffer);
  // The text font `state` makes while the system font is in character set
  // `system_charset`, which takes the character set it leaves the system
  // font in.
  platform::FontPtr FontFor(const TextState& state, int32_t* system_charset, bool has_back_buffer);
  void CreateSystemFont();
  // The font a window paints its own text in: the system font, whatever
  // character set the program chose.
  platform::FontPtr WindowFont();

  TextState& State() { return state_; }
  const TextState& State() const { return state_; }
  int32_t SystemCharset() const { return system_charset_; }
  platform::Font& SystemFont() { return *system_font_; }
  platform::Font& TextFont() { return *text_font_; }
  const platform::FontPtr& SystemFontPtr() const { return system_font_; }
  const platform::FontPtr& TextFontPtr() const { return text_font_; }

  // The installed font families, each once.
  void ChecklistFontFamilies(Checklist& list);

 private:
  std::unique_ptr<platform::TextService> service_;
  TextState state_;
  int32_t system_charset_ = 0;
  platform::FontPtr system_font_, text_font_;
};

// Applies a text-state record (types 201 to 210) to `state`; true when the
// text font is to be made anew.
bool ApplyTextRecord(const DrawRecord& r, TextState& state);

// a x b / c rounded half away from zero, as the platform's font sizes
// are scaled.
int32_t MulDiv(int32_t a, int32_t b, int32_t c);

}  // namespace zv
