#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/surface/rect.h"
#include "platform/surface/surface.h"

namespace zv::platform {

// Dots per inch of every device context: point sizes become pixels by it.
constexpr int32_t kLogPixelsY = 96;

// A font as a program asks for it. Heights follow the usual rule of the
// platform's font calls: positive is the cell height (ascent plus descent),
// negative the character height (the em), 0 a default height.
struct FontRequest {
  std::string face;
  int32_t height = 0;
  int32_t weight = 400;  // 400 normal, 700 bold
  bool italic = false;
  // A Windows character-set number: the code page the text's bytes are
  // read in and the letters the face must have (see character_sets.h).
  int32_t charset = 0;
};

struct FontMetrics {
  int32_t ascent = 0;   // cell top to baseline
  int32_t descent = 0;  // baseline to cell bottom
  int32_t height = 0;   // ascent + descent
};

// Pixel values (in the target surface's format) of the text and of the box
// behind it; the box is filled only when `opaque` is set.
struct TextColours {
  uint32_t ink = 0;
  uint32_t paper = 0;
  bool opaque = false;
};

// A sized face drawn without smoothing. Text is read in the code page of
// the font's character set: a byte per character (Windows-1252 unless the
// set says otherwise), or a lead and a trail byte in the double-byte sets.
// Text is drawn with the top-left of its cell at the given point and
// advances by whole pixels, unkerned.
class Font {
 public:
  virtual ~Font() = default;

  virtual const FontMetrics& Metrics() const = 0;
  // The family the request resolved to ("" for the built-in stand-in).
  virtual const std::string& Family() const = 0;
  // Sum of the characters' advances, and the cell height.
  virtual Size Measure(std::string_view text) = 0;
  // Draws the text clipped to the surface: the box behind it first when
  // the colours say opaque, then the characters' pixels in the ink.
  virtual void Draw(Surface& target, int32_t x, int32_t y, std::string_view text,
                    const TextColours& colours) = 0;
};

using FontPtr = std::shared_ptr<Font>;

// Fonts found through fontconfig and drawn with FreeType. Windows face names
// map to metric-compatible families (Arial -> Liberation Sans, Times New
// Roman -> Liberation Serif, Courier New -> Liberation Mono, Arial Narrow ->
// Liberation Sans Narrow); a face that is not installed falls back to
// DejaVu Sans. A character set with letters of its own (Cyrillic, Greek,
// Japanese, ...) takes the first face that has them: the one asked for,
// DejaVu Sans, any installed face; when none has them the face is chosen
// as for the Western sets. "system" and "fixedsys" are the fixed-size faces of the text
// console: whatever height is asked for, their cell is 16 pixels high.
// Without any usable font file every font is a stand-in that measures 8 x 16
// per character and draws only its background.
class TextService {
 public:
  virtual ~TextService() = default;

  // Never null. Equal requests share one font.
  virtual FontPtr CreateFont(const FontRequest& request) = 0;
  // The installed scalable families and the Windows names that map onto
  // them, sorted without regard to case, each once.
  virtual std::vector<std::string> ListFamilies() = 0;
};

std::unique_ptr<TextService> CreateTextService();

}  // namespace zv::platform
