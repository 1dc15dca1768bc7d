#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "compiler/command_table.h"
#include "editor/help/generator/error_table.h"
#include "editor/help/generator/help_check.h"
#include "editor/help/generator/help_source.h"
#include "editor/help/generator/help_writers.h"

namespace zv::helpgen {
namespace {

constexpr const char* kTable =
    "load thing%1%sl\n"
    "load thing%2%sll\n"
    "thing size[%3%ll\n"
    "call it%4%ls\n"
    "call it%5%lsz\n"
    "call it%6%lszz\n"
    "forgotten%7%0\n"
    "stop it%8%0\n";

std::vector<std::string> Check(const std::string& source, std::vector<HelpFamily>* out = nullptr) {
  std::vector<std::string> problems;
  std::vector<HelpFamily> families{ParseHelpFamily(source, "010_things.txt", &problems)};
  ResolveErrors(ParseErrorTable("ZV_ERROR_TEXT(7001, 92, \"Thing number out of range\")\n"), &families, &problems);
  const std::vector<std::string> checked = CheckHelp(families, TableRowsOf(CommandTable::Parse(kTable)));
  problems.insert(problems.end(), checked.begin(), checked.end());
  if (out) *out = families;
  return problems;
}

bool Mentions(const std::vector<std::string>& problems, const std::string& text) {
  return std::any_of(problems.begin(), problems.end(),
                     [&](const std::string& p) { return p.find(text) != std::string::npos; });
}

TEST(HelpGeneratorTest, ChecksTheSourceAgainstTheCommandTable) {
  const std::vector<std::string> problems = Check(
      "@family things\n"
      "@title Things\n"
      "@command load thing\n"
      "@syntax load thing file$, thing [, mode]\n"
      "Loads a thing.\n"
      "@error 7001\n"
      "@error 9999 no such error\n"
      "@see function thing size; missing entry\n"
      "@function thing size\n"
      "@syntax thing size(thing, extra)\n"
      "Its size.\n"
      "@command call it\n"
      "@syntax call it thing, name$ [, argument ...]\n"
      "Calls it.\n"
      "@command stop it\n"
      "@syntax stop it\n"
      "@command no such command\n"
      "@syntax no such command\n"
      "Nothing.\n");
  // A row without an entry fails the check: that is what keeps the help whole.
  EXPECT_TRUE(Mentions(problems, "\"forgotten%7%0\" of the command table has no help entry"));
  EXPECT_TRUE(Mentions(problems, "the command table has no row \"no such command\""));
  EXPECT_TRUE(Mentions(problems, "no row of the command table fits \"thing size(thing, extra)\""));
  EXPECT_TRUE(Mentions(problems, "no syntax line fits the row \"thing size[%3%ll\""));
  EXPECT_TRUE(Mentions(problems, "stop it: no text says what it does"));
  EXPECT_TRUE(Mentions(problems, "\"see missing entry\" names no entry"));
  EXPECT_TRUE(Mentions(problems, "the runtime has no error 9999"));
  // Optional and open-ended parameters cover every row of their names.
  EXPECT_FALSE(Mentions(problems, "load thing%"));
  EXPECT_FALSE(Mentions(problems, "call it%"));
  EXPECT_EQ(problems.size(), 7u) << ::testing::PrintToString(problems);
}

TEST(HelpGeneratorTest, StringsMustMatchWhileNumbersConvert) {
  const std::vector<std::string> problems = Check(
      "@family things\n"
      "@command load thing\n"
      "@syntax load thing file, thing#\n"
      "Loads.\n"
      "@syntax load thing file$, thing#, mode#\n");
  // "file" is a number where the row wants a string; the float for an
  // integer operand is fine, the compiler converts it.
  EXPECT_TRUE(Mentions(problems, "no row of the command table fits \"load thing file, thing#\""));
  EXPECT_TRUE(Mentions(problems, "no syntax line fits the row \"load thing%1%sl\""));
  EXPECT_FALSE(Mentions(problems, "load thing%2%sll"));
}

TEST(HelpGeneratorTest, PagesEscapeTagSignsAndGiveFunctionsTheirResultType) {
  std::vector<HelpFamily> families;
  Check("@family things\n"
        "@title Things <new>\n"
        "@intro\n"
        "Text with `code` & a <tag>.\n"
        "@function thing size\n"
        "@syntax thing size(thing)\n"
        "Gives a < b.\n"
        "@example Show it\n"
        "| print thing size(1)\n",
        &families);
  const std::vector<TableRow> rows = TableRowsOf(CommandTable::Parse(kTable));
  const std::vector<GeneratedFile> pages = MakeHelpPages(families, rows);
  ASSERT_EQ(pages.size(), 3u);
  EXPECT_EQ(pages[0].name, "index.htm");
  const std::string& family = pages[1].data;
  EXPECT_EQ(pages[1].name, "things.htm");
  EXPECT_NE(family.find("Things &lt;new&gt;"), std::string::npos);
  EXPECT_NE(family.find("Text with code &amp; a &lt;tag&gt;."), std::string::npos);
  EXPECT_NE(family.find("integer = thing size(thing)"), std::string::npos);
  EXPECT_NE(family.find("<A HREF=\"examples/things_show_it.kqa\">Show it</A>"), std::string::npos);
  EXPECT_EQ(pages[2].name, "examples/things_show_it.kqa");
  EXPECT_NE(pages[2].data.find("Rem * Title  : Show it\r\n"), std::string::npos);

  const std::vector<GeneratedFile> markdown = MakeMarkdownReference(families, rows);
  ASSERT_EQ(markdown.size(), 3u);
  EXPECT_NE(markdown[1].data.find("Text with `code` & a &lt;tag>."), std::string::npos);
  // The reference links its example as the pages do, and has the file there.
  EXPECT_NE(markdown[1].data.find("[*Show it*](examples/things_show_it.kqa)"), std::string::npos);
  EXPECT_EQ(markdown[2].name, pages[2].name);
  EXPECT_EQ(markdown[2].data, pages[2].data);
  EXPECT_NE(markdown[1].data.find("<a id=\"function-thing-size\"></a>"), std::string::npos);
  EXPECT_NE(markdown[0].data.find("[`thing size()`](things.md#function-thing-size)"), std::string::npos);

  // The embedded source keeps every byte, quotes and controls included.
  const std::string cc = MakeEmbeddedSource({{"a.htm", std::string("q\"\\\r\n\x01?9", 8)}});
  EXPECT_NE(cc.find("\"q\\\"\\\\\\r\\n\"\n    \"\\001\\0779\""), std::string::npos) << cc;
}

}  // namespace
}  // namespace zv::helpgen
