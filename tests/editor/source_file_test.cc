#include "editor/source_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/paths/temp_folder.h"

namespace zv::editor {
namespace {

using Lines = std::vector<std::string>;

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

TEST(SourceFile, EveryKindOfLineEndEndsOneLine) {
  EXPECT_EQ(ParseSource("a\r\nb\rc\nd").lines, (Lines{"a", "b", "c", "d"}));
  EXPECT_EQ(ParseSource("a\r\n\r\nb\r\n").lines, (Lines{"a", "", "b"}));
  // Tabs belong to the line; other control bytes end it.
  EXPECT_EQ(ParseSource("a\tb\x01x").lines, (Lines{"a\tb", "x"}));
  EXPECT_EQ(ParseSource("").lines, (Lines{""}));
}

TEST(SourceFile, HeaderLinesAreTakenByTheirPrefixOnly) {
  SourceText only_header = ParseSource("Rem * Title  : Game\r\nRem * Author : Me\r\nRem * Date   : Today\r\n");
  EXPECT_EQ(only_header.header, (SourceHeader{"Game", "Me", "Today"}));
  EXPECT_EQ(only_header.lines, (Lines{""}));

  // A program line whose first colon happens to be its 14th character stays
  // a program line.
  SourceText program = ParseSource("print \"12345\": x\r\nend\r\n");
  EXPECT_EQ(program.header, SourceHeader{});
  EXPECT_EQ(program.lines, (Lines{"print \"12345\": x", "end"}));

  // An author line alone is the author; LF line ends lose no character.
  SourceText author = ParseSource("Rem * Author : Ann\nprint 1\n");
  EXPECT_EQ(author.header, (SourceHeader{"", "Ann", ""}));
  EXPECT_EQ(author.lines, (Lines{"print 1"}));
}

TEST(SourceFile, WhatIsWrittenReadsBackTheSame) {
  const std::vector<SourceText> texts = {
      {{"print 1"}, {"Game", "", "Today"}, {}},
      {{""}, {}, {}},
      // Program lines that look like header lines stay program lines, with or
      // without a header of their own.
      {{"Rem * Date   : x", "end"}, {}, {}},
      {{"Rem * Title  : y"}, {"", "", "Today"}, {}},
  };
  for (const SourceText& text : texts) {
    SourceText again = ParseSource(FormatSource(text.lines, text.header));
    EXPECT_EQ(again.lines, text.lines);
    EXPECT_EQ(again.header, text.header);
  }
}

TEST(SourceFile, ALoadAndSaveKeepsEveryProgramLineAndGainsNoEmptyHeaderLines) {
  struct Case {
    std::string file, saved;
  };
  const std::vector<Case> cases = {
      // Header lines in another order come back in the written order.
      {"Rem * Date   : today\r\nRem * Title  : Game\r\nprint 1\r\n",
       "Rem * Title  : Game\r\nRem * Date   : today\r\nprint 1\r\n"},
      {"Rem * Author : Ann\r\nRem * Date   : d\r\nRem * Title  : T\r\nend\r\n",
       "Rem * Title  : T\r\nRem * Author : Ann\r\nRem * Date   : d\r\nend\r\n"},
      // A field given twice: the second line is the program's.
      {"Rem * Title  : a\r\nRem * Title  : b\r\nend\r\n", "Rem * Title  : a\r\nRem * Title  : b\r\nend\r\n"},
      // An empty field is no line of the program; a line after the program
      // began is one, whatever it looks like.
      {"Rem * Author : \r\nprint 2\r\nRem * Title  : late\r\n", "print 2\r\nRem * Title  : late\r\n"},
      {"Rem * Date   : \r\nRem * Date   : x\r\n", "Rem * Date   : \r\nRem * Date   : x\r\n"},
      {"a\rb\n\nc", "a\r\nb\r\n\r\nc\r\n"},
  };
  for (const Case& c : cases) {
    const SourceText text = ParseSource(c.file);
    const std::string saved = FormatSource(text.lines, text.header);
    EXPECT_EQ(saved, c.saved) << c.file;
    const SourceText again = ParseSource(saved);
    EXPECT_EQ(again.lines, text.lines) << c.file;
    EXPECT_EQ(again.header, text.header) << c.file;
    EXPECT_EQ(FormatSource(again.lines, again.header), saved) << c.file;
  }
}

class SavedSource : public ::testing::Test {
 protected:
  std::string Path(const std::string& name) const { return temp_.File(name); }
  platform::TempFolder temp_;
};

TEST_F(SavedSource, SavesHeaderAndLinesWithCrLfAndReadsThemBackWhole) {
  const std::string long_line(100000, 'x');
  const Lines lines = {"print 1", "", "\t" + long_line};
  const SourceHeader header{"Title", "", "2026"};
  ASSERT_TRUE(SaveSourceFile(Path("a.kqa"), lines, header, {}));
  EXPECT_EQ(ReadAll(Path("a.kqa")),
            "Rem * Title  : Title\r\nRem * Date   : 2026\r\nprint 1\r\n\r\n\t" + long_line + "\r\n");
  std::optional<SourceText> back = LoadSourceFile(Path("a.kqa"));
  ASSERT_TRUE(back);
  EXPECT_EQ(back->lines, lines);
  EXPECT_EQ(back->header, header);
  ASSERT_TRUE(ReadSourceHeader(Path("a.kqa")));
  EXPECT_EQ(*ReadSourceHeader(Path("a.kqa")), header);
  EXPECT_FALSE(ReadSourceHeader(Path("a.txt")));
}

TEST_F(SavedSource, AFailedSaveKeepsTheOldFileAndLeavesNothingBehind) {
  ASSERT_TRUE(SaveSourceFile(Path("keep.kqa"), {"old"}, {}, {}));
  ASSERT_EQ(::chmod(Path("keep.kqa").c_str(), 0444), 0);
  std::string error;
  EXPECT_TRUE(IsFileReadOnly(Path("keep.kqa")));
  EXPECT_FALSE(SaveSourceFile(Path("keep.kqa"), {"new"}, {}, {}, &error));
  EXPECT_NE(error.find("read-only"), std::string::npos);
  EXPECT_EQ(ReadAll(Path("keep.kqa")), "old\r\n");
  EXPECT_FALSE(SaveSourceFile(Path("missing/x.kqa"), {"new"}, {}, {}, &error));
  size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(temp_.Path())) files += entry.is_regular_file();
  EXPECT_EQ(files, 1u);
}

// The editor holds every file in the program's character set, never shows
// the UTF-8 mark (so no edit can move it) and saves the file in the
// encoding and with the line ends it was read with; a character that set
// lacks comes back as itself.
TEST_F(SavedSource, AFileIsSavedInItsOwnEncodingAndLineEndsWithTheMarkOutOfSight) {
  const std::string mark = "\xEF\xBB\xBF";
  struct Case {
    const char* what;
    std::string file;
    Lines lines;           // as the editor shows them
    std::string title;     // of the header
    std::string saved;     // after a line "end" is added above the first
  } cases[] = {
      {"Windows-1252", "print \"caf\xE9\"\r\n", {"print \"caf\xE9\""}, "", "end\r\nprint \"caf\xE9\"\r\n"},
      {"UTF-8 with the mark", mark + "Rem * Title  : Caf\xC3\xA9\r\nprint \"\xE2\x80\x93\"\r\n",
       {"print \"\x96\""}, "Caf\xE9", mark + "Rem * Title  : Caf\xC3\xA9\r\nend\r\nprint \"\xE2\x80\x93\"\r\n"},
      {"UTF-8 without it, LF line ends", "print \"\xC3\xA9\"\n", {"print \"\xE9\""}, "", "end\nprint \"\xC3\xA9\"\n"},
      {"LF line ends, the header's too", "Rem * Title  : T\nprint 1\n", {"print 1"}, "T",
       "Rem * Title  : T\nend\nprint 1\n"},
      {"lone CR line ends", "print 1\rprint 2", {"print 1", "print 2"}, "", "end\rprint 1\rprint 2\r"},
      {"characters Windows-1252 lacks", mark + "rem \xE2\x86\x92 \xF0\x9F\x98\x80\r\n",
       {"rem \x81U+2192\x81 \x81U+1F600\x81"}, "", mark + "end\r\nrem \xE2\x86\x92 \xF0\x9F\x98\x80\r\n"},
      {"not UTF-8, so Windows-1252", "a$ = \"\xC3\xA9\xE9\"\r\n", {"a$ = \"\xC3\xA9\xE9\""}, "",
       "end\r\na$ = \"\xC3\xA9\xE9\"\r\n"},
      {"Windows-1252 behind the mark", mark + "a$ = \"\xE9\"\r\n", {"a$ = \"\xE9\""}, "",
       mark + "end\r\na$ = \"\xE9\"\r\n"},
  };
  for (const Case& c : cases) {
    std::ofstream(Path("p.kqa"), std::ios::binary) << c.file;
    std::optional<SourceText> text = LoadSourceFile(Path("p.kqa"));
    ASSERT_TRUE(text) << c.what;
    EXPECT_EQ(text->lines, c.lines) << c.what;
    EXPECT_EQ(text->header.title, c.title) << c.what;
    ASSERT_TRUE(ReadSourceHeader(Path("p.kqa"))) << c.what;
    EXPECT_EQ(ReadSourceHeader(Path("p.kqa"))->title, c.title) << c.what;
    text->lines.insert(text->lines.begin(), "end");
    ASSERT_TRUE(SaveSourceFile(Path("p.kqa"), text->lines, text->header, text->form)) << c.what;
    EXPECT_EQ(ReadAll(Path("p.kqa")), c.saved) << c.what;
  }
  // What a person types is Windows-1252, saved in UTF-8 in a UTF-8 file; a
  // written-out character cut short by an edit is no character any more.
  const platform::TextEncoding utf8{true, false};
  EXPECT_EQ(FileOfEditorText("\xE9 \x81U+2192\x81 \x81U+21\x81", utf8),
            "\xC3\xA9 \xE2\x86\x92 \xEF\xBF\xBDU+21\xEF\xBF\xBD");
}

// A pipe or a device would hold the editor up until something wrote to it,
// or for ever (desktop.editor_work opens a pipe).
TEST_F(SavedSource, OnlyARegularFileIsReadAndAnyOtherIsRefusedWithItsCause) {
  ASSERT_EQ(::symlink("/dev/null", Path("device.kqa").c_str()), 0);
  std::string error;
  EXPECT_FALSE(LoadSourceFile(Path("device.kqa"), &error));
  EXPECT_NE(error.find("no regular file"), std::string::npos) << error;
  EXPECT_FALSE(ReadSourceHeader(Path("device.kqa")));
  EXPECT_FALSE(LoadSourceFile(temp_.Path(), &error));
  EXPECT_NE(error.find("a folder"), std::string::npos) << error;
}

TEST_F(SavedSource, ProgramsAreKnownByExtensionAndExecutablesByTheirMode) {
  EXPECT_TRUE(IsSourceFileName("GAME.KQA"));
  EXPECT_TRUE(IsSourceFileName("dir/a.kqa"));
  EXPECT_FALSE(IsSourceFileName("kqa"));
  for (const char* name : {"game", "Game.Exe"}) std::ofstream(Path(name)) << "x";
  ::chmod(Path("game").c_str(), 0755);
  EXPECT_TRUE(IsExecutableFile(Path("game")));
  EXPECT_FALSE(IsExecutableFile(Path("Game.Exe")));
  EXPECT_FALSE(IsExecutableFile(temp_.Path()));  // a folder is searchable, not startable
  EXPECT_FALSE(IsExecutableFile(Path("missing")));
}

}  // namespace
}  // namespace zv::editor
