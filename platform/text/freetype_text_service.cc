// The text service over fontconfig (which face file a name means) and
// FreeType (the glyphs, hinted for one-bit output). Both are loaded, and
// fontconfig reads its configuration, when a font is first measured or
// drawn: a program that shows no text never pays for them.
#include <algorithm>
#include <array>
#include <cmath>
#include <cctype>
#include <map>
#include <optional>
#include <tuple>
#include <unordered_map>

#include "platform/text/character_sets.h"
#include "platform/text/code_page.h"
#include "platform/text/face_names.h"
#include "platform/text/font_libraries.h"
#include "platform/text/mono_glyph.h"
#include "platform/text/text_service.h"

namespace zv::platform {
namespace {

// Sizes beyond this are drawn at this size: a glyph cache of 256 one-bit
// bitmaps then stays within a few megabytes.
constexpr int32_t kMaxPixelSize = 1024;
constexpr int32_t kDefaultCellHeight = 16;
constexpr size_t kFontCacheLimit = 64;
// Glyphs of a double-byte font kept at once; text of many thousand
// different characters renders again what has been dropped.
constexpr size_t kCharacterGlyphLimit = 1024;
constexpr char32_t kSymbolArea = 0xF000;
// The stand-in font's character cell.
constexpr int32_t kStandInWidth = 8;
constexpr int32_t kStandInHeight = 16;

struct FaceFile {
  std::string path;
  int index = 0;
  std::string family;
};

bool EnsureFontconfig() {
  static const bool ready = Fontconfig().FcInit() == FcTrue;
  return ready;
}

bool CoversLanguage(FcPattern* match, const char* language) {
  FcLangSet* languages = nullptr;
  return Fontconfig().FcPatternGetLangSet(match, FC_LANG, 0, &languages) == FcResultMatch &&
         Fontconfig().FcLangSetHasLang(languages, reinterpret_cast<const FcChar8*>(language)) == FcLangEqual;
}

// The best installed scalable face of `family` (any family when empty),
// when fontconfig's best match really is of that family and has the letters
// of `language` (when given): fontconfig always answers something.
std::optional<FaceFile> MatchFamily(const std::string& family, bool bold, bool italic,
                                    const char* language = nullptr) {
  if (!EnsureFontconfig() || (family.empty() && !language)) return std::nullopt;
  FcPattern* pattern = Fontconfig().FcPatternCreate();
  if (!pattern) return std::nullopt;
  if (!family.empty())
    Fontconfig().FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
  if (language) Fontconfig().FcPatternAddString(pattern, FC_LANG, reinterpret_cast<const FcChar8*>(language));
  Fontconfig().FcPatternAddInteger(pattern, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
  Fontconfig().FcPatternAddInteger(pattern, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  Fontconfig().FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
  Fontconfig().FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
  Fontconfig().FcDefaultSubstitute(pattern);
  FcResult result = FcResultNoMatch;
  FcPattern* match = Fontconfig().FcFontMatch(nullptr, pattern, &result);
  Fontconfig().FcPatternDestroy(pattern);
  if (!match) return std::nullopt;
  std::optional<FaceFile> found;
  FcChar8* name = nullptr;
  std::string matched_family;
  for (int i = 0; Fontconfig().FcPatternGetString(match, FC_FAMILY, i, &name) == FcResultMatch; ++i) {
    if (i == 0 && family.empty()) matched_family = reinterpret_cast<const char*>(name);
    if (!family.empty() && EqualFoldAscii(reinterpret_cast<const char*>(name), family)) matched_family = family;
  }
  FcChar8* file = nullptr;
  int index = 0;
  if (!matched_family.empty() && (!language || CoversLanguage(match, language)) &&
      Fontconfig().FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch) {
    Fontconfig().FcPatternGetInteger(match, FC_INDEX, 0, &index);
    found = FaceFile{reinterpret_cast<const char*>(file), index, matched_family};
  }
  Fontconfig().FcPatternDestroy(match);
  return found;
}

// Fonts keep the library alive: one may outlive the service that made it.
using LibraryPtr = std::shared_ptr<FT_LibraryRec_>;

LibraryPtr OpenLibrary() {
  FT_Library library = nullptr;
  if (FreeType().FT_Init_FreeType(&library) != 0) return nullptr;
  return LibraryPtr(library, FreeType().FT_Done_FreeType);
}

// Case-blind order, ties broken by the exact text so that the order is total.
bool FoldLess(const std::string& a, const std::string& b) {
  for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
    const int x = std::tolower(static_cast<unsigned char>(a[i])), y = std::tolower(static_cast<unsigned char>(b[i]));
    if (x != y) return x < y;
  }
  if (a.size() != b.size()) return a.size() < b.size();
  return a < b;
}

int32_t RoundDiv(int64_t num, int64_t den) {
  return static_cast<int32_t>((2 * num + den) / (2 * den));
}

// Measures like a font but draws only its background: what every font is
// when no font file can be used.
class StandInFont final : public Font {
 public:
  StandInFont() : metrics_{kStandInHeight - 3, 3, kStandInHeight} {}
  const FontMetrics& Metrics() const override { return metrics_; }
  const std::string& Family() const override { return family_; }
  Size Measure(std::string_view text) override {
    return Size{static_cast<int32_t>(std::min<size_t>(text.size(), INT32_MAX / kStandInWidth)) * kStandInWidth,
                kStandInHeight};
  }
  void Draw(Surface& target, int32_t x, int32_t y, std::string_view text, const TextColours& colours) override {
    if (!colours.opaque) return;
    const Size size = Measure(text);
    FillClipped(target, Rect{x, y, static_cast<int32_t>(std::min<int64_t>(int64_t{x} + size.width, INT32_MAX)),
                             y + size.height},
                colours.paper);
  }

 private:
  FontMetrics metrics_;
  std::string family_;
};

// The Windows symbol map of a symbol font, which keeps byte b's glyph at
// U+F000 + b (or at b); null when the face has none.
FT_CharMap SymbolMap(FT_Face face) {
  for (int i = 0; i < face->num_charmaps; ++i)
    if (face->charmaps[i]->encoding == FT_ENCODING_MS_SYMBOL) return face->charmaps[i];
  return nullptr;
}

class FreeTypeFont final : public Font {
 public:
  FreeTypeFont(LibraryPtr library, FT_Face face, const FontRequest& request, std::string family, bool console,
               std::shared_ptr<const CodePage> code_page, bool symbol)
      : library_(std::move(library)),
        face_(face),
        family_(std::move(family)),
        code_page_(std::move(code_page)),
        double_byte_(code_page_->IsDoubleByte()) {
    if (symbol) symbol_map_ = SymbolMap(face_);
    synthetic_bold_ = request.weight >= 600 && !(face_->style_flags & FT_STYLE_FLAG_BOLD);
    synthetic_italic_ = request.italic && !(face_->style_flags & FT_STYLE_FLAG_ITALIC);
    SetSize(console ? kConsoleCellHeight : request.height);
  }
  ~FreeTypeFont() override { FreeType().FT_Done_Face(face_); }
  FreeTypeFont(const FreeTypeFont&) = delete;
  FreeTypeFont& operator=(const FreeTypeFont&) = delete;

  const FontMetrics& Metrics() const override { return metrics_; }
  const std::string& Family() const override { return family_; }

  Size Measure(std::string_view text) override {
    int64_t width = 0;
    ForEachGlyph(text, [&](const MonoGlyph& g) { width += g.advance; });
    return Size{static_cast<int32_t>(std::clamp<int64_t>(width, INT32_MIN, INT32_MAX)), metrics_.height};
  }

  void Draw(Surface& target, int32_t x, int32_t y, std::string_view text, const TextColours& colours) override {
    if (colours.opaque) {
      const int64_t right = int64_t{x} + Measure(text).width;
      FillClipped(target,
                  Rect{x, y, static_cast<int32_t>(std::clamp<int64_t>(right, INT32_MIN, INT32_MAX)),
                       static_cast<int32_t>(std::min<int64_t>(int64_t{y} + metrics_.height, INT32_MAX))},
                  colours.paper);
    }
    const int64_t baseline = int64_t{y} + metrics_.ascent;
    int64_t pen = x;
    ForEachGlyph(text, [&](const MonoGlyph& g) {
      const int64_t gx = pen + g.left, gy = baseline - g.top;
      if (gx > INT32_MIN && gx < INT32_MAX && gy > INT32_MIN && gy < INT32_MAX)
        PaintMonoGlyph(target, static_cast<int32_t>(gx), static_cast<int32_t>(gy), g, colours.ink);
      pen += g.advance;
    });
  }

 private:
  void SetSize(int32_t requested) {
    const int64_t upem = face_->units_per_EM > 0 ? face_->units_per_EM : 2048;
    int64_t win_ascent = face_->ascender, win_descent = -face_->descender;
    if (const auto* os2 = static_cast<const TT_OS2*>(FreeType().FT_Get_Sfnt_Table(face_, FT_SFNT_OS2));
        os2 && os2->usWinAscent + os2->usWinDescent > 0) {
      win_ascent = os2->usWinAscent;
      win_descent = os2->usWinDescent;
    }
    if (win_ascent + win_descent <= 0) {
      win_ascent = upem * 4 / 5;
      win_descent = upem / 5;
    }
    const int64_t cell_units = win_ascent + win_descent;
    int64_t em26;  // the em in 1/64 pixels
    if (requested >= 0) {
      const int32_t cell = std::clamp(requested == 0 ? kDefaultCellHeight : requested, 1, kMaxPixelSize);
      em26 = std::max<int64_t>(1, RoundDiv(int64_t{cell} * 64 * upem, cell_units));
      metrics_.ascent = RoundDiv(int64_t{cell} * win_ascent, cell_units);
      metrics_.descent = cell - metrics_.ascent;
    } else {
      const int64_t em = std::clamp<int64_t>(-int64_t{requested}, 1, kMaxPixelSize);
      em26 = em * 64;
      metrics_.ascent = RoundDiv(em * win_ascent, upem);
      metrics_.descent = RoundDiv(em * win_descent, upem);
    }
    metrics_.height = metrics_.ascent + metrics_.descent;
    FreeType().FT_Set_Char_Size(face_, 0, static_cast<FT_F26Dot6>(em26), 72, 72);
  }

  // Single-byte text is read a byte at a time straight into the glyph
  // table; double-byte text through the code page, a character at a time.
  template <typename Visit>
  void ForEachGlyph(std::string_view text, Visit&& visit) {
    if (!double_byte_) {
      for (unsigned char c : text) visit(ByteGlyph(c));
      return;
    }
    for (size_t pos = 0; pos < text.size();) {
      const DecodedCharacter d = code_page_->Decode(text, pos);
      visit(CharacterGlyph(d.character));
      pos += d.length;
    }
  }

  const MonoGlyph& ByteGlyph(unsigned char c) {
    if (!loaded_[c]) {
      glyphs_[c] = Render(ByteGlyphIndex(c));
      loaded_[c] = true;
    }
    return glyphs_[c];
  }

  const MonoGlyph& CharacterGlyph(char32_t c) {
    if (auto it = character_glyphs_.find(c); it != character_glyphs_.end()) return it->second;
    if (character_glyphs_.size() >= kCharacterGlyphLimit) character_glyphs_.clear();
    return character_glyphs_.emplace(c, Render(FreeType().FT_Get_Char_Index(face_, c))).first->second;
  }

  FT_UInt ByteGlyphIndex(unsigned char c) {
    if (symbol_map_) {
      FT_CharMap text_map = face_->charmap;
      FT_UInt index = 0;
      // Some symbol maps list their bytes without the U+F000 offset.
      if (FreeType().FT_Set_Charmap(face_, symbol_map_) == 0) {
        index = FreeType().FT_Get_Char_Index(face_, kSymbolArea + c);
        if (index == 0) index = FreeType().FT_Get_Char_Index(face_, c);
      }
      if (text_map) FreeType().FT_Set_Charmap(face_, text_map);
      if (index != 0) return index;
    }
    return FreeType().FT_Get_Char_Index(face_, code_page_->Single(c));
  }

  MonoGlyph Render(FT_UInt index) {
    MonoGlyph glyph;
    if (FreeType().FT_Load_Glyph(face_, index, FT_LOAD_TARGET_MONO) != 0) return glyph;
    FT_GlyphSlot slot = face_->glyph;
    if (synthetic_bold_) FreeType().FT_GlyphSlot_Embolden(slot);
    if (synthetic_italic_) FreeType().FT_GlyphSlot_Oblique(slot);
    glyph.advance = static_cast<int32_t>((slot->advance.x + 32) >> 6);
    if (FreeType().FT_Render_Glyph(slot, FT_RENDER_MODE_MONO) != 0) return glyph;
    const FT_Bitmap& bitmap = slot->bitmap;
    if (bitmap.pixel_mode != FT_PIXEL_MODE_MONO || bitmap.rows == 0 || bitmap.width == 0) return glyph;
    glyph.left = slot->bitmap_left;
    glyph.top = slot->bitmap_top;
    glyph.width = static_cast<int32_t>(bitmap.width);
    glyph.rows = static_cast<int32_t>(bitmap.rows);
    glyph.pitch = (glyph.width + 7) / 8;
    glyph.bits.resize(static_cast<size_t>(glyph.pitch) * glyph.rows);
    const int source_pitch = bitmap.pitch;
    const uint8_t* first = source_pitch >= 0 ? bitmap.buffer
                                              : bitmap.buffer - static_cast<ptrdiff_t>(source_pitch) * (glyph.rows - 1);
    for (int32_t r = 0; r < glyph.rows; ++r)
      std::copy_n(first + static_cast<ptrdiff_t>(r) * source_pitch, glyph.pitch,
                  glyph.bits.begin() + static_cast<ptrdiff_t>(r) * glyph.pitch);
    return glyph;
  }

  LibraryPtr library_;
  FT_Face face_;
  std::string family_;
  FontMetrics metrics_;
  bool synthetic_bold_ = false, synthetic_italic_ = false;
  std::shared_ptr<const CodePage> code_page_;
  bool double_byte_;
  FT_CharMap symbol_map_ = nullptr;
  std::array<MonoGlyph, 256> glyphs_;
  std::array<bool, 256> loaded_{};
  std::unordered_map<char32_t, MonoGlyph> character_glyphs_;
};

// Opens the face files of requests: FreeType and the code pages, made on
// first use and shared with the fonts, which may outlive the service.
class FontMaker {
 public:
  FontPtr Open(const FontRequest& request, bool bold, bool console, const CharacterSet& set) {
    if (!library_) library_ = OpenLibrary();
    if (!library_) return std::make_shared<StandInFont>();
    const char* console_family = ConsoleFaceFamily(request.face);
    const std::string family = console_family ? std::string(console_family) : MappedFamily(request.face);
    std::optional<FaceFile> file;
    // A face with the letters of the set, where one is installed: the one
    // asked for, the fallback, then any.
    if (set.language) {
      file = MatchFamily(family, bold, request.italic, set.language);
      if (!file) file = MatchFamily(kFallbackFamily, bold, request.italic, set.language);
      if (!file) file = MatchFamily("", bold, request.italic, set.language);
    }
    if (!file) file = MatchFamily(family, bold, request.italic);
    if (!file) file = MatchFamily(kFallbackFamily, bold, request.italic);
    if (!file) return std::make_shared<StandInFont>();
    FT_Face face = nullptr;
    if (FreeType().FT_New_Face(library_.get(), file->path.c_str(), file->index, &face) != 0 || !FT_IS_SCALABLE(face)) {
      if (face) FreeType().FT_Done_Face(face);
      return std::make_shared<StandInFont>();
    }
    return std::make_shared<FreeTypeFont>(library_, face, request, file->family, console, OpenCodePage(set.code_page),
                                          set.symbol);
  }

 private:
  // Pages are made once: a double-byte page's tables take a few
  // milliseconds to make.
  std::shared_ptr<const CodePage> OpenCodePage(int32_t number) {
    std::shared_ptr<const CodePage>& page = code_pages_[number];
    if (!page) page = std::make_shared<const CodePage>(number);
    return page;
  }

  LibraryPtr library_;
  std::map<int32_t, std::shared_ptr<const CodePage>> code_pages_;
};

// A font as it was asked for, whose face is found when it is first
// measured, drawn or asked for its metrics.
class DeferredFont final : public Font {
 public:
  DeferredFont(std::shared_ptr<FontMaker> maker, FontRequest request, bool bold, bool console, CharacterSet set)
      : maker_(std::move(maker)), request_(std::move(request)), bold_(bold), console_(console), set_(set) {}

  const FontMetrics& Metrics() const override { return Opened().Metrics(); }
  const std::string& Family() const override { return Opened().Family(); }
  Size Measure(std::string_view text) override { return Opened().Measure(text); }
  void Draw(Surface& target, int32_t x, int32_t y, std::string_view text, const TextColours& colours) override {
    Opened().Draw(target, x, y, text, colours);
  }

 private:
  Font& Opened() const {
    if (!font_) {
      font_ = maker_->Open(request_, bold_, console_, set_);
      maker_.reset();
    }
    return *font_;
  }

  mutable std::shared_ptr<FontMaker> maker_;
  FontRequest request_;
  bool bold_, console_;
  CharacterSet set_;
  mutable FontPtr font_;
};

class FreeTypeTextService final : public TextService {
 public:
  FontPtr CreateFont(const FontRequest& request) override {
    const bool bold = request.weight >= 600;
    std::string face_key;
    for (char ch : request.face) face_key.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(ch))));
    const bool console = ConsoleFaceFamily(request.face) != nullptr;
    const CharacterSet set = CharacterSetOf(request.charset);
    auto key = std::make_tuple(face_key, console ? 0 : request.height, bold, request.italic, set.code_page, set.symbol);
    if (auto it = fonts_.find(key); it != fonts_.end()) return it->second;
    FontPtr font = std::make_shared<DeferredFont>(maker_, request, bold, console, set);
    if (fonts_.size() >= kFontCacheLimit) fonts_.clear();
    fonts_.emplace(std::move(key), font);
    return font;
  }

  std::vector<std::string> ListFamilies() override {
    std::vector<std::string> names;
    if (!EnsureFontconfig()) return names;
    FcPattern* pattern = Fontconfig().FcPatternCreate();
    FcObjectSet* objects = Fontconfig().FcObjectSetBuild(FC_FAMILY, nullptr);
    if (pattern && objects) {
      Fontconfig().FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
      if (FcFontSet* set = Fontconfig().FcFontList(nullptr, pattern, objects)) {
        for (int f = 0; f < set->nfont; ++f) {
          FcChar8* name = nullptr;
          for (int i = 0; Fontconfig().FcPatternGetString(set->fonts[f], FC_FAMILY, i, &name) == FcResultMatch; ++i)
            names.emplace_back(reinterpret_cast<const char*>(name));
        }
        Fontconfig().FcFontSetDestroy(set);
      }
    }
    if (objects) Fontconfig().FcObjectSetDestroy(objects);
    if (pattern) Fontconfig().FcPatternDestroy(pattern);
    std::vector<std::string> aliases;
    for (const FaceAlias& alias : WindowsFaceAliases())
      for (const std::string& n : names)
        if (n == alias.family) {
          aliases.emplace_back(alias.windows_name);
          break;
        }
    names.insert(names.end(), aliases.begin(), aliases.end());
    std::sort(names.begin(), names.end(), FoldLess);
    names.erase(std::unique(names.begin(), names.end()), names.end());
    return names;
  }

 private:
  std::shared_ptr<FontMaker> maker_ = std::make_shared<FontMaker>();
  std::map<std::tuple<std::string, int32_t, bool, bool, int32_t, bool>, FontPtr> fonts_;
};

}  // namespace

std::unique_ptr<TextService> CreateTextService() { return std::make_unique<FreeTypeTextService>(); }

}  // namespace zv::platform

// fontconfig loses a few blocks while it parses its configuration files;
// the leak checker of sanitizer builds is told to pass over them, and not to
// list at exit what it passed over: a run's standard error is then the same
// in every build. The suppressions are weak, so that a program with its own
// keeps them; the options are not, or the runtime's empty ones are taken.
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZV_ADDRESS_SANITIZER 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(ZV_ADDRESS_SANITIZER)
extern "C" __attribute__((weak)) const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
extern "C" const char* __lsan_default_options() { return "print_suppressions=0"; }
#endif
