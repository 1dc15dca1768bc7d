#include "editor/requester.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <memory>

#include "editor/language_texts.h"
#include "editor/surface_drawing.h"
#include "platform/paths/temp_folder.h"
#include "platform/window/window.h"

namespace zv::editor {
namespace {

namespace key = platform::key;

class Requester : public ::testing::Test {
 protected:
  void SetUp() override {
    text_ = platform::CreateTextService();
    font_ = GlyphFont::Create(*text_);
    ASSERT_TRUE(font_);
    screen_ = std::make_unique<EditorScreen>(*font_, images_);
  }
  void Type(const std::string& text) {
    for (char c : text) screen_->Character(static_cast<unsigned char>(c));
  }

  std::unique_ptr<platform::TextService> text_;
  std::unique_ptr<GlyphFont> font_;
  EditorImages images_;
  std::unique_ptr<EditorScreen> screen_;
  platform::TempFolder temp_;
};

TEST_F(Requester, TypingReplacesAFreshFieldUnlessTheCaretMovedFirst) {
  screen_->BuildDialog(kind::kFind, 320, 240, {});
  screen_->FieldText(1) = "old";
  screen_->ActivateField(1);
  Type("new");
  screen_->CommitField();
  EXPECT_EQ(screen_->FieldText(1), "new");

  screen_->ActivateField(1);
  screen_->KeyDown(key::kLeft);  // only ends the freshness
  Type("!");
  screen_->KeyDown(key::kLeft);
  screen_->KeyDown(key::kLeft);
  screen_->KeyDown(key::kDelete);
  screen_->Character(key::kBackspace);
  screen_->Character(key::kEnter);  // commits
  EXPECT_EQ(screen_->ActiveField(), 0);
  EXPECT_EQ(screen_->FieldText(1), "n!");

  screen_->ActivateField(1);
  Type(std::string(300, 'x'));
  screen_->CommitField();
  EXPECT_EQ(screen_->FieldText(1).size(), EditorScreen::kFieldLimit);
  EXPECT_TRUE(screen_->KeyDown(key::kEscape));
}

TEST_F(Requester, ClicksFindButtonsAndFieldsInsideThePanel) {
  screen_->BuildDialog(kind::kReplace, 320, 240, {});
  const Rect& o = screen_->Origin();
  EXPECT_EQ(o, (Rect{320 - 111, 240 - 70, 320 - 111 + 222, 240 - 70 + 140}));
  const RequesterButton& replace = screen_->Button(2);
  EXPECT_EQ(screen_->HitTest(o.left + replace.x + 3, o.top + replace.y + 3).button, 2);
  EXPECT_TRUE(screen_->Button(2).pressed);
  // A click on the second field commits the first and edits the second.
  Type("a");
  EXPECT_EQ(screen_->HitTest(o.left + 40, o.top + 76).button, 0);
  EXPECT_EQ(screen_->FieldText(1), "a");
  EXPECT_EQ(screen_->ActiveField(), 2);
  // A click beside the fields loses no key typed after it.
  EXPECT_EQ(screen_->HitTest(o.left + 2, o.top + 2).button, 0);
  Type("b");
  screen_->CloseDialog();
  EXPECT_EQ(screen_->FieldText(2), "b");
  EXPECT_FALSE(screen_->IsOpen());
  EXPECT_FALSE(screen_->Button(2).active);
}

// A question or message too long for its box is set in two lines broken
// between words; a name longer than a line keeps its beginning and its end.
TEST_F(Requester, LongTextsFitTheirBoxWithNamesShortenedInTheMiddle) {
  const std::string asked = "holds unsaved changes. Open it?";
  const std::string name = "tests_" + std::string(60, 'x') + "_moving_a_sprite.kqa.autosave";
  struct Case {
    std::string text;
    size_t lines;
  } cases[] = {{"Quit the editor?", 1}, {"game.kqa.autosave " + asked, 1},
               {"a_rather_long_program_name_for_moving_a_sprite.kqa.autosave " + asked, 2}, {name + " " + asked, 2}};
  for (const Case& c : cases) {
    const std::vector<std::string> lines = FitText(*font_, c.text, 385, 2);
    ASSERT_EQ(lines.size(), c.lines) << c.text;
    for (const std::string& line : lines) EXPECT_LE(font_->TextWidth(line), 385) << line;
    if (c.lines == 2) {
      EXPECT_EQ(lines.back().substr(lines.back().size() - 8), "Open it?");
    }
  }
  const std::string first = FitText(*font_, name + " " + asked, 385, 2).front();
  EXPECT_EQ(first.substr(0, 8), "tests_xx");
  EXPECT_NE(first.find("..."), std::string::npos);
  EXPECT_EQ(first.substr(first.size() - 19), "sprite.kqa.autosave");
}

// A message of more lines than the box's two grows the box: the left edge
// of its frame is as tall as the lines need.
TEST_F(Requester, AMessageIsShownWholeInABoxThatGrows) {
  const SurfacePtr surface = MakeEditorSurface(640, 480);
  ASSERT_TRUE(surface);
  const auto edge_height = [&surface] {
    int32_t rows = 0;
    for (int32_t y = 0; y < 480; ++y) rows += (surface->PixelAt(118, y) & 0xFFFFFF) == 0x806020;
    return rows;
  };
  screen_->BuildDialog(kind::kFind, 320, 240, temp_.Path());
  screen_->SetMessage("short");
  screen_->UpdateDialog(*surface);
  const int32_t two_lines = edge_height();
  std::string words;
  for (int i = 0; i < 40; ++i) words += "word" + std::to_string(i) + " ";
  ASSERT_EQ(FitText(*font_, words, 388, 0).size(), 5u);
  screen_->SetMessage(words);
  screen_->UpdateDialog(*surface);
  EXPECT_EQ(edge_height(), two_lines + 3 * 20);
}

TEST_F(Requester, TheProjectButtonSaysSelectForAListedProject) {
  ::mkdir(temp_.File("space").c_str(), 0755);
  screen_->BuildDialog(kind::kProject, 320, 240, temp_.Path());
  Type("Space");
  EXPECT_EQ(screen_->Button(2).label, LanguageText(Text::kSelect));
  Type("x");
  EXPECT_EQ(screen_->Button(2).label, LanguageText(Text::kNew));
  // Folders only, and no way up out of the project area.
  ASSERT_EQ(screen_->List().Entries().size(), 1u);
  EXPECT_EQ(screen_->List().Entries()[0].name, "space");
}

}  // namespace
}  // namespace zv::editor
