#include "editor/help/help_pages.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "compiler/compiler.h"
#include "editor/help/help_markup.h"

namespace zv {
namespace {

bool IsPage(std::string_view name) { return name.size() > 4 && name.substr(name.size() - 4) == ".htm"; }
bool IsProgram(std::string_view name) { return name.size() > 4 && name.substr(name.size() - 4) == ".kqa"; }

// The values of one attribute of a page's A tags (upper-cased), in page
// order: HREF for the links' targets, NAME for the places links lead to.
std::vector<std::string> LinkAttributes(std::string_view page, std::string_view name = "HREF") {
  std::vector<std::string> targets;
  size_t pos = 0;
  for (HelpToken token = NextHelpToken(page, &pos); token.kind != HelpToken::Kind::kEnd;
       token = NextHelpToken(page, &pos)) {
    const std::string tag = UpperAscii(token.text);
    if (token.kind != HelpToken::Kind::kTag || tag.rfind("A ", 0) != 0) continue;
    size_t at = 2;
    HelpAttribute attribute;
    while (ParseHelpAttribute(tag, &at, &attribute))
      if (attribute.name == name) targets.push_back(attribute.value);
  }
  return targets;
}

TEST(HelpPagesTest, EveryLinkOpensAFileAndEveryFileIsReachedFromTheStartPage) {
  ASSERT_NE(FindHelpFile("index.htm"), nullptr);
  std::set<std::string> reached;
  std::vector<std::string> pending{"index.htm"};
  while (!pending.empty()) {
    const HelpFile* file = FindHelpFile(pending.back());
    pending.pop_back();
    ASSERT_NE(file, nullptr);
    if (!reached.insert(std::string(file->name)).second || !IsPage(file->name)) continue;
    // Page text keeps its line breaks as CR LF: the viewer turns a lone LF
    // into nothing, which would glue words together.
    for (size_t i = file->data.find('\n'); i != std::string_view::npos; i = file->data.find('\n', i + 1))
      ASSERT_TRUE(i > 0 && file->data[i - 1] == '\r') << file->name;
    for (const std::string& target : LinkAttributes(file->data)) {
      const HelpFile* linked = FindHelpFile(target);
      ASSERT_NE(linked, nullptr) << target << " linked from " << file->name;
      EXPECT_EQ(IsHelpProgramLink(target), IsProgram(linked->name)) << target;
      // A link to a place of a page leads to a place the page has.
      if (const size_t hash = target.find('#'); hash != std::string::npos) {
        const std::vector<std::string> places = LinkAttributes(linked->data, "NAME");
        EXPECT_NE(std::find(places.begin(), places.end(), target.substr(hash + 1)), places.end()) << target;
      }
      pending.push_back(std::string(linked->name));
    }
  }
  for (const HelpFile& file : HelpFiles()) EXPECT_TRUE(reached.count(std::string(file.name))) << file.name;
}

// A page holds the editor's characters, never its source's UTF-8 ("é" showed as "Ã©").
TEST(HelpPagesTest, EveryPageHoldsTheEditorsCharacters) {
  for (const HelpFile& file : HelpFiles())
    for (size_t i = 0; IsPage(file.name) && i + 1 < file.data.size(); ++i)
      EXPECT_FALSE(static_cast<uint8_t>(file.data[i]) >= 0xC2 && static_cast<uint8_t>(file.data[i]) <= 0xF4 &&
                   (static_cast<uint8_t>(file.data[i + 1]) & 0xC0) == 0x80)
          << file.name << ": " << file.data.substr(i > 20 ? i - 20 : 0, 40);
  EXPECT_NE(FindHelpFile("console.htm")->data.find("\"\xe9\", \"\xfc\" and \"\x80\""), std::string::npos);
}

TEST(HelpPagesTest, EveryExampleProgramCompiles) {
  int programs = 0;
  for (const HelpFile& file : HelpFiles()) {
    if (!IsProgram(file.name)) continue;
    ++programs;
    const CompileResult result = CompileSource(file.data, std::string(file.name));
    EXPECT_TRUE(result.ok) << (result.error ? FormatCompileError(*result.error) : std::string());
  }
  EXPECT_GT(programs, 20);
}

TEST(HelpPagesTest, WritesEveryFileBelowTheFolderForTheEditorToOpen) {
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("zv_help_files_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
  std::filesystem::remove_all(folder);
  std::string error;
  ASSERT_TRUE(WriteHelpFiles(folder, &error)) << error;
  for (const HelpFile& file : HelpFiles()) {
    std::ifstream in(folder / std::string(file.name), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str(), file.data) << file.name;
  }
  // Writing again over the files replaces them whole.
  EXPECT_TRUE(WriteHelpFiles(folder, &error)) << error;
  std::filesystem::remove_all(folder);
  // A folder that cannot be made is reported, not ignored.
  EXPECT_FALSE(WriteHelpFiles("/proc/zv_no_such_place", &error));
  EXPECT_FALSE(error.empty());
}

}  // namespace
}  // namespace zv
