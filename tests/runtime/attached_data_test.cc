#include "runtime/attached/attached_data.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/paths/file_save.h"
#include "platform/paths/path_resolver.h"
#include "platform/paths/temp_folder.h"
#include "runtime/attached/kept_names.h"
#include "runtime/builder/record_writer.h"

namespace zv {
namespace {

std::vector<uint8_t> Bytes(std::string_view text) { return {text.begin(), text.end()}; }

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void PutU32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

class AttachedDataTest : public ::testing::Test {
 protected:
  AttachedDataTest() : data(temp.Path() + "/") {}

  // Writes a game: a 16-byte stub and the records given as name/content.
  std::string WriteGame(const std::vector<std::pair<std::string, std::string>>& records) {
    const std::string stub = temp.File("stub");
    WriteFile(stub, Bytes("STUB-STUB-STUB-!"));
    const std::string game = temp.File("game");
    std::FILE* out = std::fopen(game.c_str(), "wb");
    RecordWriter writer(out);
    EXPECT_TRUE(writer.WriteStub(stub, 0));
    for (const auto& [name, content] : records) EXPECT_TRUE(writer.AddRecord(name, Bytes(content)));
    EXPECT_TRUE(writer.Finish());
    std::fclose(out);
    return game;
  }

  AttachedData::LoadResult Load(const std::string& path) { return data.Load(path, &error); }

  platform::TempFolder temp;
  AttachedData data;
  std::string error;
};

TEST_F(AttachedDataTest, ReadsTheRecordsInOrderWithLowerCaseNames) {
  const std::string game = WriteGame({{"C:\\TEMP\\_exefile.dat", "program"}, {"Media\\A.BMP", "pixels"}});
  ASSERT_EQ(Load(game), AttachedData::LoadResult::kLoaded) << error;
  ASSERT_EQ(data.Entries().size(), 2u);
  EXPECT_EQ(data.Entries()[1].name, "media\\a.bmp");
  EXPECT_EQ(data.StubLength(), 16u);
  auto program = data.ExtractProgramEntry();
  ASSERT_TRUE(program);
  EXPECT_EQ(*program, temp.Path() + "/_virtual.dat");
  EXPECT_EQ(ReadFile(*program), "program");
}

TEST_F(AttachedDataTest, LooksNamesUpWithEitherSlashInAnyCase) {
  ASSERT_EQ(Load(WriteGame({{"prog", "p"}, {"media\\a.BMP", "pixels"}})), AttachedData::LoadResult::kLoaded);
  for (std::string name : {"MEDIA/A.bmp", "media\\a.bmp"}) {
    ASSERT_TRUE(data.ResolveVirtualFile(name, "bmp"));
    EXPECT_EQ(name, temp.Path() + "/_virtual.bmp");
    EXPECT_EQ(ReadFile(name), "pixels");
  }
  std::string missing = "media/b.bmp";
  EXPECT_FALSE(data.ResolveVirtualFile(missing, "bmp"));
  EXPECT_EQ(missing, "media/b.bmp");
}

TEST_F(AttachedDataTest, LooksUpByTheFileNameAlone) {
  ASSERT_EQ(Load(WriteGame({{"prog", "p"}, {"models\\tex\\Wood.PNG", "wood"}})), AttachedData::LoadResult::kLoaded);
  std::string bare = "wood.png";
  ASSERT_TRUE(data.ResolveVirtualFileByName(bare, "png"));
  EXPECT_EQ(ReadFile(bare), "wood");
  // A request with a folder part is compared whole with the bare name.
  std::string with_folder = "tex/wood.png";
  EXPECT_FALSE(data.ResolveVirtualFileByName(with_folder, "png"));
}

TEST_F(AttachedDataTest, ALaterLookupDoesNotChangeAFileAlreadyOpen) {
  ASSERT_EQ(Load(WriteGame({{"prog", "p"}, {"one.wav", "first"}, {"two.wav", "second"}})),
            AttachedData::LoadResult::kLoaded);
  std::string one = "one.wav";
  ASSERT_TRUE(data.ResolveVirtualFile(one, "wav"));
  std::ifstream held(one, std::ios::binary);
  std::string two = "two.wav";
  ASSERT_TRUE(data.ResolveVirtualFile(two, "wav"));
  EXPECT_EQ(one, two);  // the same temporary name, as the callers expect
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(held), {}), "first");
  EXPECT_EQ(ReadFile(two), "second");
}

TEST_F(AttachedDataTest, RefusesAnExtensionThatLeavesTheTemporaryFolder) {
  ASSERT_EQ(Load(WriteGame({{"prog", "p"}, {"a.bmp", "x"}})), AttachedData::LoadResult::kLoaded);
  std::string name = "a.bmp";
  EXPECT_FALSE(data.ResolveVirtualFile(name, "/../x"));
  EXPECT_EQ(name, "a.bmp");
}

TEST_F(AttachedDataTest, NeverServesTheProgramRecordByName) {
  ASSERT_EQ(Load(WriteGame({{"prog.dat", "p"}})), AttachedData::LoadResult::kLoaded);
  std::string name = "prog.dat";
  EXPECT_FALSE(data.ResolveVirtualFile(name, "dat"));
}

TEST_F(AttachedDataTest, DeletesItsFilesWhenDestroyed) {
  const std::string game = WriteGame({{"prog", "p"}});
  std::string extracted;
  {
    AttachedData scoped(temp.Path() + "/");
    ASSERT_EQ(scoped.Load(game, &error), AttachedData::LoadResult::kLoaded);
    extracted = scoped.ExtractProgramEntry().value();
    ASSERT_FALSE(ReadFile(extracted).empty());
  }
  EXPECT_FALSE(std::ifstream(extracted).good());
}

TEST_F(AttachedDataTest, APlainExecutableHasNoRecords) {
  const std::string plain = temp.File("plain");
  std::vector<uint8_t> bytes = Bytes("\x7f" "ELF and more");
  bytes.resize(64, 0);
  WriteFile(plain, bytes);
  EXPECT_FALSE(HasAttachedRecords(plain));
  EXPECT_EQ(Load(plain), AttachedData::LoadResult::kNoRecords);
  EXPECT_FALSE(data.ExtractProgramEntry());
}

TEST_F(AttachedDataTest, AnUnreadableFileFails) {
  EXPECT_EQ(Load(temp.File("missing")), AttachedData::LoadResult::kFailed);
  EXPECT_FALSE(error.empty());
}

TEST_F(AttachedDataTest, AGameWithOnlyTheTrailerHasNoEntries) {
  std::vector<uint8_t> bytes = Bytes("stubstub");
  PutU32(bytes, 0);
  PutU32(bytes, 8);  // S = size - 8
  const std::string path = temp.File("empty");
  WriteFile(path, bytes);
  ASSERT_EQ(Load(path), AttachedData::LoadResult::kLoaded) << error;
  EXPECT_TRUE(data.Entries().empty());
}

// Records block tails: each is the bytes after a 4-byte stub "STUB".
struct Damage {
  const char* what;
  std::vector<uint8_t> records;  // without the trailer
  const char* message;
};

std::vector<uint8_t> Record(uint32_t name_length, std::string name, uint32_t data_length, std::string data) {
  std::vector<uint8_t> out;
  PutU32(out, name_length);
  out.insert(out.end(), name.begin(), name.end());
  PutU32(out, data_length);
  out.insert(out.end(), data.begin(), data.end());
  return out;
}

TEST_F(AttachedDataTest, DamagedRecordsGiveAClearError) {
  const std::vector<Damage> cases = {
      {"name past the trailer", Record(200, std::string("ab\0", 3), 0, ""), "name runs into the trailer"},
      {"name too long", Record(300, std::string(300, 'a'), 0, ""), "too long"},
      {"unterminated name", Record(3, "abc", 0, ""), "not terminated"},
      {"data past the trailer", Record(2, std::string("a\0", 2), 1000, "xy"), "data runs into the trailer"},
      {"end marker early", [] {
         auto r = Record(2, std::string("a\0", 2), 1, "x");
         PutU32(r, 0);
         PutU32(r, 7);
         return r;
       }(), "end marker before the last record"},
  };
  for (const Damage& c : cases) {
    std::vector<uint8_t> bytes = c.records;
    bytes.insert(bytes.begin(), {'S', 'T', 'U', 'B'});
    PutU32(bytes, 0);
    PutU32(bytes, 4);
    const std::string path = temp.File("damaged");
    WriteFile(path, bytes);
    AttachedData fresh(temp.Path() + "/");
    std::string message;
    EXPECT_EQ(fresh.Load(path, &message), AttachedData::LoadResult::kFailed) << c.what;
    EXPECT_NE(message.find(c.message), std::string::npos) << c.what << ": " << message;
    EXPECT_TRUE(fresh.Entries().empty()) << c.what;
  }
}

TEST_F(AttachedDataTest, ATrailerPointingPastTheFileIsDamaged) {
  std::vector<uint8_t> bytes = Bytes("stub");
  PutU32(bytes, 0);
  PutU32(bytes, 1000);
  const std::string path = temp.File("past");
  WriteFile(path, bytes);
  EXPECT_TRUE(HasAttachedRecords(path));
  EXPECT_EQ(Load(path), AttachedData::LoadResult::kFailed);
  EXPECT_NE(error.find("past the end"), std::string::npos);
}

TEST_F(AttachedDataTest, AMissingEndMarkerIsDamaged) {
  std::vector<uint8_t> bytes = Bytes("stub");
  PutU32(bytes, 9);
  PutU32(bytes, 4);
  const std::string path = temp.File("nomarker");
  WriteFile(path, bytes);
  EXPECT_EQ(Load(path), AttachedData::LoadResult::kFailed);
  EXPECT_NE(error.find("end marker"), std::string::npos);
}

// Makes a folder the working folder for as long as it lives.
class WorkingFolder {
 public:
  explicit WorkingFolder(const std::filesystem::path& folder) : previous_(std::filesystem::current_path()) {
    std::filesystem::current_path(folder);
  }
  ~WorkingFolder() { std::filesystem::current_path(previous_); }

 private:
  std::filesystem::path previous_;
};

// A name is served from its record until the game has made it its own on
// disk: by a file changed after the build, or by deleting it; and that
// lasts for a later run (a second reader of the same game) and for a later
// build of the game (whose build time is past the file's).
TEST_F(AttachedDataTest, TheGamesOwnFilesWinOverWhatItCarries) {
  namespace fs = std::filesystem;
  const fs::path folder = fs::path(temp.Path()) / "run";
  fs::create_directories(folder / "models");
  WorkingFolder in_folder(folder);
  // Built an hour ago; times are nanoseconds since 1970, as the record keeps them.
  timespec now {};
  ::clock_gettime(CLOCK_REALTIME, &now);
  constexpr int64_t kSecond = 1000000000;
  const int64_t built_ns = (static_cast<int64_t>(now.tv_sec) - 3600) * kSecond;
  auto build = [&](int64_t when_ns) {
    const std::string stamp(reinterpret_cast<const char*>(EncodeBuildTime(when_ns).data()), 8);
    return WriteGame({{"prog", "p"}, {"plain.txt", "carried"}, {"older.txt", "carried"}, {"newer.txt", "carried"},
                      {"deleted.txt", "carried"}, {"gone\\deep.txt", "carried"}, {"textures\\tex.bmp", "carried"},
                      {kBuildTimeRecordName, stamp}});
  };
  const std::string game = build(built_ns);
  ASSERT_EQ(Load(game), AttachedData::LoadResult::kLoaded) << error;
  ASSERT_EQ(data.BuildTime(), built_ns);
  EXPECT_EQ(data.Entries().size(), 7u);  // the build time is no file of the game's

  auto write_at = [&](const fs::path& path, int64_t when_ns) {
    std::ofstream(path, std::ios::binary) << "disk";
    const timespec times[2] = {{when_ns / kSecond, when_ns % kSecond}, {when_ns / kSecond, when_ns % kSecond}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
  };
  write_at("older.txt", built_ns - 3600 * kSecond);
  write_at("newer.txt", built_ns + 1);
  write_at(folder / "models" / "tex.bmp", built_ns + kSecond);
  ASSERT_TRUE(data.KeepOnDisk("deleted.txt"));
  ASSERT_TRUE(data.KeepOnDisk("gone\\deep.txt"));
  // The folder made after the deletion does not bring the file back.
  fs::create_directory("gone");

  struct Case {
    const char* name;
    bool served;
  };
  const Case cases[] = {{"plain.txt", true},   {"older.txt", true},  {"newer.txt", false},
                        {"deleted.txt", false}, {"GONE/deep.txt", false}, {kBuildTimeRecordName, false}};
  for (int run = 0; run < 3; ++run) {
    AttachedData later(temp.Path() + "/");
    AttachedData& reader = run == 0 ? data : later;
    if (run > 0) {
      ASSERT_EQ(later.Load(run == 1 ? game : build(built_ns + 1800 * kSecond), &error),
                AttachedData::LoadResult::kLoaded);
    }
    for (const Case& c : cases) {
      std::string path = c.name;
      EXPECT_EQ(reader.ResolveVirtualFile(path, "txt"), c.served) << c.name << " in run " << run;
      EXPECT_EQ(reader.Serves(c.name), c.served) << c.name;
      if (c.served) {
        EXPECT_EQ(ReadFile(path), "carried") << c.name;
      }
    }
    // Looked up by its file name for a model in "models", whose own copy
    // on disk is newer.
    std::string texture = "tex.bmp";
    EXPECT_FALSE(reader.ResolveVirtualFileByName(texture, "bmp", "models/tex.bmp"));
    EXPECT_TRUE(reader.ResolveVirtualFileByName(texture, "bmp"));
  }
  EXPECT_TRUE(data.Carries("deleted.txt"));
  // Listed for the game by the name it runs under.
  EXPECT_EQ(ReadFile(kKeptListName), "game\tdeleted.txt\ngame\tgone/deep.txt\ngame\tnewer.txt\n");
}

TEST_F(AttachedDataTest, AGameWithoutABuildTimeServesItsRecordsWhateverTheDiskHolds) {
  const std::filesystem::path folder = std::filesystem::path(temp.Path()) / "run";
  std::filesystem::create_directories(folder);
  WorkingFolder in_folder(folder);
  std::ofstream("a.txt") << "disk";
  ASSERT_EQ(Load(WriteGame({{"prog", "p"}, {"a.txt", "carried"}})), AttachedData::LoadResult::kLoaded);
  EXPECT_FALSE(data.BuildTime());
  std::string path = "a.txt";
  ASSERT_TRUE(data.ResolveVirtualFile(path, "txt"));
  EXPECT_EQ(ReadFile(path), "carried");
}

// A name finds its record where the same path would find a file on disk:
// from the folder the game started in, through "." and "..", and from the
// folder the game has gone into since. Folders that hold carried files
// exist for the game, and show in its listings with the files it finds.
TEST_F(AttachedDataTest, ANameFindsWhatTheSamePathWouldFindOnDisk) {
  namespace fs = std::filesystem;
  const fs::path folder = fs::path(temp.Path()) / "run";
  fs::create_directories(folder / "elsewhere");
  WorkingFolder in_folder(folder);
  ASSERT_EQ(Load(WriteGame({{"prog", "p"}, {"data.txt", "top"}, {"Saves\\Data.txt", "inner"},
                            {"saves\\deep\\level.txt", "deep"}})),
            AttachedData::LoadResult::kLoaded);
  struct Case {
    const char* folder;  // the game's working folder
    const char* name;
    const char* found;   // what the lookup serves; "" for nothing
  };
  const Case cases[] = {
      {".", "data.txt", "top"},          {".", "./data.txt", "top"},
      {".", "saves/../data.txt", "top"}, {".", "SAVES\\data.TXT", "inner"},
      {".", "saves", ""},                {".", "../run/data.txt", "top"},
      {"saves", "data.txt", "inner"},    {"saves", "../data.txt", "top"},
      {"saves", "deep/level.txt", "deep"}, {"saves/deep", "level.txt", "deep"},
      {"elsewhere", "data.txt", ""},     {"..", "data.txt", ""},
  };
  for (const Case& c : cases) {
    fs::create_directories(folder / c.folder);
    WorkingFolder in(folder / c.folder);
    std::string path = c.name;
    const bool served = data.ResolveVirtualFile(path, "txt");
    EXPECT_EQ(served ? ReadFile(path) : std::string(), c.found) << c.name << " in " << c.folder;
    EXPECT_EQ(data.Carries(c.name), *c.found != '\0') << c.name << " in " << c.folder;
  }
  fs::remove_all(folder / "saves");
  const std::vector<std::pair<const char*, bool>> folders = {
      {"saves", true}, {"./Saves/", true}, {"saves/deep", true}, {"deep", false}, {"data.txt", false}, {".", false}};
  for (const auto& [name, carried] : folders) EXPECT_EQ(data.CarriesFolder(name), carried) << name;

  // Listed as the builder spelled them, each name once; a name the game has
  // deleted is gone.
  auto names = [&](const std::string& listed) {
    std::string all;
    for (const CarriedListing& entry : data.ListFolder(listed))
      all += entry.name + (entry.folder ? "/ " : " ");
    return all;
  };
  EXPECT_EQ(names("."), "data.txt Saves/ ");
  EXPECT_EQ(names("saves"), "Data.txt deep/ ");
  EXPECT_EQ(names("elsewhere"), "");
  ASSERT_TRUE(data.KeepOnDisk("saves/data.txt"));
  EXPECT_EQ(names(folder / "saves"), "deep/ ");
}

// Every writer tells the path helper: a carried name written through the
// shared save is the game's own at once, a carried folder it goes into is
// made, and names the game does not carry are left as they are.
TEST_F(AttachedDataTest, WhatTheGameWritesIsItsOwnFromTheMomentItIsWritten) {
  namespace fs = std::filesystem;
  const fs::path folder = fs::path(temp.Path()) / "run";
  fs::create_directories(folder);
  WorkingFolder in_folder(folder);
  ASSERT_EQ(Load(WriteGame({{"prog", "p"}, {"data.txt", "carried"}, {"saves\\slot.dat", "carried"}})),
            AttachedData::LoadResult::kLoaded);
  platform::Paths().SetLayer(&data);
  struct Layer {
    ~Layer() { platform::Paths().SetLayer(nullptr); }
  } layer;
  EXPECT_TRUE(platform::SaveFile("saves/slot.dat", std::string_view("mine")));
  EXPECT_TRUE(platform::SaveFile("data.txt", std::string_view("mine")));
  EXPECT_TRUE(platform::SaveFile("other.txt", std::string_view("mine")));
  // A folder the game does not carry is not made for it.
  EXPECT_FALSE(platform::SaveFile("nowhere/a.txt", std::string_view("mine")));
  EXPECT_FALSE(fs::exists("nowhere"));
  EXPECT_EQ(ReadFile("saves/slot.dat"), "mine");
  EXPECT_EQ(ReadFile("saves/" + std::string(kKeptListName)), "game\tslot.dat\n");
  EXPECT_EQ(ReadFile(kKeptListName), "game\tdata.txt\n");
  // As a rebuild of the game sees them: their files are older than its build.
  AttachedData rebuilt(temp.Path() + "/");
  timespec now {};
  ::clock_gettime(CLOCK_REALTIME, &now);
  const int64_t later_ns = (static_cast<int64_t>(now.tv_sec) + 60) * 1000000000;
  const std::string stamp(reinterpret_cast<const char*>(EncodeBuildTime(later_ns).data()), 8);
  ASSERT_EQ(rebuilt.Load(WriteGame({{"prog", "p"}, {"data.txt", "carried"}, {"saves\\slot.dat", "carried"},
                                    {kBuildTimeRecordName, stamp}}),
                         &error),
            AttachedData::LoadResult::kLoaded);
  EXPECT_FALSE(rebuilt.Serves("data.txt"));
  EXPECT_FALSE(rebuilt.Serves("saves/slot.dat"));
}

// A file of the player's that the game passed over for its record (older
// than the build and not the game's) is kept under a name of its own before
// the game's save or deletion takes its name, unless it holds what the
// record holds; the game's own files are simply replaced. The game is known
// by its program's name in the list; a name the list took for a save that
// did not happen is taken back.
TEST_F(AttachedDataTest, AFileThePlayerHadIsKeptBeforeTheGameTakesItsName) {
  namespace fs = std::filesystem;
  const fs::path folder = fs::path(temp.Path()) / "run";
  fs::create_directories(folder);
  WorkingFolder in_folder(folder);
  timespec now {};
  ::clock_gettime(CLOCK_REALTIME, &now);
  const int64_t built_ns = static_cast<int64_t>(now.tv_sec) * 1000000000;
  const std::string stamp(reinterpret_cast<const char*>(EncodeBuildTime(built_ns).data()), 8);
  ASSERT_EQ(Load(WriteGame({{"prog", "p"}, {"copied.dat", "carried"}, {"twice.dat", "carried"}, {"same.dat", "carried"},
                            {"newer.dat", "carried"}, {"deleted.dat", "carried"}, {"failed.dat", "carried"},
                            {"put.dat", "carried"},
                            {kProgramNameRecordName, "dodger.kqa"}, {kBuildTimeRecordName, stamp}})),
            AttachedData::LoadResult::kLoaded);
  EXPECT_EQ(data.Game().program, "dodger.kqa");
  auto put = [](const char* name, const char* text, int64_t when_ns) {
    std::ofstream(name, std::ios::binary) << text;
    const timespec times[2] = {{when_ns / 1000000000, 0}, {when_ns / 1000000000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, name, times, 0), 0);
  };
  const int64_t hour = int64_t{3600} * 1000000000;
  for (const char* name : {"copied.dat", "twice.dat", "deleted.dat"}) put(name, "player's", built_ns - hour);
  put("twice.dat.kept", "kept before", built_ns - hour);
  put("same.dat", "carried", built_ns - hour);
  put("newer.dat", "game's", built_ns + hour);
  platform::Paths().SetLayer(&data);
  struct Layer {
    ~Layer() { platform::Paths().SetLayer(nullptr); }
  } layer;
  for (const char* name : {"copied.dat", "twice.dat", "same.dat", "newer.dat"})
    EXPECT_TRUE(platform::SaveFile(name, std::string_view("saved"))) << name;
  EXPECT_TRUE(platform::Paths().PrepareRemove((folder / "deleted.dat").string()));
  struct Case {
    const char* name;
    const char* holds;  // "" for no file
  };
  const Case cases[] = {{"copied.dat", "saved"},          {"copied.dat.kept", "player's"},
                        {"twice.dat.kept", "kept before"}, {"twice.dat.kept2", "player's"},
                        {"same.dat", "saved"},            {"same.dat.kept", ""},
                        {"newer.dat", "saved"},           {"newer.dat.kept", ""},
                        {"deleted.dat", ""},              {"deleted.dat.kept", "player's"}};
  for (const Case& c : cases) EXPECT_EQ(fs::exists(c.name) ? ReadFile(c.name) : "", c.holds) << c.name;
  EXPECT_FALSE(data.Serves("deleted.dat"));
  EXPECT_FALSE(data.Serves("copied.dat"));
  EXPECT_NE(ReadFile(kKeptListName).find("dodger.kqa\tcopied.dat\n"), std::string::npos);
  // A file that takes a name only where it is free, and could not, leaves
  // the record served; a save that replaces finds the record's bytes on disk
  // first, so whatever becomes of it the name holds what the game read.
  ASSERT_TRUE(platform::Paths().BeginPublish((folder / "failed.dat").string(), false));
  EXPECT_FALSE(data.Serves("failed.dat"));
  platform::Paths().EndPublish((folder / "failed.dat").string(), false);
  EXPECT_TRUE(data.Serves("failed.dat"));
  ASSERT_TRUE(platform::Paths().BeginPublish((folder / "put.dat").string(), true));
  EXPECT_EQ(ReadFile("put.dat"), "carried");
  platform::Paths().EndPublish((folder / "put.dat").string(), false);
  EXPECT_FALSE(data.Serves("put.dat"));
  EXPECT_EQ(ReadFile("put.dat"), "carried");
}

// Of two records whose names differ only in letter case each is found by its
// own spelling, and the first by any other, as the path helper finds files
// on disk; a name that ends in a separator names a folder, never a file.
TEST_F(AttachedDataTest, NamesInTwoCasesAndNamesOfFolders) {
  const std::filesystem::path folder = std::filesystem::path(temp.Path()) / "run";
  std::filesystem::create_directories(folder);
  WorkingFolder in_folder(folder);
  ASSERT_EQ(Load(WriteGame({{"prog", "p"}, {"Level.txt", "upper"}, {"level.txt", "lower"}, {"data.txt", "data"},
                            {"saves\\slot.dat", "slot"}})),
            AttachedData::LoadResult::kLoaded);
  const std::pair<const char*, const char*> cases[] = {
      {"Level.txt", "upper"}, {"level.txt", "lower"}, {"LEVEL.TXT", "upper"}, {"data.txt", "data"},
      {"data.txt/", ""},      {"data.txt\\", ""},     {"data.txt/.", ""},     {"saves/", ""}};
  for (const auto& [name, found] : cases) {
    std::string path = name;
    EXPECT_EQ(data.ResolveVirtualFile(path, "txt") ? ReadFile(path) : "", found) << name;
    EXPECT_EQ(data.Carries(name), *found != '\0') << name;
  }
  EXPECT_TRUE(data.CarriesFolder("saves/"));
  // Listed as the disk would list them: both spellings.
  std::string listed;
  for (const CarriedListing& entry : data.ListFolder(folder.string())) listed += entry.name + " ";
  EXPECT_EQ(listed, "Level.txt level.txt data.txt saves ");
}

// Two games in one folder each keep their own names; a list of an earlier
// version, whose lines name no game, counts for every game.
TEST_F(AttachedDataTest, EachGameKeepsItsOwnNames) {
  namespace fs = std::filesystem;
  const fs::path folder = fs::path(temp.Path()) / "run";
  fs::create_directories(folder);
  WorkingFolder in_folder(folder);
  const std::string game = WriteGame({{"prog", "p"}, {"level.txt", "carried"}, {"old.txt", "carried"}});
  fs::copy_file(game, temp.File("other"));
  AttachedData other(temp.Path() + "/");
  ASSERT_EQ(Load(game), AttachedData::LoadResult::kLoaded);
  ASSERT_EQ(other.Load(temp.File("other"), &error), AttachedData::LoadResult::kLoaded);
  std::ofstream(kKeptListName, std::ios::binary) << "old.txt\n";
  ASSERT_TRUE(data.KeepOnDisk("level.txt"));
  EXPECT_FALSE(data.Serves("level.txt"));
  EXPECT_TRUE(other.Serves("level.txt"));
  EXPECT_FALSE(data.Serves("old.txt"));
  EXPECT_FALSE(other.Serves("old.txt"));
  EXPECT_EQ(ReadFile(kKeptListName), "old.txt\ngame\tlevel.txt\n");
}

}  // namespace
}  // namespace zv
