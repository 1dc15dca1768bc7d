#include "editor/source_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

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
      {{"print 1"}, {"Game", "", "Today"}},
      {{""}, {}},
      // Program lines that look like header lines stay program lines, with or
      // without a header of their own.
      {{"Rem * Date   : x", "end"}, {}},
      {{"Rem * Title  : y"}, {"", "", "Today"}},
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
  ASSERT_TRUE(SaveSourceFile(Path("a.kqa"), lines, header));
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
  ASSERT_TRUE(SaveSourceFile(Path("keep.kqa"), {"old"}, {}));
  ASSERT_EQ(::chmod(Path("keep.kqa").c_str(), 0444), 0);
  std::string error;
  EXPECT_TRUE(IsFileReadOnly(Path("keep.kqa")));
  EXPECT_FALSE(SaveSourceFile(Path("keep.kqa"), {"new"}, {}, &error));
  EXPECT_NE(error.find("read-only"), std::string::npos);
  EXPECT_EQ(ReadAll(Path("keep.kqa")), "old\r\n");
  EXPECT_FALSE(SaveSourceFile(Path("missing/x.kqa"), {"new"}, {}, &error));
  size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(temp_.Path())) files += entry.is_regular_file();
  EXPECT_EQ(files, 1u);
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
