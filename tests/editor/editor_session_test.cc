#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>

#include "editor/autosave.h"
#include "editor/editor.h"
#include "editor/help/help_pages.h"
#include "editor/kept_changes.h"
#include "editor/kept_list.h"
#include "editor/language_texts.h"
#include "platform/clock/clock.h"
#include "platform/paths/temp_folder.h"
#include "platform/present/headless/headless_presenter.h"
#include "platform/window/headless/headless_window.h"
#include "runtime/attached/attached_data.h"
#include "tests/support/test_paths.h"

namespace zv::editor {
namespace {

namespace fs = std::filesystem;
namespace key = platform::key;
using platform::WindowEventKind;

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteAll(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

// The editor in a headless window, driven by the events a user would make.
class EditorDriver : public ::testing::Test {
 protected:
  void SetUp() override {
    // What the editor keeps and offers is the test's own.
    ::setenv("XDG_STATE_HOME", File("state").c_str(), 1);
    auto presenter = std::make_unique<platform::HeadlessPresenter>();
    presenter_ = presenter.get();
    display_ = std::make_unique<EditorDisplay>(std::move(presenter));
    text_ = platform::CreateTextService();
    EditorOptions options;
    options.app_folder = temp_.Path();
    options.stub_path = zv::test::ZentrovexBinary();
    options.clock = &clock_;
    options.run_program = [this](const RunRequest& request) {
      runs_.push_back(request);
      ran_source_ = ReadAll(request.source);
      return run_outcome_;
    };
    options_ = options;
    NewEditor();
  }
  void TearDown() override { ::unsetenv("XDG_STATE_HOME"); }
  // A start of the editor, after an earlier one's end.
  void NewEditor() {
    editor_.reset();
    editor_ = std::make_unique<Editor>(*display_, window_, clipboard_, *text_, options_);
    ASSERT_TRUE(editor_->Ready());
    Pump();
  }

  // Lets the due events happen and draws a few frames, each keep that fell
  // due written by its end.
  void Pump(int frames = 2) {
    for (int i = 0; i < frames; ++i) {
      platform::WindowEvent event;
      while (window_.PollEvent(&event)) editor_->HandleEvent(event);
      editor_->Frame();
      editor_->FinishKeeping();
      clock_.Advance(16);
    }
  }
  void Key(int k, bool control = false) {
    const uint32_t now = clock_.NowMs();
    if (control) window_.Post({WindowEventKind::kKeyDown, key::kControl}, now);
    window_.PressKey(k, now, 5);
    if (control) window_.Post({WindowEventKind::kKeyUp, key::kControl}, now + 8);
    Pump();
  }
  void Type(const std::string& text) {
    window_.Type(text, clock_.NowMs());
    Pump();
  }
  void Click(int32_t x, int32_t y) {
    window_.Click(platform::mouse_button::kLeft, x, y, clock_.NowMs(), 5);
    Pump();
  }
  void ClickButton(int32_t slot) {
    const Rect& o = editor_->Requester().Origin();
    const RequesterButton& b = editor_->Requester().Button(slot);
    ASSERT_TRUE(b.active) << "button " << slot;
    Click(o.left + b.x + b.width / 2, o.top + b.y + b.height / 2);
  }
  std::string File(const std::string& name) const { return temp_.File(name); }
  const std::vector<std::string>& Lines() { return editor_->Live().buffer.lines; }

  platform::TempFolder temp_;
  platform::ManualClock clock_;
  platform::HeadlessWindow window_{clock_};
  platform::MemoryClipboard clipboard_;
  platform::HeadlessPresenter* presenter_ = nullptr;
  std::unique_ptr<EditorDisplay> display_;
  std::unique_ptr<platform::TextService> text_;
  EditorOptions options_;
  std::unique_ptr<Editor> editor_;
  std::vector<RunRequest> runs_;
  std::string ran_source_;
  RunOutcome run_outcome_{true, 0, {}};
};

TEST_F(EditorDriver, LoadsEditsAndSavesAProgramKeepingItsHeader) {
  WriteAll(File("game.kqa"), "Rem * Title  : Game\r\nprint 1\nend");
  ASSERT_TRUE(editor_->OpenFile(File("game.kqa")));
  EXPECT_EQ(Lines(), (std::vector<std::string>{"print 1", "end"}));
  Key(key::kDown);
  Key(35);  // End
  Type("\rprint 2");
  EXPECT_TRUE(editor_->Live().buffer.modified);
  EXPECT_NE(editor_->View().Status().find("game.kqa"), std::string::npos);
  Key('S', true);
  EXPECT_EQ(ReadAll(File("game.kqa")), "Rem * Title  : Game\r\nprint 1\r\nend\r\nprint 2\r\n");
  EXPECT_FALSE(editor_->Live().buffer.modified);
  EXPECT_EQ(editor_->View().Status(), LanguageText(Text::kSaved));
  EXPECT_EQ(editor_->RecentFiles().Entries().front().name, "game.kqa");
}

TEST_F(EditorDriver, SavesANewProgramThroughTheRequesterAndAsksBeforeReplacing) {
  Type("print 3");
  editor_->RunCommand(Command::kSaveAs);
  ASSERT_EQ(editor_->Mode(), mode::kSaveAs);
  Type("first");  // a name without a dot gets the program extension
  ClickButton(2);
  EXPECT_EQ(editor_->Mode(), mode::kEditing);
  EXPECT_EQ(ReadAll(File("first.kqa")), "print 3\r\n");
  EXPECT_EQ(editor_->Live().file_name, "first.kqa");

  Type("!");
  editor_->RunCommand(Command::kSaveAs);
  Type("first.KQA");  // the same file, in other letters
  ClickButton(2);
  ASSERT_EQ(editor_->Mode(), mode::kConfirmOverwrite);
  ClickButton(2);  // yes
  EXPECT_EQ(ReadAll(File("first.kqa")), "print 3!\r\n");

  editor_->RunCommand(Command::kSaveAs);
  Key(key::kEscape);  // any requester closes on Escape
  EXPECT_EQ(editor_->Mode(), mode::kEditing);
}

// A save that fails says why, in the requester and on the status line, and
// the program stays unsaved.
TEST_F(EditorDriver, AFailedSaveSaysWhy) {
  Type("print 3");
  editor_->RunCommand(Command::kSaveAs);
  Type("nowhere/first.kqa");
  ClickButton(2);
  EXPECT_EQ(editor_->Mode(), mode::kSaveAs);
  EXPECT_EQ(editor_->Requester().Message(), "The file could not be saved: no such file or directory.");
  Key(key::kEscape);

  ::mkdir(File("sub").c_str(), 0755);
  WriteAll(File("sub/game.kqa"), "print 1\r\n");
  ASSERT_TRUE(editor_->OpenFile(File("sub/game.kqa")));
  Type("!");
  std::filesystem::remove_all(File("sub"));
  WriteAll(File("sub"), "a file where the folder was");
  Key('S', true);
  EXPECT_EQ(editor_->View().Status(), "The file could not be saved: not a directory.");
  EXPECT_TRUE(editor_->Live().buffer.modified);
}

TEST_F(EditorDriver, TypedNamesFindFilesWithoutRegardToCase) {
  ::mkdir(File("Levels").c_str(), 0755);
  WriteAll(File("old.kqa"), "print 1\r\n");
  WriteAll(File("Levels/one.kqa"), "print 2\r\n");
  // Loading: a listed name and a typed path, each spelled in other letters.
  for (const std::string name : {"OLD.KQA", "levels/ONE.kqa"}) {
    editor_->RunCommand(Command::kOpen);
    Type(name);
    ClickButton(2);
    EXPECT_EQ(editor_->Mode(), mode::kEditing) << name;
    EXPECT_EQ(editor_->Live().buffer.modified, false) << name;
  }
  EXPECT_EQ(Lines(), (std::vector<std::string>{"print 2"}));
  EXPECT_EQ(editor_->Live().folder, File("Levels"));

  // Saving "Old" means old.kqa: it asks before replacing it and makes no
  // second file beside it.
  editor_->RunCommand(Command::kSaveAs);
  Key(key::kBackspace);
  Type(temp_.Path() + "/Old");
  ClickButton(2);
  ASSERT_EQ(editor_->Mode(), mode::kConfirmOverwrite);
  ClickButton(2);
  EXPECT_EQ(ReadAll(File("old.kqa")), "print 2\r\n");
  EXPECT_FALSE(std::filesystem::exists(File("Old.kqa")));
  // A name in a folder above gets its extension as a plain name does.
  editor_->RunCommand(Command::kSaveAs);
  Type("Levels/../up");
  ClickButton(2);
  EXPECT_EQ(ReadAll(File("up.kqa")), "print 2\r\n");
}

TEST_F(EditorDriver, ReplacesThroughTheRequesterAndUndoesTheReplace) {
  Type("x = x + 1\rprint x");
  editor_->RunCommand(Command::kReplace);
  Type("X");
  const Rect& o = editor_->Requester().Origin();
  Click(o.left + 40, o.top + 76);  // the second field
  Type("total");
  ClickButton(2);
  EXPECT_EQ(Lines(), (std::vector<std::string>{"total = total + 1", "print total"}));
  editor_->RunCommand(Command::kUndo);
  EXPECT_EQ(Lines(), (std::vector<std::string>{"x = x + 1", "print x"}));

  editor_->RunCommand(Command::kFind);
  Type("missing");
  ClickButton(2);
  EXPECT_EQ(editor_->Mode(), mode::kMessage);
  EXPECT_EQ(editor_->Requester().Message(), LanguageText(Text::kNotFound));
  Click(10, 10);  // the next click dismisses it
  EXPECT_EQ(editor_->Mode(), mode::kEditing);
  editor_->RunCommand(Command::kFind);
  Type("PRINT");
  ClickButton(2);
  EXPECT_EQ(editor_->Live().buffer.selection, (Selection{1, 0, 1, 5}));
}

TEST_F(EditorDriver, RunsTheTextBeingEditedAndComesBack) {
  WriteAll(File("run.kqa"), "print 1\r\n");
  ASSERT_TRUE(editor_->OpenFile(File("run.kqa")));
  Type("print 0\r");
  Key(key::kF1 + 4);  // F5
  ASSERT_EQ(runs_.size(), 1u);
  EXPECT_EQ(ran_source_, "print 0\r\nprint 1\r\n");
  EXPECT_EQ(runs_[0].folder, temp_.Path());
  EXPECT_EQ(editor_->View().Status(), LanguageText(Text::kRunFinished));

  // The run's window and its compile errors name the program's own file,
  // and the cursor goes to the line an error is on.
  EXPECT_EQ(runs_[0].shown_path, File("run.kqa"));
  run_outcome_ = {false, 3, "zentrovex: " + File("run.kqa") + ":1: error: unknown command\n"};
  Key(key::kF1 + 4);
  EXPECT_EQ(editor_->View().Status(),
            std::string(LanguageText(Text::kRunFailed)) + " run.kqa:1: error: unknown command");
  EXPECT_EQ(editor_->Live().buffer.cursor_line, 0);
  // A program that ran and stopped on an error ended on it, at its line.
  run_outcome_ = {true, 1, "Runtime Error : Division by zero. (line 2: /)\n"};
  Key(key::kF1 + 4);
  EXPECT_EQ(editor_->View().Status(), std::string(LanguageText(Text::kRunEndedOnError)) +
                                          " Runtime Error : Division by zero. (line 2: /)");
  EXPECT_EQ(editor_->Live().buffer.cursor_line, 1);
  // An error in an included file, or on a line past the program's own,
  // leaves the cursor where it was.
  Key(key::kUp);
  for (const std::string& report : {"zentrovex: " + File("other.kqa") + ":1: error: unknown command\n",
                                    std::string("Runtime Error : Division by zero. (line 2 of other.kqa: /)\n"),
                                    std::string("Runtime Error : Division by zero. (line 9: /)\n")}) {
    run_outcome_ = {true, 1, report};
    Key(key::kF1 + 4);
    EXPECT_EQ(editor_->Live().buffer.cursor_line, 0) << report;
  }
  EXPECT_EQ(ReadAll(File("run.kqa")), "print 1\r\n");  // running does not save
}

TEST_F(EditorDriver, AShortcutKeepsTheControlKeyOfItsOwnEvent) {
  WriteAll(File("quick.kqa"), "print 1\r\n");
  ASSERT_TRUE(editor_->OpenFile(File("quick.kqa")));
  Type("x");
  // Control is down and up again before the frame that handles the key.
  const uint32_t now = clock_.NowMs();
  window_.Post({WindowEventKind::kKeyDown, key::kControl}, now);
  window_.PressKey('S', now, 1);
  window_.Post({WindowEventKind::kKeyUp, key::kControl}, now + 2);
  clock_.Advance(5);
  Pump();
  EXPECT_EQ(ReadAll(File("quick.kqa")), "xprint 1\r\n");
  EXPECT_EQ(Lines().front(), "xprint 1");
}

TEST_F(EditorDriver, QuittingOnRequestKeepsUnsavedProgramsBesideThemselves) {
  WriteAll(File("kept.kqa"), "print 1\r\n");
  ASSERT_TRUE(editor_->OpenFile(File("kept.kqa")));
  Type("x");
  Key('2', true);
  Type("print 2");  // an unnamed program in the second tab
  editor_->QuitKeepingChanges();
  EXPECT_TRUE(editor_->QuitRequested());
  EXPECT_EQ(editor_->Mode(), mode::kEditing);  // nothing was asked
  EXPECT_EQ(ReadAll(File("kept.kqa")), "print 1\r\n");
  EXPECT_EQ(ReadAll(File("kept.kqa.autosave")), "xprint 1\r\n");
  EXPECT_EQ(ReadAll(File("untitled.kqa.autosave")), "print 2\r\n");
  // A second end (a stop signal's keep at once, then the editor's own)
  // keeps nothing twice; a change kept since goes beside the first.
  editor_->QuitKeepingChanges();
  EXPECT_FALSE(fs::exists(File("untitled.kqa.autosave-2")));
  Type("!");
  editor_->QuitKeepingChanges();
  EXPECT_EQ(ReadAll(File("untitled.kqa.autosave-2")), "print 2!\r\n");
  EXPECT_FALSE(fs::exists(File("kept.kqa.autosave-2")));
}

// Where the program's folder takes no file (here it is gone when the
// editor ends), the changes go to the user's state folder; either way,
// opening the program again offers each newer autosave, newest first, and
// taking one leaves it to be saved under the program's name.
TEST_F(EditorDriver, KeptChangesGoToTheStateFolderWhenTheProgramsFolderFailsAndAreOfferedOnOpening) {
  const std::string state = File("state");
  ::setenv("XDG_STATE_HOME", state.c_str(), 1);
  struct Case {
    const char* what;
    bool folder_gone;
  };
  for (const Case& c : {Case{"beside the program", false}, Case{"in the state folder", true}}) {
    SCOPED_TRACE(c.what);
    fs::remove_all(File("p"));
    fs::remove_all(state);
    fs::create_directory(File("p"));
    WriteAll(File("p/kept.kqa"), "print 1\r\n");
    const struct timespec past[2] = {{1000000, 0}, {1000000, 0}};
    ::utimensat(AT_FDCWD, File("p/kept.kqa").c_str(), past, 0);
    ASSERT_TRUE(editor_->OpenFile(File("p/kept.kqa")));
    Pump();
    ASSERT_EQ(editor_->Mode(), mode::kEditing);  // nothing newer is kept yet
    Type("x");
    if (c.folder_gone) fs::rename(File("p"), File("away"));
    editor_->QuitKeepingChanges();
    if (c.folder_gone) fs::rename(File("away"), File("p"));
    const std::string kept = c.folder_gone ? AutosaveInStateFolder(File("p"), "kept.kqa") : File("p/kept.kqa.autosave");
    EXPECT_EQ(ReadAll(kept), "xprint 1\r\n");
    EXPECT_EQ(ReadAll(File("p/kept.kqa")), "print 1\r\n");
    WriteAll(kept + "-2", "newer\r\n");  // a later end's, offered first

    NewEditor();
    ASSERT_TRUE(editor_->OpenFile(File("p/kept.kqa")));
    Pump();
    ASSERT_EQ(editor_->Mode(), mode::kOpenAutosave);
    ClickButton(1);  // no: the next, this one given up
    ASSERT_EQ(editor_->Mode(), mode::kOpenAutosave);
    EXPECT_FALSE(fs::exists(kept + "-2"));
    ClickButton(2);  // yes
    EXPECT_EQ(Lines().front(), "xprint 1");
    EXPECT_TRUE(editor_->Live().buffer.modified);
    EXPECT_EQ(editor_->Live().file_name, "kept.kqa");
    Key('S', true);  // its text saved, the autosave goes
    EXPECT_FALSE(fs::exists(kept));
  }
  ::unsetenv("XDG_STATE_HOME");
}

// Any start offers every program an earlier end kept, wherever it is and
// unnamed ones too, newest first, each into a tab free of unsaved changes
// (the next waits for one); an autosave goes once its text is saved, given
// up, or kept anew, and stays for a later start where Escape leaves it.
TEST_F(EditorDriver, AStartOffersEveryKeptProgramAndEachAnswerSettlesItsAutosave) {
  ::mkdir(File("p").c_str(), 0755);
  WriteAll(File("p/a.kqa"), "print 0\r\n");
  ASSERT_TRUE(editor_->OpenFile(File("p/a.kqa")));
  Type("x");
  Key('2', true);
  Type("print 2");
  editor_->QuitKeepingChanges();
  NewEditor();
  Type("print 3");
  editor_->QuitKeepingChanges();
  const std::string a = File("p/a.kqa.autosave"), two = File("untitled.kqa.autosave"), three = two + "-2";
  int second = 4;
  for (const std::string& path : {File("p/a.kqa"), three, two, a}) {  // oldest first
    const struct timespec when[2] = {{second, 0}, {second, 0}};
    ::utimensat(AT_FDCWD, path.c_str(), when, 0);
    second += 10;
  }
  NewEditor();
  editor_->OfferKeptPrograms();
  Pump();
  for (int tab = 1; tab <= 2; ++tab) {
    ASSERT_EQ(editor_->Mode(), mode::kOpenAutosave) << tab;
    ClickButton(2);
    Pump();
  }
  EXPECT_EQ(editor_->Mode(), mode::kEditing);  // both tabs hold unsaved changes
  EXPECT_EQ(Lines(), (std::vector<std::string>{"print 2"}));
  EXPECT_EQ(editor_->Live().file_name, "");
  Key('1', true);
  EXPECT_EQ(Lines(), (std::vector<std::string>{"xprint 0"}));
  Key('S', true);
  EXPECT_EQ(ReadAll(File("p/a.kqa")), "xprint 0\r\n");
  EXPECT_FALSE(fs::exists(a));
  // Tab 1 is free again: the offer waits for typing to pause, and a key
  // typed while it is asked puts it off and is the text's.
  const int pause_frames = static_cast<int>(Editor::kTypingPauseMs / 16) + 2;
  EXPECT_EQ(editor_->Mode(), mode::kEditing);
  Pump(pause_frames);
  ASSERT_EQ(editor_->Mode(), mode::kOpenAutosave);
  Type("q");
  EXPECT_EQ(editor_->Mode(), mode::kEditing);
  EXPECT_EQ(Lines(), (std::vector<std::string>{"qxprint 0"}));
  Key('Z', true);
  Pump(pause_frames);
  ASSERT_EQ(editor_->Mode(), mode::kOpenAutosave);
  ClickButton(1);
  EXPECT_FALSE(fs::exists(three));
  editor_->QuitKeepingChanges();  // tab 2 kept anew: one autosave for it
  EXPECT_FALSE(fs::exists(two));
  std::vector<std::string> kept;
  for (const auto& entry : fs::directory_iterator(temp_.Path()))
    if (IsAutosaveName(entry.path().filename().string())) kept.push_back(entry.path().string());
  ASSERT_EQ(kept.size(), 1u);
  ASSERT_EQ(ReadAll(kept.front()), "print 2\r\n");
  for (const bool escape : {true, false}) {
    NewEditor();
    editor_->OfferKeptPrograms();
    Pump();
    ASSERT_EQ(editor_->Mode(), mode::kOpenAutosave);
    if (escape) Key(key::kEscape);
  }
  EXPECT_TRUE(fs::exists(kept.front()));
}

// A change is kept where autosaves go a moment after it is made, and at
// once before a run; one autosave a tab, which is this editor's own and
// not offered to it, and goes once the text is saved or undone to its
// saved state.
TEST_F(EditorDriver, AChangeIsKeptWithinSecondsAndGoesOnceSavedOrUndone) {
  const auto autosaves = [this] {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(temp_.Path()))
      if (IsAutosaveName(entry.path().filename().string())) names.push_back(entry.path().filename().string());
    return names;
  };
  const int keep_frames = static_cast<int>(KeptChanges::kKeepAfterMs / 16) + 2;
  WriteAll(File("w.kqa"), "print 1\r\n");
  ASSERT_TRUE(editor_->OpenFile(File("w.kqa")));
  Type("x");
  EXPECT_TRUE(autosaves().empty());
  Pump(keep_frames);
  EXPECT_EQ(ReadAll(File("w.kqa.autosave")), "xprint 1\r\n");
  Key('2', true);
  ASSERT_TRUE(editor_->OpenFile(File("w.kqa")));
  Pump();
  EXPECT_EQ(editor_->Mode(), mode::kEditing);
  Key('1', true);
  Type("y");
  Pump(keep_frames);
  EXPECT_EQ(autosaves(), std::vector<std::string>{"w.kqa.autosave-2"});
  EXPECT_EQ(ReadAll(File("w.kqa.autosave-2")), "xyprint 1\r\n");
  editor_->RunCommand(Command::kUndo);
  Pump();
  EXPECT_EQ(Lines(), (std::vector<std::string>{"print 1"}));
  EXPECT_FALSE(editor_->Live().buffer.modified);
  EXPECT_TRUE(autosaves().empty());
  Type("z");
  Key(key::kF1 + 4);  // F5
  EXPECT_EQ(ReadAll(File("w.kqa.autosave")), "zprint 1\r\n");
  Key('S', true);
  EXPECT_TRUE(autosaves().empty());
}

// Closing the window while kept work is offered leaves it for a later
// start, as Escape does, and goes on to ask whether to quit.
TEST_F(EditorDriver, ClosingTheWindowAnswersAnOfferAsEscapeDoes) {
  WriteAll(File("c.kqa"), "print 1\r\n");
  WriteAll(File("c.kqa.autosave"), "print 2\r\n");
  ASSERT_TRUE(editor_->OpenFile(File("c.kqa")));
  Pump();
  ASSERT_EQ(editor_->Mode(), mode::kOpenAutosave);
  window_.Post({WindowEventKind::kClose}, clock_.NowMs());
  Pump();
  ASSERT_EQ(editor_->Mode(), mode::kQuit);
  ClickButton(1);  // no
  Pump();
  EXPECT_EQ(editor_->Mode(), mode::kEditing);
  EXPECT_EQ(ReadAll(File("c.kqa.autosave")), "print 2\r\n");
}

// The load requester takes a name as the save requester writes it, and an
// autosave as the unsaved changes of its program; Return does what Load
// does, and after a message every key typed still reaches the name.
TEST_F(EditorDriver, TheLoadRequesterTakesEveryKeyAndAnyNameASaveWrites) {
  WriteAll(File("b.kqa"), "print b\r\n");
  WriteAll(File("untitled.kqa.autosave"), "print k\r\n");
  editor_->RunCommand(Command::kOpen);
  Type("nope\r");
  EXPECT_EQ(editor_->Requester().Message(), LanguageText(Text::kLoadFailed));
  Type("\r\b\b\b\bb\r");
  EXPECT_EQ(Lines(), (std::vector<std::string>{"print b"}));
  editor_->RunCommand(Command::kOpen);
  Type("untitled.kqa.autosave\r");
  EXPECT_EQ(Lines(), (std::vector<std::string>{"print k"}));
  EXPECT_TRUE(editor_->Live().buffer.modified);
  EXPECT_EQ(editor_->Live().file_name, "");
}

// Kept changes are offered only where they are the user's own regular file,
// in the state folder also in the user's own folder: anything another user
// could have put or changed there is passed over.
TEST(KeptChanges, AreOfferedOnlyWhenTheyAreTheUsersOwnRegularFile) {
  const platform::TempFolder temp;
  const std::string& work = temp.Path();
  fs::create_directories(work + "/program");
  ::setenv("XDG_STATE_HOME", (work + "/state").c_str(), 1);
  struct Case {
    const char* what;
    void (*make)(const std::string& kept);
    bool offered;
    bool beside = false;  // beside the program, not in the state folder
  };
  const auto kLink = [](const std::string& kept) {
    WriteAll(kept + ".real", "x");
    fs::create_symlink(kept + ".real", kept);
  };
  const Case cases[] = {
      {"own file", [](const std::string& kept) { WriteAll(kept, "x"); }, true},
      {"others may write it", [](const std::string& kept) { WriteAll(kept, "x"); ::chmod(kept.c_str(), 0666); }, false},
      {"a link", kLink, false},
      {"a pipe", [](const std::string& kept) { ::mkfifo(kept.c_str(), 0600); }, false},
      {"its folder others may write",
       [](const std::string& kept) {
         WriteAll(kept, "x");
         ::chmod(fs::path(kept).parent_path().c_str(), 0777);
       },
       false},
      {"a link beside the program", kLink, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(work + "/state");
    WriteAll(work + "/program/p.kqa", "print 1\r\n");
    const struct timespec past[2] = {{1000000, 0}, {1000000, 0}};
    ::utimensat(AT_FDCWD, (work + "/program/p.kqa").c_str(), past, 0);
    const std::string state_kept = AutosaveInStateFolder(work + "/program", "p.kqa");
    fs::create_directories(fs::path(state_kept).parent_path());
    fs::permissions(work + "/state", fs::perms::owner_all);
    fs::permissions(fs::path(state_kept).parent_path(), fs::perms::owner_all);
    c.make(c.beside ? AutosaveBeside(work + "/program", "p.kqa") : state_kept);
    EXPECT_EQ(UnsavedAutosaves(work + "/program", "p.kqa").size(), c.offered ? 1u : 0u);
  }
  ::unsetenv("XDG_STATE_HOME");
}

TEST_F(EditorDriver, BuildsAGameThatRuns) {
  ::mkdir(File("project").c_str(), 0755);
  WriteAll(File("project/game.kqa"), "print \"built \" + str$(6 * 7)\r\nend\r\n");
  ASSERT_TRUE(editor_->OpenFile(File("project/game.kqa")));
  const int presents = presenter_->PresentCount();
  editor_->RunCommand(Command::kBuild);
  Type("game");
  ClickButton(2);
  // The game is named as typed and starts like any other program.
  const std::string game = File("project/game");
  ASSERT_TRUE(HasAttachedRecords(game)) << editor_->View().Status();
  EXPECT_EQ(editor_->View().Status(), LanguageText(Text::kBuilt));
  // The progress box was shown while the compiler worked.
  EXPECT_GT(presenter_->PresentCount(), presents + 3);

  std::FILE* out = ::popen(("cd " + temp_.Path() + " && ZENTROVEX_HEADLESS=1 " + game).c_str(), "r");
  ASSERT_NE(out, nullptr);
  std::array<char, 256> buffer{};
  std::string printed;
  while (std::fgets(buffer.data(), buffer.size(), out)) printed += buffer.data();
  EXPECT_EQ(::pclose(out), 0);
  EXPECT_EQ(printed, "built 42\n");

  // A program that does not compile builds nothing and says why.
  Type("x y z\r");
  editor_->RunCommand(Command::kBuild);
  // The build's list shows the game by its mode, and no program files.
  std::vector<std::string> listed;
  for (const FileListEntry& e : editor_->Requester().List().Entries())
    if (e.type != EntryType::kFolder) listed.push_back(e.name);
  EXPECT_EQ(listed, std::vector<std::string>{"game"});
  Type("broken");
  ClickButton(2);
  EXPECT_FALSE(HasAttachedRecords(File("project/broken")));
  EXPECT_NE(editor_->View().Status().find(std::string(LanguageText(Text::kBuildFailed))), std::string::npos);
  EXPECT_EQ(editor_->Live().buffer.cursor_line, 0);  // on the line that did not compile
}

// Build Executable never writes the game over one of its inputs: after the
// question, it says which the name is and leaves the file as it was.
TEST_F(EditorDriver, ABuildNeverTakesThePlaceOfItsInputs) {
  ::mkdir(File("inputs").c_str(), 0755);
  WriteAll(File("inputs/game.kqa"), "#include \"lib.kqa\"\r\nprint 1\r\n");
  WriteAll(File("inputs/lib.kqa"), "x = 1\r\n");
  WriteAll(File("inputs/level.dat"), "level\r\n");
  ASSERT_TRUE(editor_->OpenFile(File("inputs/game.kqa")));
  struct Case {
    Command command;
    const char* name;
    const char* said;
  };
  for (const Case& c : {Case{Command::kBuild, "game.kqa", "over its own program"},
                        Case{Command::kBuild, "lib.kqa", "the program includes it"},
                        Case{Command::kBuildWithMedia, "level.dat", "level.dat: the game carries it"}}) {
    const std::string before = ReadAll(File("inputs/") + c.name);
    editor_->RunCommand(c.command);
    Type(c.name);
    ClickButton(2);
    ClickButton(2);  // "Replace it?": yes
    const std::string status = editor_->View().Status();
    EXPECT_NE(status.find(std::string(LanguageText(Text::kBuildFailed))), std::string::npos) << c.name;
    EXPECT_NE(status.find(c.said), std::string::npos) << status;
    EXPECT_EQ(ReadAll(File("inputs/") + c.name), before) << c.name;
  }
}

TEST_F(EditorDriver, EscapeHeldStopsABuildWithMediaAndLeavesNoGame) {
  ::mkdir(File("media").c_str(), 0755);
  WriteAll(File("media/m.kqa"), "end\r\n");
  WriteAll(File("media/a.bmp"), "not really a picture");
  ASSERT_TRUE(editor_->OpenFile(File("media/m.kqa")));
  editor_->RunCommand(Command::kBuildWithMedia);
  Type("game");
  // Escape goes down while the build runs (after the click that starts it).
  const Rect& o = editor_->Requester().Origin();
  const RequesterButton& build = editor_->Requester().Button(2);
  window_.Click(platform::mouse_button::kLeft, o.left + build.x + 5, o.top + build.y + 5, clock_.NowMs(), 5);
  window_.Post({WindowEventKind::kKeyDown, key::kEscape}, clock_.NowMs());
  Pump();
  EXPECT_FALSE(HasAttachedRecords(File("media/game")));
  EXPECT_NE(editor_->View().Status().find("Escape"), std::string::npos) << editor_->View().Status();
}

TEST_F(EditorDriver, AProgramNamedButNotYetWrittenStartsEmptyAndIsCreatedBySaving) {
  ASSERT_TRUE(editor_->OpenFile(File("new.kqa")));
  Type("print 9");
  Key('S', true);
  EXPECT_EQ(ReadAll(File("new.kqa")), "print 9\r\n");
}

TEST_F(EditorDriver, DragsASelectionCutsAndPastesIt) {
  Type("alpha beta\rgamma");
  const int32_t w = editor_->Font().Width('a');
  const int32_t row0 = layout::kTextTop + 4, row1 = row0 + 13;
  window_.Post({WindowEventKind::kMouseMove, 0, 0, 2 + 6 * w + 1, row0}, clock_.NowMs());
  window_.Post({WindowEventKind::kMouseDown, platform::mouse_button::kLeft, 0, 2 + 6 * w + 1, row0}, clock_.NowMs());
  window_.Post({WindowEventKind::kMouseMove, 0, 0, 2 + 2 * w + 1, row1}, clock_.NowMs() + 20);
  window_.Post({WindowEventKind::kMouseUp, platform::mouse_button::kLeft, 0, 2 + 2 * w + 1, row1},
               clock_.NowMs() + 40);
  Pump(4);
  EXPECT_EQ(editor_->Live().buffer.selection, (Selection{0, 6, 1, 2}));
  Key('X', true);
  EXPECT_EQ(Lines(), (std::vector<std::string>{"alpha mma"}));
  EXPECT_EQ(clipboard_.GetText(), "beta\nga");
  Key(35);  // End
  Key('V', true);
  EXPECT_EQ(Lines(), (std::vector<std::string>{"alpha mmabeta", "ga"}));
}

// A UTF-8 program keeps every character through a cut and a paste, a save
// and the work file of a run, those Windows-1252 lacks too; the clipboard
// holds them as themselves.
TEST_F(EditorDriver, AUtf8ProgramKeepsItsCharactersThroughTheClipboardASaveAndARun) {
  const std::string mark = "\xEF\xBB\xBF", lines = "rem \xE2\x86\x92\r\nprint \"caf\xC3\xA9\"\r\n";
  WriteAll(File("marked.kqa"), mark + lines);
  ASSERT_TRUE(editor_->OpenFile(File("marked.kqa")));
  EXPECT_EQ(Lines(), (std::vector<std::string>{"rem \x81U+2192\x81", "print \"caf\xE9\""}));
  editor_->RunCommand(Command::kSelectAll);
  editor_->RunCommand(Command::kCut);
  EXPECT_EQ(clipboard_.GetUtf8Text(), "rem \xE2\x86\x92\nprint \"caf\xC3\xA9\"");
  EXPECT_EQ(Lines(), (std::vector<std::string>{""}));
  editor_->RunCommand(Command::kPaste);
  Type("\r");
  editor_->RunCommand(Command::kPaste);
  editor_->RunCommand(Command::kSave);
  const std::string twice = "rem \xE2\x86\x92\r\nprint \"caf\xC3\xA9\"\r\nrem \xE2\x86\x92\r\nprint \"caf\xC3\xA9\"\r\n";
  EXPECT_EQ(ReadAll(File("marked.kqa")), mark + twice);
  editor_->RunCommand(Command::kRun);
  EXPECT_EQ(ran_source_, mark + twice);
}

// A program the editor makes, and one that was valid UTF-8 (plain ASCII
// too), are saved in UTF-8; one in Windows-1252 stays so, and a character
// it cannot hold is refused, with the reason, not changed into another.
TEST_F(EditorDriver, EachProgramIsSavedInTheEncodingThatHoldsItsText) {
  struct Case {
    const char* what;
    const char* file;  // null: a program still to be made
    std::string saved;
  } cases[] = {
      {"a new program", nullptr, "print \"\xC3\xA9\"\r\n\xE2\x86\x92\r\n"},
      {"plain ASCII", "rem\r\n", "print \"\xC3\xA9\"\r\n\xE2\x86\x92rem\r\n"},
      {"UTF-8", "rem \xC3\xA0\r\n", "print \"\xC3\xA9\"\r\n\xE2\x86\x92rem \xC3\xA0\r\n"},
      {"Windows-1252", "rem \xE0\r\n", "print \"\xE9\"\r\nrem \xE0\r\n"},
  };
  for (const Case& c : cases) {
    const std::string path = File(std::string(c.what) + ".kqa");
    if (c.file) WriteAll(path, c.file);
    ASSERT_TRUE(editor_->OpenFile(path)) << c.what;
    Type("print \"\xE9\"\r");
    clipboard_.SetUtf8Text("\xE2\x86\x92");
    editor_->RunCommand(Command::kPaste);
    const bool refused = c.saved.find('\xE2') == std::string::npos;
    EXPECT_EQ(editor_->View().Status().find("U+2192") != std::string::npos, refused) << c.what;
    editor_->RunCommand(Command::kSave);
    EXPECT_EQ(ReadAll(path), c.saved) << c.what;
  }
}

TEST_F(EditorDriver, TheViewFollowsTheCursorDownAndAlongALongLine) {
  for (int i = 0; i < 40; ++i) Type("line\r");
  SourceBuffer& b = editor_->Live().buffer;
  EXPECT_EQ(b.cursor_line, 40);
  EXPECT_EQ(b.top_line, 40 - layout::kRows + 1);
  EXPECT_LE(b.cursor_y, layout::kTextBottom - 13);
  Type(std::string(200, 'w'));
  EXPECT_GT(b.horizontal_scroll, 0);
  EXPECT_LE(b.cursor_x, layout::kTextRight);
  Key(36);  // Home: back to the start of the line and of the view
  EXPECT_EQ(b.horizontal_scroll, 0);
  Key(36, true);  // Control+Home: the top of the program
  EXPECT_EQ(b.top_line, 0);
}

TEST_F(EditorDriver, CreatesAProjectWithItsProgramInTheProjectArea) {
  editor_->RunCommand(Command::kProject);
  ASSERT_EQ(editor_->Mode(), mode::kProject);
  EXPECT_EQ(editor_->Requester().List().Folder(), temp_.Path() + "/MYPROJ");
  Type("rocket");
  ClickButton(2);
  EXPECT_EQ(editor_->Mode(), mode::kEditing);
  EXPECT_EQ(editor_->Live().file_name, "rocket.kqa");
  EXPECT_EQ(ReadAll(File("MYPROJ/rocket/rocket.kqa")), "\r\n");
  EXPECT_NE(editor_->View().Status().find("Rocket"), std::string::npos);
  Type("print 1");
  Key('S', true);
  editor_->RunCommand(Command::kProject);  // the same name opens it again
  Type("rocket");
  ClickButton(2);
  EXPECT_EQ(Lines(), (std::vector<std::string>{"print 1"}));
  EXPECT_EQ(editor_->View().Status(), LanguageText(Text::kProjectOpened));
}

// A program in a project's own folder names the project; any other names
// its whole folder.
TEST_F(EditorDriver, TheStatusLineNamesTheProjectOfAProgram) {
  const std::string area = temp_.Path() + "/MYPROJ";
  const struct {
    std::string folder, shown;
  } cases[] = {{area + "/rocket", "Rocket"}, {area + "/rocket/parts", area + "/rocket/parts"},
               {temp_.Path() + "/games", temp_.Path() + "/games"}};
  for (const auto& c : cases) {
    std::filesystem::create_directories(c.folder);
    WriteAll(c.folder + "/ship.kqa", "print 1\r\n");
    ASSERT_TRUE(editor_->OpenFile(c.folder + "/ship.kqa"));
    EXPECT_EQ(editor_->View().Status(), std::string(LanguageText(Text::kProjectWord)) + ": " + c.shown + "  " +
                                            std::string(LanguageText(Text::kFileWord)) + ": ship.kqa");
  }
}

// Names on the file system are UTF-8; the editor shows and takes them in
// its own Windows-1252 text: a project folder, a listed file and a name
// typed into Save As all cross that boundary converted, both ways.
TEST_F(EditorDriver, FileNamesCrossToTheFileSystemAsUtf8) {
  const std::string project = temp_.Path() + "/MYPROJ/my game \xC3\xA9";       // "my game é"
  const std::string listed = "\xC3\xA9preuve\xE2\x80\x93" "1.kqa";             // "épreuve–1.kqa"
  const std::string shown = "\xE9preuve\x96" "1.kqa";
  std::filesystem::create_directories(project);
  WriteAll(project + "/" + listed, "print 7\r\n");
  WriteAll(project + "/start.kqa", "");
  ASSERT_TRUE(editor_->OpenFile(project + "/start.kqa"));
  editor_->RunCommand(Command::kOpen);
  ASSERT_EQ(editor_->Mode(), mode::kLoad);
  std::vector<std::string> names;
  for (const FileListEntry& e : editor_->Requester().List().Entries()) names.push_back(e.name);
  EXPECT_NE(std::find(names.begin(), names.end(), shown), names.end());
  Type(shown);
  ClickButton(2);
  ASSERT_EQ(editor_->Mode(), mode::kEditing);
  EXPECT_EQ(Lines(), (std::vector<std::string>{"print 7"}));
  EXPECT_EQ(editor_->Live().file_name, listed);
  ASSERT_TRUE(editor_->OpenFile(project + "/" + listed));
  EXPECT_EQ(editor_->View().Status(), std::string(LanguageText(Text::kProjectWord)) + ": My game \xE9  " +
                                          std::string(LanguageText(Text::kFileWord)) + ": " + shown);

  // "café", typed on a French keyboard, is written as the desktop spells it
  // and listed as it was typed.
  editor_->RunCommand(Command::kSaveAs);
  Type("caf\xE9");
  ClickButton(2);
  ASSERT_EQ(editor_->Mode(), mode::kEditing);
  EXPECT_EQ(ReadAll(project + "/caf\xC3\xA9.kqa"), "print 7\r\n");
  editor_->RunCommand(Command::kOpen);
  const FileBrowser& list = editor_->Requester().List();
  EXPECT_TRUE(list.Lists("CAF\xE9.kqa"));
  EXPECT_EQ(list.PathOf("caf\xE9.KQA"), project + "/caf\xC3\xA9.kqa");
}

TEST_F(EditorDriver, AnsweringTheSaveQuestionGoesOnWithWhatWasAsked) {
  // No or yes, the project requester opens on a project area that exists.
  WriteAll(File("kept.kqa"), "");
  ASSERT_TRUE(editor_->OpenFile(File("kept.kqa")));
  Type("x");
  for (int32_t answer : {1, 2}) {
    editor_->RunCommand(Command::kProject);
    ASSERT_EQ(editor_->Mode(), mode::kSaveBeforeProject);
    ClickButton(answer);
    ASSERT_EQ(editor_->Mode(), mode::kProject) << answer;
    EXPECT_TRUE(std::filesystem::is_directory(File("MYPROJ")));
    EXPECT_EQ(editor_->Requester().List().Message(), "") << answer;
    std::filesystem::remove(File("MYPROJ"));
    Key(key::kEscape);
  }
  EXPECT_EQ(ReadAll(File("kept.kqa")), "x\r\n");

  // An unnamed program is named first, and then the quit goes on.
  editor_->RunCommand(Command::kNew);
  Type("print 1");
  editor_->RunCommand(Command::kExit);
  ClickButton(2);  // yes
  ASSERT_EQ(editor_->Mode(), mode::kSaveAs);
  Type("named");
  ClickButton(2);
  EXPECT_EQ(ReadAll(File("named.kqa")), "print 1\r\n");
  EXPECT_EQ(editor_->Mode(), mode::kQuit);
  Key(key::kEscape);

  // Leaving the naming drops what was asked: a later save only saves.
  editor_->RunCommand(Command::kNew);
  Type("print 2");
  editor_->RunCommand(Command::kNew);
  ClickButton(2);  // yes
  Key(key::kEscape);
  EXPECT_EQ(Lines(), (std::vector<std::string>{"print 2"}));
  Key('S', true);
  Type("other");
  ClickButton(2);
  EXPECT_EQ(editor_->Mode(), mode::kEditing);
  EXPECT_EQ(Lines(), (std::vector<std::string>{"print 2"}));
}

TEST_F(EditorDriver, LoadsAFileChosenInTheList) {
  WriteAll(File("pick.kqa"), "Rem * Author : Ann\r\nprint 5\r\n");
  editor_->RunCommand(Command::kOpen);
  ASSERT_EQ(editor_->Mode(), mode::kLoad);
  const FileBrowser& list = editor_->Requester().List();
  size_t row = 0;
  while (row < list.Entries().size() && list.Entries()[row].name != "pick.kqa") ++row;
  ASSERT_LT(row, list.Entries().size());
  const Rect& o = editor_->Requester().Origin();
  const int32_t y = o.top + 45 + 16 * static_cast<int32_t>(row) + 8;
  Click(o.left + 40, y);  // selects it: the name and header fill the fields
  EXPECT_EQ(editor_->Requester().FieldText(1), "pick.kqa");
  EXPECT_EQ(editor_->Requester().FieldText(3), "Ann");
  EXPECT_EQ(editor_->Live().header.author, "");  // not the program's until loaded
  Click(o.left + 40, y);  // opens it
  EXPECT_EQ(editor_->Mode(), mode::kEditing);
  EXPECT_EQ(Lines(), (std::vector<std::string>{"print 5"}));
  EXPECT_EQ(editor_->Live().header.author, "Ann");
}

TEST_F(EditorDriver, TypingAfterAClickInTheListGoesIntoTheName) {
  ::mkdir(File("sub").c_str(), 0755);
  Type("print 6");
  editor_->RunCommand(Command::kSaveAs);
  const Rect& o = editor_->Requester().Origin();
  const int32_t y = o.top + 45 + 16 * 1 + 8;  // the row after the parent's
  ASSERT_EQ(editor_->Requester().List().Entries()[1].name, "sub");
  Click(o.left + 40, y);
  Click(o.left + 40, y);  // enters the folder
  ASSERT_EQ(editor_->Requester().List().Folder(), File("sub"));
  Type("prog");
  ClickButton(2);
  EXPECT_EQ(ReadAll(File("sub/prog.kqa")), "print 6\r\n");
}

TEST_F(EditorDriver, TabsKeepTheirProgramsAndANewProgramAsksToSave) {
  Type("one");
  Key('2', true);
  EXPECT_EQ(editor_->LiveTab(), 2);
  EXPECT_EQ(Lines(), (std::vector<std::string>{""}));
  Type("two");
  Click(layout::kTab1X + 8, layout::kTabY + 10);
  EXPECT_EQ(editor_->LiveTab(), 1);
  EXPECT_EQ(Lines(), (std::vector<std::string>{"one"}));
  editor_->RunCommand(Command::kNew);
  ASSERT_EQ(editor_->Mode(), mode::kSaveBeforeNew);
  ClickButton(1);  // no
  EXPECT_EQ(Lines(), (std::vector<std::string>{""}));
  EXPECT_FALSE(editor_->Live().buffer.modified);
}

TEST_F(EditorDriver, TheRunMenuOpensTheToolListWhoseSlotsTakeExecutables) {
  WriteAll(File("paint"), "#!/bin/sh\n");
  ::chmod(File("paint").c_str(), 0755);
  WriteAll(File("notes.txt"), "x");
  // An item of the Run menu opens the list.
  const Menu& run = editor_->View().Menus().Menus()[3];
  ASSERT_EQ(run.title, LanguageText(Text::kMenuRun));
  ASSERT_EQ(run.items.back().command, Command::kTools);
  editor_->RunCommand(run.items.back().command);
  ASSERT_EQ(editor_->Mode(), mode::kTools);

  // Browse for slot 2: the chooser lists executables only.
  ClickButton(3);
  ASSERT_EQ(editor_->Mode(), mode::kChooseTool);
  std::vector<std::string> files;
  for (const FileListEntry& e : editor_->Requester().List().Entries())
    if (e.type != EntryType::kFolder) files.push_back(e.name);
  EXPECT_EQ(files, std::vector<std::string>{"paint"});
  const std::vector<std::pair<std::string, Text>> refused = {{"notes.txt", Text::kNotExecutable},
                                                             {"missing", Text::kFileMissing}};
  for (const auto& [name, message] : refused) {
    Type(name);
    ClickButton(2);
    EXPECT_EQ(editor_->Requester().Message(), LanguageText(message)) << name;
    Click(10, 10);  // dismisses the message
    editor_->Requester().ActivateField(1);
  }
  Type("paint");
  ClickButton(2);
  ASSERT_EQ(editor_->Mode(), mode::kTools);
  EXPECT_EQ(editor_->Requester().ToolPath(1), File("paint"));
  EXPECT_EQ(editor_->Requester().FieldText(2), File("paint"));
  ClickButton(2);  // browse for slot 1, then cancel: back to the list
  ClickButton(1);
  ASSERT_EQ(editor_->Mode(), mode::kTools);

  // A path typed into a slot is kept only while the file exists.
  const Rect& o = editor_->Requester().Origin();
  Click(o.left + 100, o.top + 24 * 3 + 6 + 10);
  Type("nothing here");
  Click(o.left + 20, o.top + 180);
  EXPECT_EQ(editor_->Requester().Message(), LanguageText(Text::kFileMissing));
  EXPECT_EQ(editor_->Requester().ToolPath(2), "");
  Click(10, 10);
  ClickButton(1);  // OK
  EXPECT_EQ(editor_->Mode(), mode::kEditing);
  EXPECT_EQ(editor_->Requester().ToolPath(1), File("paint"));
}

TEST_F(EditorDriver, TheSaveAndBuildRequestersMakeNewFolders) {
  for (Command command : {Command::kSaveAs, Command::kBuild}) {
    editor_->RunCommand(command);
    Type("levels");
    ClickButton(3);
    ClickButton(3);  // the name is taken now: the next free one
    EXPECT_NE(editor_->Mode(), mode::kEditing);
    EXPECT_TRUE(editor_->Requester().List().Lists("levels2"));
    Key(key::kEscape);
  }
  EXPECT_TRUE(std::filesystem::is_directory(File("levels")));
  EXPECT_TRUE(std::filesystem::is_directory(File("levels3")));
  editor_->RunCommand(Command::kOpen);
  EXPECT_FALSE(editor_->Requester().Button(3).active);  // loading needs no new folder
}

TEST_F(EditorDriver, ComingBackToTheWindowClosesARequesterButNotAQuestion) {
  editor_->RunCommand(Command::kFind);
  ASSERT_EQ(editor_->Mode(), mode::kFind);
  window_.Post({WindowEventKind::kActivate}, clock_.NowMs());
  Pump();
  EXPECT_EQ(editor_->Mode(), mode::kEditing);
  EXPECT_FALSE(editor_->Requester().IsOpen());
  editor_->RunCommand(Command::kExit);
  ASSERT_EQ(editor_->Mode(), mode::kQuit);
  window_.Post({WindowEventKind::kActivate}, clock_.NowMs());
  Pump();
  EXPECT_EQ(editor_->Mode(), mode::kQuit);
}

TEST_F(EditorDriver, TheHelpScrollsByWholeRowsSoAPageIsSoManyDownKeys) {
  Key(key::kF1);
  ASSERT_TRUE(editor_->InHelpView());
  const HelpViewer& help = editor_->Help();
  ASSERT_GT(help.PageHeight(), 1000);
  auto picture = [&] {
    std::vector<uint32_t> pixels;
    const Surface& shown = display_->BackBuffer();
    for (int32_t y = 0; y < shown.Height(); ++y)
      for (int32_t x = 0; x < shown.Width(); ++x) pixels.push_back(shown.PixelAt(x, y));
    return pixels;
  };
  Key(34);  // Page Down
  const int32_t page = help.ScrollPosition();
  const std::vector<uint32_t> paged = picture();
  Key(36);  // Home
  int32_t downs = 0;
  while (help.ScrollPosition() < page && downs < 100) {
    Key(key::kDown);
    ++downs;
    EXPECT_EQ(help.ScrollPosition(), downs * HelpViewer::kRowUnit);
  }
  EXPECT_EQ(help.ScrollPosition(), page);
  EXPECT_EQ(downs * HelpViewer::kRowUnit, page);
  EXPECT_TRUE(picture() == paged);
  // The wheel and the end of the page keep to the same rows.
  window_.Post({WindowEventKind::kMouseWheel, -1}, clock_.NowMs());
  Pump();
  EXPECT_EQ(help.ScrollPosition() % HelpViewer::kRowUnit, 0);
  EXPECT_GT(help.ScrollPosition(), page);
  Key(35);  // End
  EXPECT_EQ(help.ScrollPosition() % HelpViewer::kRowUnit, 0);
  EXPECT_GE(help.ScrollPosition() + 417, help.PageHeight() - HelpViewer::kRowUnit);

  // Dragging the scroll bar's thumb scrolls the page too.
  Key(36);  // Home
  const Rect thumb = editor_->View().ThumbRect();
  const uint32_t now = clock_.NowMs();
  window_.Post({WindowEventKind::kMouseDown, platform::mouse_button::kLeft, 0, thumb.left + 5, thumb.top + 5}, now);
  window_.Post({WindowEventKind::kMouseMove, 0, 0, thumb.left + 5, thumb.top + 105}, now + 20);
  window_.Post({WindowEventKind::kMouseUp, platform::mouse_button::kLeft, 0, thumb.left + 5, thumb.top + 105},
               now + 40);
  Pump(4);
  EXPECT_GT(help.ScrollPosition(), page);
  EXPECT_EQ(help.ScrollPosition() % HelpViewer::kRowUnit, 0);
}

// The help's Back and Forward titles, Backspace and Alt+Right go back and forth.
TEST_F(EditorDriver, TheHelpsBackAndForwardRetraceThePagesShown) {
  Key(key::kF1);
  const HelpViewer& help = editor_->Help();
  const int32_t y = MenuBar::kTitleY + 6;
  std::array<int32_t, 2> at{};  // the titles Back and Forward, found by the pointer
  for (int32_t x = 8; x < 640; x += 2) {
    window_.Post({WindowEventKind::kMouseMove, 0, 0, x, y}, clock_.NowMs());
    Pump(1);
    if (const int32_t t = editor_->View().Hovered() - control::kFirstMenuTitle; t == 1 || t == 2) at[t - 1] = x;
  }
  Key(key::kDown);
  for (const HelpLink& link : help.Links())
    if (link.target == "CORE.HTM" && link.rect.top > 0) Click(link.rect.left + 2, link.rect.top + 44);
  Click(at[0], y);
  EXPECT_EQ(help.PageName() + "@" + std::to_string(help.ScrollPosition()), "index.htm@32");
  Click(at[1], y);
  EXPECT_EQ(help.PageName(), "core.htm");
  Key(key::kBackspace);
  EXPECT_EQ(help.PageName(), "index.htm");
  window_.Post({WindowEventKind::kKeyDown, key::kRight, 0, 0, 0, platform::modifier::kAlt}, clock_.NowMs());
  Pump();
  EXPECT_EQ(help.PageName(), "core.htm");
}

TEST_F(EditorDriver, HelpLinksLeadToPagesAndExamplesOpenInTheSecondTab) {
  Key(key::kF1);
  ASSERT_TRUE(editor_->InHelpView());
  EXPECT_EQ(editor_->Help().PageName(), "index.htm");
  auto click_link = [&](auto wanted) {
    for (const HelpLink& link : editor_->Help().Links())
      if (wanted(link.target) && link.rect.bottom < 417) {
        Click(link.rect.left + 2, link.rect.top + 42 + 2);
        return true;
      }
    return false;
  };
  auto is_page = [](const std::string& t) { return t.find(".HTM") != std::string::npos && t != "INDEX.HTM"; };
  ASSERT_TRUE(click_link(is_page));
  EXPECT_NE(editor_->Help().PageName(), "index.htm");
  // A link to an entry shows the entry, from a whole row.
  auto is_entry = [](const std::string& t) { return t.find('#') != std::string::npos; };
  int32_t before = 0;
  do {
    Key(key::kDown);
    before = editor_->Help().ScrollPosition();
  } while (!click_link(is_entry) && before < 4000);
  EXPECT_GT(editor_->Help().ScrollPosition(), before);  // the entries it links to lie further down
  EXPECT_EQ(editor_->Help().ScrollPosition() % HelpViewer::kRowUnit, 0);
  auto is_example = [](const std::string& t) { return t.find(".KQA") != std::string::npos; };
  Key(36);  // Home: the family's example is at the top
  ASSERT_TRUE(click_link(is_example));
  ASSERT_EQ(editor_->Mode(), mode::kOpenExample);
  ClickButton(2);
  EXPECT_FALSE(editor_->InHelpView());
  EXPECT_EQ(editor_->LiveTab(), 2);
  ASSERT_TRUE(IsSourceFileName(editor_->Live().file_name));
  EXPECT_GT(editor_->Live().buffer.LineCount(), 0);
  // Nothing was written into the user's folder: the example opens from the
  // editor's own, and saving it asks where to put it.
  const std::string example = editor_->Live().file_name;
  EXPECT_NE(editor_->Live().folder.rfind(temp_.Path(), 0), 0u) << editor_->Live().folder;
  EXPECT_TRUE(std::filesystem::is_empty(temp_.Path()));
  Key('S', true);
  ASSERT_EQ(editor_->Mode(), mode::kSaveAs);
  EXPECT_EQ(editor_->Requester().List().Folder(), temp_.Path());
  EXPECT_EQ(editor_->Requester().EditText(), example);
  ClickButton(2);
  EXPECT_EQ(editor_->Mode(), mode::kEditing);
  EXPECT_TRUE(std::filesystem::exists(File(example)));
  EXPECT_EQ(editor_->Live().folder, temp_.Path());
  Key(key::kF1);
  Key(key::kEscape);
  EXPECT_FALSE(editor_->InHelpView());
}

}  // namespace
}  // namespace zv::editor
