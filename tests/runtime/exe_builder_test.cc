#include "runtime/builder/exe_builder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/paths/temp_folder.h"
#include "runtime/attached/attached_data.h"
#include "runtime/builder/record_writer.h"
#include "runtime/vm/program_file.h"
#include "tests/support/program_assembler.h"
#include "tests/support/recording_services.h"

namespace zv {
namespace {

namespace fs = std::filesystem;

void WriteText(const fs::path& path, std::string_view text) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

class ExeBuilderTest : public ::testing::Test {
 protected:
  ExeBuilderTest() {
    project = fs::path(temp.Path()) / "project";
    work = temp.Path() + "/work/";
    fs::create_directories(work);
    WriteText(project / "game.kqa", "print 1");
    stub = temp.File("stub");
    WriteText(stub, "#!stub-bytes");
    services.stub_path = stub;
    services.temp_folder = work;
    services.progress = &editor;
    services.compile = [this](const std::string& source, const std::string& program, std::string* error,
                              std::vector<std::string>*) {
      compiled_from = source;
      compiled_in = fs::current_path().string();
      if (!compile_ok) {
        *error = "game.kqa:1: bad statement";
        return false;
      }
      test::ProgramAssembler a;
      a.Op(213);
      std::vector<uint8_t> bytes = a.Bytes();
      std::ofstream(program, std::ios::binary)
          .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
      return true;
    };
    request = {temp.File("game"), (project / "game.kqa").string(), project.string()};
  }

  // The records of the built game, read back as a game would.
  std::vector<std::string> RecordNames() {
    AttachedData data(work);
    std::string error;
    EXPECT_EQ(data.Load(request.output, &error), AttachedData::LoadResult::kLoaded) << error;
    std::vector<std::string> names;
    for (const AttachedEntry& e : data.Entries()) names.push_back(e.name);
    return names;
  }

  platform::TempFolder temp;
  fs::path project;
  std::string work;
  std::string stub;
  test::CallLog log;
  test::RecordingEditor editor{log};
  BuildServices services;
  BuildRequest request;
  bool compile_ok = true;
  std::string compiled_from, compiled_in;
};

TEST_F(ExeBuilderTest, WritesTheStubTheProgramAndTheMediaDepthFirst) {
  WriteText(project / "zebra.wav", "z");
  WriteText(project / "media" / "a.BMP", "bmp");
  WriteText(project / "media" / "deeper" / "b.x", "x");
  WriteText(project / "notes.docx", "docx ends in x");
  WriteText(project / "photo.jpeg", "jpeg is not taken");
  WriteText(project / "Apple.PNG", "png");
  BuildResult result = BuildExecutable(request, services);
  ASSERT_TRUE(result.ok) << result.error;

  EXPECT_EQ(ReadText(request.output).substr(0, 12), "#!stub-bytes");
  // Sorted without regard to case; the source and the jpeg are not media.
  const std::vector<std::string> expected = {LowerAscii(work + "_exefile.dat"), "apple.png", "media\\a.bmp",
                                             "media\\deeper\\b.x", "notes.docx", "zebra.wav"};
  EXPECT_EQ(RecordNames(), expected);
  EXPECT_EQ(compiled_in, project.string());
  EXPECT_EQ(log.front(), "Editor.ShowProgressText Adding Apple.PNG...");
  EXPECT_EQ(log.size(), 5u);
}

TEST_F(ExeBuilderTest, TheGameIsExecutable) {
  ASSERT_TRUE(BuildExecutable(request, services).ok);
  struct stat info {};
  ASSERT_EQ(::stat(request.output.c_str(), &info), 0);
  EXPECT_NE(info.st_mode & S_IXUSR, 0u);
}

TEST_F(ExeBuilderTest, AnEmptyProjectFolderGivesTheProgramAlone) {
  WriteText(project / "a.bmp", "bmp");
  request.project_folder.clear();
  ASSERT_TRUE(BuildExecutable(request, services).ok);
  EXPECT_EQ(RecordNames().size(), 1u);
}

TEST_F(ExeBuilderTest, AFailedCompileTouchesNothing) {
  WriteText(request.output, "previous game");
  compile_ok = false;
  BuildResult result = BuildExecutable(request, services);
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.error, "game.kqa:1: bad statement");
  EXPECT_EQ(ReadText(request.output), "previous game");
}

TEST_F(ExeBuilderTest, EscapeDuringTheWalkStopsTheBuildAndLeavesNoPartialGame) {
  WriteText(request.output, "previous game");
  WriteText(project / "a.bmp", "bmp");
  int looks = 0;
  // The first look (before the build) is discarded; Escape is held from then on.
  services.escape_pressed = [&] { return ++looks > 1; };
  BuildResult result = BuildExecutable(request, services);
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(ReadText(request.output), "previous game");
  for (const auto& entry : fs::directory_iterator(temp.Path()))
    EXPECT_EQ(entry.path().filename().string().find("partial"), std::string::npos);
}

TEST_F(ExeBuilderTest, EscapePressedBeforeTheBuildDoesNotStopIt) {
  WriteText(project / "a.bmp", "bmp");
  int looks = 0;
  services.escape_pressed = [&] { return ++looks == 1; };
  EXPECT_TRUE(BuildExecutable(request, services).ok);
}

// Asked to stop anywhere (before the first write, in the middle of a media
// file, just before the game would go into place), the build fails at once,
// leaves no partial game and keeps the previous one.
TEST_F(ExeBuilderTest, AStopAnywhereKeepsThePreviousGameWhole) {
  WriteText(project / "big.dat", std::string(1 << 20, 'm'));
  int looks = 0;
  services.stop_requested = [&] { return ++looks < 0; };
  ASSERT_TRUE(BuildExecutable(request, services).ok);
  const int all_looks = looks;
  ASSERT_GT(all_looks, 16);  // a look per block of the megabyte at least
  for (const int stop_at : {1, all_looks / 2, all_looks}) {
    WriteText(request.output, "previous game");
    looks = 0;
    services.stop_requested = [&] { return ++looks >= stop_at; };
    BuildResult result = BuildExecutable(request, services);
    EXPECT_FALSE(result.ok) << stop_at;
    EXPECT_EQ(result.error, "the build was stopped");
    EXPECT_EQ(looks, stop_at) << "went on after the stop";
    EXPECT_EQ(ReadText(request.output), "previous game");
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(temp.Path())) left.push_back(entry.path().filename());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"game", "project", "stub", "work"})) << "a partial game was left";
  }
}

// Hidden names are configuration, often secret; folders reached through a
// link go in, but never a link back to a folder above (which would never
// end) nor a link to nothing. What is left out is said.
TEST_F(ExeBuilderTest, LeavesOutHiddenNamesAndFollowsLinksThatEnd) {
  const fs::path shared = fs::path(temp.Path()) / "shared";
  WriteText(project / ".env.ini", "secret");
  WriteText(project / ".config" / "app" / "secret.cfg", "secret");
  WriteText(project / ".config" / "a.bmp", "hidden folder");
  WriteText(shared / "level.txt", "level");
  fs::create_directory_symlink("../shared", project / "levels");
  fs::create_directory_symlink("..", shared / "back");
  fs::create_directory_symlink("..", project / "up");
  fs::create_symlink("nowhere.bmp", project / "broken.bmp");
  fs::create_symlink("levels/level.txt", project / "linked.txt");
  BuildResult result = BuildExecutable(request, services);
  ASSERT_TRUE(result.ok) << result.error;
  const std::vector<std::string> names = RecordNames();
  EXPECT_EQ(std::vector<std::string>(names.begin() + 1, names.end()),
            (std::vector<std::string>{"levels\\level.txt", "linked.txt"}));
  const test::CallLog said = {
      "Editor.ShowProgressText Leaving out .config/ (a hidden folder)",
      "Editor.ShowProgressText Leaving out .env.ini (a hidden file)",
      "Editor.ShowProgressText Leaving out broken.bmp (a link to nothing)",
      "Editor.ShowProgressText Leaving out levels/back (a link back to a folder above it)",
      "Editor.ShowProgressText Adding levels/level.txt...",
      "Editor.ShowProgressText Adding linked.txt...",
      "Editor.ShowProgressText Leaving out up (a link back to a folder above it)"};
  EXPECT_EQ(log, said);
}

// The game is written as every file is saved: through a symbolic link to
// the file it names, and in place of a file with other hard links, which
// stays one file with them; either way the game runs.
TEST_F(ExeBuilderTest, TheGameIsSavedThroughLinks) {
  const fs::path games = fs::path(temp.Path()) / "games";
  WriteText(games / "real", "previous game");
  ::chmod((games / "real").c_str(), 0644);
  fs::create_symlink("games/real", request.output);
  fs::create_hard_link(games / "real", games / "hard");
  BuildResult result = BuildExecutable(request, services);
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_TRUE(fs::is_symlink(request.output));
  EXPECT_TRUE(fs::equivalent(games / "real", games / "hard"));
  EXPECT_EQ(ReadText(games / "hard").substr(0, 12), "#!stub-bytes");
  EXPECT_EQ(fs::status(games / "real").permissions() & fs::perms::all, fs::perms(0755));
  EXPECT_EQ(RecordNames().size(), 1u);
  std::vector<std::string> left;
  for (const auto& entry : fs::directory_iterator(games)) left.push_back(entry.path().filename());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"hard", "real"}));
}

TEST_F(ExeBuilderTest, ARecordNameThatDoesNotFitIsAnError) {
  fs::path deep = project;
  while (deep.string().size() - project.string().size() < 260) deep /= std::string(50, 'd');
  WriteText(deep / "a.bmp", "bmp");
  BuildResult result = BuildExecutable(request, services);
  EXPECT_FALSE(result.ok);
  EXPECT_NE(result.error.find("longer than 255"), std::string::npos) << result.error;
  EXPECT_FALSE(fs::exists(request.output));
}

TEST_F(ExeBuilderTest, AnUnwritableOutputIsAnError) {
  request.output = temp.Path() + "/no/such/folder/game";
  BuildResult result = BuildExecutable(request, services);
  EXPECT_FALSE(result.ok);
  EXPECT_NE(result.error.find("cannot create"), std::string::npos);
}

TEST_F(ExeBuilderTest, AFullDiskFailsTheWriter) {
  std::FILE* full = std::fopen("/dev/full", "wb");
  if (!full) GTEST_SKIP() << "no /dev/full";
  RecordWriter writer(full);
  const std::vector<uint8_t> data(1 << 20, 7);
  // Buffered writes may only fail when flushed; either way no success.
  bool ok = writer.WriteStub(stub, 0) && writer.AddRecord("a.bmp", data) && writer.Finish();
  std::fclose(full);
  EXPECT_FALSE(ok);
  EXPECT_NE(writer.Error().find("cannot write"), std::string::npos);
}

TEST_F(ExeBuilderTest, ABuiltGameServesAsAStubWithoutItsRecords) {
  WriteText(project / "a.bmp", "bmp");
  ASSERT_TRUE(BuildExecutable(request, services).ok);
  services.stub_path = request.output;
  request.output = temp.File("second");
  request.project_folder.clear();
  ASSERT_TRUE(BuildExecutable(request, services).ok);
  EXPECT_EQ(RecordNames().size(), 1u);
}

TEST(MediaFileNames, AreJudgedByTheirLastLetters) {
  for (const char* name : {"a.BMP", "b.jpg", "song.Mod", "tune.xm", "level.it", "model.x", "notes.docx", "setup.ini",
                           "song.OGG", "song.flac", "song.m4a", "song.opus", "tune.midi", "clip.mp4", "clip.webm",
                           "clip.mpeg", "scores.csv", "level.json", "song.wv", "song.MKA", "song.ape", "song.tta", "clip.ts"})
    EXPECT_TRUE(IsMediaFileName(name)) << name;
  for (const char* name : {"photo.jpeg", "scan.tiff", "game.kqa", "readme.md", "bmp", "notes.", "wv", "parts"})
    EXPECT_EQ(IsMediaFileName(name), std::string_view(name) == "bmp") << name;
}

}  // namespace
}  // namespace zv
