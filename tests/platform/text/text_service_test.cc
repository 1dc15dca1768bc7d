#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "platform/text/character_sets.h"
#include "platform/text/code_page.h"
#include "platform/text/face_names.h"
#include "platform/text/text_service.h"

namespace zv::platform {
namespace {

SurfacePtr MakeSurface(int32_t w, int32_t h) {
  SurfaceDesc desc;
  desc.width = w;
  desc.height = h;
  desc.format = PixelFormat::Xrgb8888();
  return Surface::Create(desc);
}

FontPtr Open(TextService& service, const std::string& face, int32_t height, int32_t weight = 400,
             bool italic = false) {
  FontRequest request;
  request.face = face;
  request.height = height;
  request.weight = weight;
  request.italic = italic;
  return service.CreateFont(request);
}

// The file fontconfig gives for a family, looked up here independently of
// the service.
std::string FileOf(const std::string& family) {
  FcInit();
  FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>(family.c_str()));
  FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result;
  FcPattern* match = FcFontMatch(nullptr, pattern, &result);
  FcChar8* file = nullptr;
  std::string path;
  if (match && FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch) path = reinterpret_cast<char*>(file);
  if (match) FcPatternDestroy(match);
  FcPatternDestroy(pattern);
  return path;
}

// Ascent, descent and the width of `text` at `ppem` pixels per em, as
// FreeType gives them for one-bit output.
struct Expected {
  int32_t ascent = 0, descent = 0, width = 0;
};
Expected Measure(const std::string& file, int32_t ppem, const std::string& text) {
  FT_Library library;
  Expected e;
  if (FT_Init_FreeType(&library) != 0) return e;
  FT_Face face;
  if (FT_New_Face(library, file.c_str(), 0, &face) == 0) {
    FT_Set_Char_Size(face, 0, ppem * 64, 72, 72);
    const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    e.ascent = static_cast<int32_t>(std::lround(static_cast<double>(os2->usWinAscent) * ppem / face->units_per_EM));
    e.descent = static_cast<int32_t>(std::lround(static_cast<double>(os2->usWinDescent) * ppem / face->units_per_EM));
    for (unsigned char c : text) {
      FT_Load_Glyph(face, FT_Get_Char_Index(face, c), FT_LOAD_TARGET_MONO);
      e.width += static_cast<int32_t>((face->glyph->advance.x + 32) >> 6);
    }
    FT_Done_Face(face);
  }
  FT_Done_FreeType(library);
  return e;
}

class TextServiceTest : public ::testing::Test {
 protected:
  std::unique_ptr<TextService> service = CreateTextService();
};

TEST_F(TextServiceTest, WindowsFaceNamesMapToMetricCompatibleFamilies) {
  EXPECT_EQ(Open(*service, "Arial", 20)->Family(), "Liberation Sans");
  EXPECT_EQ(Open(*service, "arial", 20)->Family(), "Liberation Sans");
  EXPECT_EQ(Open(*service, "Times New Roman", 20)->Family(), "Liberation Serif");
  EXPECT_EQ(Open(*service, "COURIER NEW", 20)->Family(), "Liberation Mono");
  EXPECT_EQ(Open(*service, "No Such Face 12", 20)->Family(), "DejaVu Sans");
  EXPECT_EQ(Open(*service, "DejaVu Serif", 20)->Family(), "DejaVu Serif");
}

TEST_F(TextServiceTest, TheConsoleFacesKeepASixteenPixelCell) {
  for (int32_t height : {10, 40, -13, 0}) {
    EXPECT_EQ(Open(*service, "system", height)->Metrics().height, 16);
    EXPECT_EQ(Open(*service, "Fixedsys", height)->Metrics().height, 16);
  }
  EXPECT_EQ(Open(*service, "fixedsys", 10)->Family(), "DejaVu Sans Mono");
}

TEST_F(TextServiceTest, APositiveHeightIsTheCellHeight) {
  for (int32_t height : {8, 13, 20, 37, 100}) {
    const FontMetrics& m = Open(*service, "Arial", height)->Metrics();
    EXPECT_EQ(m.height, height);
    EXPECT_EQ(m.ascent + m.descent, height);
    EXPECT_GT(m.ascent, m.descent);
  }
}

TEST_F(TextServiceTest, ANegativeHeightIsTheEmAndMeasuresAsTheFontSays) {
  const std::string file = FileOf("Liberation Sans");
  ASSERT_FALSE(file.empty());
  const std::string text = "Hello, World 123!";
  for (int32_t ppem : {12, 20, 33}) {
    FontPtr font = Open(*service, "Arial", -ppem);
    const Expected e = Measure(file, ppem, text);
    EXPECT_EQ(font->Metrics().ascent, e.ascent) << ppem;
    EXPECT_EQ(font->Metrics().descent, e.descent) << ppem;
    EXPECT_EQ(font->Measure(text).width, e.width) << ppem;
    EXPECT_EQ(font->Measure(text).height, e.ascent + e.descent);
  }
}

TEST_F(TextServiceTest, AnEmptyTextIsNoWideButAsHighAsTheCell) {
  const Size size = Open(*service, "Arial", 25)->Measure("");
  EXPECT_EQ(size.width, 0);
  EXPECT_EQ(size.height, 25);
}

TEST_F(TextServiceTest, StylesPickTheirFaces) {
  const int32_t normal = Open(*service, "Arial", 30)->Measure("Bold text").width;
  const int32_t bold = Open(*service, "Arial", 30, 700)->Measure("Bold text").width;
  EXPECT_GT(bold, normal);
  FontPtr italic = Open(*service, "Times New Roman", 30, 400, true);
  EXPECT_EQ(italic->Family(), "Liberation Serif");
  EXPECT_NE(italic.get(), Open(*service, "Times New Roman", 30).get());
}

TEST_F(TextServiceTest, EqualRequestsShareOneFont) {
  EXPECT_EQ(Open(*service, "Arial", 20).get(), Open(*service, "ARIAL", 20).get());
  EXPECT_NE(Open(*service, "Arial", 20).get(), Open(*service, "Arial", 21).get());
}

TEST_F(TextServiceTest, TextIsDrawnInsideItsBoxAndTheSameEachTime) {
  FontPtr font = Open(*service, "Arial", 24);
  const Size size = font->Measure("Quick");
  SurfacePtr a = MakeSurface(200, 60), b = MakeSurface(200, 60);
  font->Draw(*a, 10, 10, "Quick", TextColours{0xFFFFFF, 0, false});
  Open(*service, "arial", 24)->Draw(*b, 10, 10, "Quick", TextColours{0xFFFFFF, 0, false});
  int32_t lit = 0;
  for (int32_t y = 0; y < 60; ++y)
    for (int32_t x = 0; x < 200; ++x) {
      ASSERT_EQ(a->PixelAt(x, y), b->PixelAt(x, y));
      if (a->PixelAt(x, y) == 0) continue;
      ++lit;
      EXPECT_GE(x, 10);
      EXPECT_LT(x, 10 + size.width + 2);  // an italic overhang aside
      EXPECT_GE(y, 10);
      EXPECT_LT(y, 10 + size.height);
    }
  EXPECT_GT(lit, 50);
}

TEST_F(TextServiceTest, OpaqueTextFillsItsBoxAndClipsAtTheEdges) {
  FontPtr font = Open(*service, "Courier New", 20);
  const Size size = font->Measure("edge");
  SurfacePtr s = MakeSurface(40, 30);
  font->Draw(*s, -5, 20, "edge", TextColours{0xFFFFFF, 0x0000FF, true});
  EXPECT_EQ(s->PixelAt(0, 20), 0x0000FFu);
  EXPECT_EQ(s->PixelAt(0, 19), 0u);
  EXPECT_EQ(s->PixelAt(std::min(39, size.width - 6), 29), 0x0000FFu);
  font->Draw(*s, 1000, 1000, "far away", TextColours{0xFFFFFF, 0x0000FF, true});
  font->Draw(*s, -100000, -100000, "far away", TextColours{0xFFFFFF, 0x0000FF, true});
}

TEST_F(TextServiceTest, TheFamilyListIsSortedAndNamesTheWindowsFaces) {
  const std::vector<std::string> families = service->ListFamilies();
  auto has = [&](const char* name) { return std::find(families.begin(), families.end(), name) != families.end(); };
  EXPECT_TRUE(has("Liberation Sans"));
  EXPECT_TRUE(has("Arial"));
  EXPECT_TRUE(has("Times New Roman"));
  EXPECT_TRUE(has("DejaVu Sans"));
  for (size_t i = 1; i < families.size(); ++i) {
    EXPECT_NE(families[i - 1], families[i]);
    std::string a = families[i - 1], b = families[i];
    for (char& c : a) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (char& c : b) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_LE(a, b);
  }
}

TEST_F(TextServiceTest, HugeSizesAreBounded) {
  FontPtr font = Open(*service, "Arial", 2000000000);
  EXPECT_LE(font->Metrics().height, 1024);
  FontPtr negative = Open(*service, "Arial", -2000000000);
  EXPECT_LE(negative->Metrics().height, 2048);
  SurfacePtr s = MakeSurface(64, 64);
  font->Draw(*s, 0, 0, "W", TextColours{1, 0, false});
}

FontPtr OpenInSet(TextService& service, const std::string& face, int32_t charset) {
  FontRequest request;
  request.face = face;
  request.height = 20;
  request.charset = charset;
  return service.CreateFont(request);
}

TEST_F(TextServiceTest, ACharacterSetPicksAFaceWithItsLettersAndReadsBytesInIt) {
  // Cyrillic "Mir" against the Western letters of the same bytes.
  EXPECT_EQ(OpenInSet(*service, "Arial", 204)->Family(), "Liberation Sans");
  EXPECT_NE(OpenInSet(*service, "Arial", 204)->Measure("\xCC\xE8\xF0").width,
            OpenInSet(*service, "Arial", 0)->Measure("\xCC\xE8\xF0").width);
  EXPECT_EQ(OpenInSet(*service, "Arial", 1).get(), OpenInSet(*service, "Arial", 0).get());
  // The mapped family has no Hebrew: the fallback has.
  EXPECT_EQ(OpenInSet(*service, "Arial", 177)->Family(), "DejaVu Sans");
  EXPECT_EQ(OpenInSet(*service, "fixedsys", 177)->Family(), "DejaVu Sans");
  // No face has Japanese here: the face asked for stays, and pairs read as one.
  FontPtr japanese = OpenInSet(*service, "Arial", 128);
  EXPECT_EQ(japanese->Family(), "Liberation Sans");
  const int32_t one = japanese->Measure("\x82\xA0").width;
  EXPECT_EQ(japanese->Measure("\x82\xA0\x82\xA0").width, 2 * one);
  EXPECT_NE(OpenInSet(*service, "Arial", 0)->Measure("\x82\xA0\x82\xA0").width, 2 * one);
  EXPECT_EQ(japanese->Measure("A\x82").width, japanese->Measure("A?").width);
  // Symbols in a font without a symbol map are the Western letters.
  EXPECT_EQ(OpenInSet(*service, "DejaVu Sans", 2)->Measure("abg\xE9").width,
            OpenInSet(*service, "DejaVu Sans", 0)->Measure("abg\xE9").width);
}

TEST(CodePage, ByteToCharacter) {
  EXPECT_EQ(Cp1252ToUnicode('A'), U'A');
  EXPECT_EQ(Cp1252ToUnicode(0x80), U'\u20AC');
  EXPECT_EQ(Cp1252ToUnicode(0x81), U'\uFFFD');
  EXPECT_EQ(Cp1252ToUnicode(0x9F), U'\u0178');
  EXPECT_EQ(Cp1252ToUnicode(0xE9), U'\u00E9');
}

TEST(CodePage, ProgramTextToAndFromUtf8) {
  // "Café €5" in 1252, and what the desktop makes of it.
  EXPECT_EQ(Cp1252ToUtf8("Caf\xE9 \x80" "5"), "Caf\xC3\xA9 \xE2\x82\xAC" "5");
  EXPECT_EQ(Cp1252ToUtf8("\x81"), "?");
  EXPECT_EQ(Utf8ToCp1252("Caf\xC3\xA9 \xE2\x82\xAC" "5"), "Caf\xE9 \x80" "5");
  // Letters 1252 cannot hold, broken and cut sequences: '?' for each.
  EXPECT_EQ(Utf8ToCp1252("\xD0\x96|\xC3|\xE2\x82|\xFF|\xF0\x9F\x98\x80"), "?|?|??|?|?");
}

// Reads the whole text through the code page of a character set.
std::u32string DecodeAll(int32_t charset, std::string_view text) {
  const CodePage page(CharacterSetOf(charset).code_page);
  std::u32string read;
  for (size_t pos = 0; pos < text.size();) {
    const DecodedCharacter d = page.Decode(text, pos);
    EXPECT_GE(d.length, 1u);
    EXPECT_LE(pos + d.length, text.size()) << charset;
    read.push_back(d.character);
    pos += d.length;
  }
  return read;
}

TEST(CodePage, EachCharacterSetReadsItsOwnLetters) {
  struct Case {
    int32_t charset;
    std::string_view text;
    std::u32string read;
  };
  const Case cases[] = {
      {0, "A\x80\x81\xE9", U"A\u20AC\uFFFD\u00E9"},
      {1, "\xC0", U"\u00C0"},
      {2, "\xC0", U"\u00C0"},
      {99, "\xC0", U"\u00C0"},                   // a number no set has
      {204, "\xC0\xFF", U"\u0410\u044F"},       // Cyrillic
      {161, "\xC1\xAA", U"\u0391\uFFFD"},       // Greek, and a byte it leaves out
      {238, "\xA5", U"\u0104"},                  // Central European
      {162, "\xD0", U"\u011E"},                  // Turkish
      {177, "\xE0", U"\u05D0"},                  // Hebrew
      {178, "\xC7", U"\u0627"},                  // Arabic
      {186, "\xC0", U"\u0104"},                  // Baltic
      {163, "a\xCC\xC3", U"a\u0300\u0102"},      // Vietnamese: accents stay apart
      {222, "\xA1", U"\u0E01"},                  // Thai
      {255, "\xB3", U"\u2502"},                  // OEM
      {77, "\x80", U"\u00C4"},                   // Mac Roman
      {128, "\x82\xA0\xB1" "A", U"\u3042\uFF71A"},  // Shift-JIS: a pair, a half-width kana
      {128, "\x82 x", U"? x"},                    // a lead byte that begins nothing
      {128, "A\x82", U"A?"},                      // a lead byte at the end
      {134, "\xC4\xE3", U"\u4F60"},              // GB2312
      {136, "\xA4\xA4\xA4", U"\u4E2D?"},         // Big5
      {129, "\xB0\xA1", U"\uAC00"},              // Hangul
      {130, "\x88\x61", U"\uAC00"},              // Johab
  };
  for (const Case& c : cases) EXPECT_EQ(DecodeAll(c.charset, c.text), c.read) << c.charset;
}

TEST(FaceNames, MapOnlyTheWindowsNames) {
  EXPECT_EQ(MappedFamily("  Arial "), "Liberation Sans");
  EXPECT_EQ(MappedFamily("Arial Narrow"), "Liberation Sans Narrow");
  EXPECT_EQ(MappedFamily("Helvetica"), "Helvetica");
  EXPECT_NE(ConsoleFaceFamily("SYSTEM"), nullptr);
  EXPECT_EQ(ConsoleFaceFamily("systems"), nullptr);
}

}  // namespace
}  // namespace zv::platform
