#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "audio/commands/music_commands.h"
#include "audio/commands/music_mci.h"
#include "audio/commands/music_service.h"
#include "audio/library/formats/song_engine.h"
#include "audio/library/formats/song_offline_host.h"
#include "tests/audio/library/formats/songs/module_builder.h"
#include "tests/runtime/vm/opcodes/core_fixture.h"

namespace zv::test {
namespace {

namespace op = music_opcode;

// Records every command string; answers with the lengths and positions set.
class FakeMci final : public MciDevice {
 public:
  int32_t SendString(const std::string& command, std::string* reply) override {
    sent.push_back(command);
    if (fail_all || command.rfind(fail_prefix, 0) == 0) return 275;
    if (reply) {
      if (command.find(" length") != std::string::npos) *reply = std::to_string(length);
      if (command.find(" position") != std::string::npos) *reply = std::to_string(position);
    }
    return 0;
  }
  int Count(const std::string& command) const {
    int n = 0;
    for (const std::string& s : sent) n += s == command;
    return n;
  }
  std::vector<std::string> sent;
  std::string fail_prefix = "\x01";
  bool fail_all = false;
  int32_t length = 5000;
  int32_t position = 0;
};

class FakeCd final : public MusicCd {
 public:
  bool PlayTrack(int32_t track) override {
    calls.push_back("play " + std::to_string(track));
    return true;
  }
  bool Stop() override {
    calls.push_back("stop");
    return true;
  }
  bool Pause(bool paused) override {
    calls.push_back(paused ? "pause" : "resume");
    return true;
  }
  void SetPlayMode(int8_t mode) override { calls.push_back("mode " + std::to_string(mode)); }
  bool SetVolume(int32_t volume) override {
    calls.push_back("volume " + std::to_string(volume));
    return true;
  }
  int32_t TrackCount() override { return tracks; }
  std::vector<std::string> calls;
  int32_t tracks = 0;
};

class MusicCommandsTest : public CoreTest {
 protected:
  MusicCommandsTest() : music(songs, mci, cd) {
    RegisterMusicHandlers(handlers);
    vm.sound = &music;
    folder = ::testing::TempDir() + "music_" + std::to_string(getpid()) + "/";
    std::filesystem::create_directories(folder);
  }

  // Runs one command with integer operands; the error it left.
  int32_t Do(uint32_t opcode, std::vector<int32_t> operands) {
    vm.errors.code = 0;
    assembler = ProgramAssembler();
    assembler.Raw({opcode});
    for (int32_t v : operands) assembler.Raw({I(v)});
    assembler.Op(kEndOp);
    Run();
    return vm.errors.code;
  }
  int32_t LoadMusic(const std::string& name, int32_t n) {
    vm.errors.code = 0;
    assembler = ProgramAssembler();
    assembler.Op(op::kLoadMusic, {S(name), I(n)});
    assembler.Op(kEndOp);
    Run();
    return vm.errors.code;
  }
  // A function's answer (-99 when none was stored); `error` its error.
  int32_t Ask(uint32_t opcode, int32_t n, int32_t* error = nullptr) {
    vm.errors.code = 0;
    assembler = ProgramAssembler();
    const uint32_t result = ProgramAssembler::IntTemp(1);
    assembler.Op(opcode, {result, I(n)});
    assembler.Op(kEndOp);
    Load();
    vm.SetInt(At(result), -99);
    RunVmLoop(vm);
    for (int turn = 0; turn < 10 && !Stopped(); ++turn) RunVmLoop(vm);
    if (error) *error = vm.errors.code;
    return Int(result);
  }
  std::string WriteFile(const std::string& name, const std::vector<uint8_t>& bytes) {
    const std::string path = folder + name;
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                 static_cast<std::streamsize>(bytes.size()));
    return path;
  }
  std::string ModuleFile(const std::string& name) {
    TestModule m;
    m.orders = {0};
    m.patterns.emplace_back(64, 4);
    m.patterns[0].At(0, 0) = {25, 1, -1, 0xF, 1};
    TestSample s;
    s.data = SquareWave(200);
    m.samples.push_back(s);
    return WriteFile(name, WriteMod(m));
  }

  OfflineSongHost host;
  SongEngine songs{host};
  FakeMci mci;
  FakeCd cd;
  MusicService music;
  std::string folder;
};

TEST_F(MusicCommandsTest, ModulesGoToTheSongPlayerAndTheRestToCommandStrings) {
  const std::string mod = ModuleFile("tune.mod");
  EXPECT_EQ(LoadMusic(mod, 1), 0);
  EXPECT_TRUE(music.Slots().Slot(1).loaded);
  EXPECT_FALSE(music.Slots().Slot(1).via_mci);
  ASSERT_NE(music.Slots().Slot(1).song, nullptr);
  TestModule xm;
  xm.orders = {0};
  xm.patterns.emplace_back(16, 2);
  xm.channels = 2;
  EXPECT_EQ(LoadMusic(WriteFile("upper.XM", WriteXm(xm)), 2), 0);
  EXPECT_FALSE(music.Slots().Slot(2).via_mci);
  EXPECT_TRUE(mci.sent.empty());
  for (const char* name : {"song.mid", "voice.wav", "track.mp3", "abc"}) {
    mci.sent.clear();
    EXPECT_EQ(LoadMusic(name, 3), 0) << name;
    EXPECT_TRUE(music.Slots().Slot(3).via_mci) << name;
    bool opened = false;
    for (const std::string& c : mci.sent) opened |= c.find(std::string(name) + "\" alias music3") != std::string::npos;
    EXPECT_TRUE(opened) << name;
  }
}

TEST_F(MusicCommandsTest, ExtensionRules) {
  EXPECT_EQ(MusicSlots::Extension("abc"), "mid");
  EXPECT_EQ(MusicSlots::ShortExtension("abc"), "mi");
  EXPECT_EQ(MusicSlots::Extension("a.mod"), "mod");
  EXPECT_EQ(MusicSlots::ShortExtension("a.xm"), "xm");
  EXPECT_EQ(MusicSlots::FullPath("C:\\music\\a.mid"), "C:\\music\\a.mid");
  char cwd[512];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  EXPECT_EQ(MusicSlots::FullPath("a.mid"), std::string(cwd) + "\\a.mid");
}

TEST_F(MusicCommandsTest, OpenCommandsAreSentAsWritten) {
  EXPECT_EQ(LoadMusic("C:\\music\\theme.mid", 7), 0);
  ASSERT_GE(mci.sent.size(), 2u);
  EXPECT_EQ(mci.sent[0], "open \"C:\\music\\theme.mid\" alias music7");
  EXPECT_EQ(mci.sent[1], "status music7 length");
}

TEST_F(MusicCommandsTest, LoadErrors) {
  EXPECT_EQ(LoadMusic("x.mid", 0), music_error::kNumber);
  EXPECT_EQ(LoadMusic("x.mid", 33), music_error::kNumber);
  mci.fail_all = true;
  EXPECT_EQ(LoadMusic("x.mid", 4), music_error::kLoadFailed);
  EXPECT_TRUE(vm.errors.warning);
  EXPECT_FALSE(music.Slots().Slot(4).loaded);
  EXPECT_EQ(LoadMusic(folder + "missing.mod", 4), music_error::kLoadFailed);
  EXPECT_EQ(vm.errors.subject, folder + "missing.mod");  // the warning names the file
  EXPECT_EQ(LoadMusic(WriteFile("junk.s3m", std::vector<uint8_t>(100, 7)), 4), music_error::kLoadFailed);
}

TEST_F(MusicCommandsTest, CdMusicNeedsADisc) {
  EXPECT_EQ(Do(op::kLoadCdMusic, {3, 5}), music_error::kLoadFailed);
  cd.tracks = 4;
  EXPECT_EQ(Do(op::kLoadCdMusic, {0, 5}), 0);  // with a disc, any track is kept
  EXPECT_EQ(Do(op::kLoadCdMusic, {99, 5}), 0);  // the earlier one is deleted (stopped) first
  EXPECT_EQ(music.Slots().Slot(5).cd_track, 99);
  EXPECT_EQ(Do(op::kPlayMusic, {5}), 0);
  EXPECT_EQ(Do(op::kLoopMusic, {5}), 0);
  EXPECT_EQ(cd.calls, (std::vector<std::string>{"stop", "play 99", "mode 1", "play 99", "mode 2"}));
  EXPECT_EQ(Do(op::kSetMusicVolumeRaw, {5, 200}), 0);
  EXPECT_EQ(cd.calls.back(), "volume 200");
  EXPECT_EQ(Do(op::kDeleteMusic, {5}), 0);
  EXPECT_EQ(cd.calls.back(), "stop");
}

TEST_F(MusicCommandsTest, DeleteMusic) {
  EXPECT_EQ(Do(op::kDeleteMusic, {2}), music_error::kNotLoaded);
  EXPECT_EQ(Do(op::kDeleteMusic, {40}), music_error::kNumber);
  EXPECT_EQ(LoadMusic("song.mid", 2), 0);
  EXPECT_EQ(Do(op::kDeleteMusic, {2}), 0);
  EXPECT_EQ(mci.Count("stop music2"), 1);
  EXPECT_EQ(mci.Count("close music2"), 1);
  EXPECT_EQ(Ask(op::kMusicExist, 2), 0);
}

TEST_F(MusicCommandsTest, PlayLoopAndStopASong) {
  ASSERT_EQ(LoadMusic(ModuleFile("a.mod"), 1), 0);
  Song* song = music.Slots().Slot(1).song;
  EXPECT_EQ(Do(op::kPlayMusic, {1}), 0);
  EXPECT_TRUE(songs.IsSongPlaying(song));
  EXPECT_EQ(Ask(op::kMusicPlaying, 1), 1);
  EXPECT_EQ(Ask(op::kMusicLooping, 1), 0);
  EXPECT_EQ(Do(op::kStopMusic, {1}), 0);
  EXPECT_FALSE(songs.IsSongPlaying(song));
  EXPECT_EQ(Ask(op::kMusicPlaying, 1), 0);
  EXPECT_EQ(Do(op::kLoopMusic, {1}), 0);
  EXPECT_EQ(Ask(op::kMusicLooping, 1), 1);
  // The song ends (64 rows of one tick) and the frame update starts it again.
  host.Render(songs, 60);
  EXPECT_TRUE(songs.IsSongFinished(song));
  music.UpdateMusic();
  EXPECT_FALSE(songs.IsSongFinished(song));
  EXPECT_EQ(song->row, 0);
  EXPECT_EQ(Do(op::kPlayMusic, {9}), music_error::kNotLoaded);
  EXPECT_EQ(Do(op::kLoopMusic, {9}), music_error::kNotLoaded);
  EXPECT_EQ(Do(op::kStopMusic, {9}), music_error::kNotLoaded);
}

// Played once, a song falls silent at the end of its pass and reports
// stopped, whether its order list runs out or its last pattern jumps back;
// looped, the song that jumps back goes on as it always did.
TEST_F(MusicCommandsTest, ASongPlayedOnceStopsAtItsEndWhicheverWayItComesRound) {
  auto module = [this](const std::string& name, bool jumps_back) {
    TestModule m;
    m.orders = jumps_back ? std::vector<int>{0, 1} : std::vector<int>{0};
    m.patterns.emplace_back(64, 4);
    m.patterns[0].At(0, 0) = {25, 1, -1, 0xF, 1};  // a held note; one tick (20 ms) a row
    if (jumps_back) {
      m.patterns.emplace_back(64, 4);
      m.patterns[1].At(0, 1) = {-1, 0, -1, 0xB, 0};  // back to the first order
    }
    TestSample s;
    s.data = SquareWave(256);
    s.loop = true;
    s.loop_length = 256;
    m.samples.push_back(s);
    return WriteFile(name, WriteMod(m));
  };
  auto silent = [](const std::vector<int16_t>& out) {
    return std::all_of(out.begin(), out.end(), [](int16_t v) { return v == 0; });
  };
  // One pass is 64 rows (plus the jump's row): about 1.3 s, 52 blocks.
  for (bool jumps_back : {false, true}) {
    SCOPED_TRACE(jumps_back ? "jumps back" : "runs out of orders");
    ASSERT_EQ(LoadMusic(module(jumps_back ? "back.mod" : "end.mod", 1), 1), 0);
    Song* song = music.Slots().Slot(1).song;
    ASSERT_EQ(Do(op::kPlayMusic, {1}), 0);
    EXPECT_FALSE(silent(host.Render(songs, 48)));
    music.UpdateMusic();
    EXPECT_EQ(Ask(op::kMusicPlaying, 1), 1);
    // The last rows are still heard; then nothing of a second pass is.
    const std::vector<int16_t> end = host.Render(songs, 8);
    EXPECT_FALSE(silent(std::vector<int16_t>(end.begin(), end.begin() + host.BlockFrames() * 2)));
    EXPECT_TRUE(silent(std::vector<int16_t>(end.end() - host.BlockFrames() * 2, end.end())));
    EXPECT_TRUE(songs.IsSongFinished(song));
    music.UpdateMusic();
    EXPECT_EQ(Ask(op::kMusicPlaying, 1), 0);
    EXPECT_FALSE(songs.IsSongPlaying(song));
    EXPECT_TRUE(silent(host.Render(songs, 20)));
    // Played again, it plays its pass again.
    ASSERT_EQ(Do(op::kPlayMusic, {1}), 0);
    EXPECT_FALSE(silent(host.Render(songs, 10)));
    ASSERT_EQ(Do(op::kDeleteMusic, {1}), 0);
  }

  ASSERT_EQ(LoadMusic(module("loop.mod", true), 2), 0);
  ASSERT_EQ(Do(op::kLoopMusic, {2}), 0);
  for (int second = 0; second < 4; ++second) {
    EXPECT_FALSE(silent(host.Render(songs, 40)));
    music.UpdateMusic();
  }
  EXPECT_EQ(Ask(op::kMusicPlaying, 2), 1);
  EXPECT_EQ(Ask(op::kMusicLooping, 2), 1);
}

TEST_F(MusicCommandsTest, CommandStringMusicPlaysStopsAndPauses) {
  ASSERT_EQ(LoadMusic("theme.mid", 3), 0);
  EXPECT_EQ(Do(op::kPlayMusic, {3}), 0);
  EXPECT_EQ(mci.Count("play music3"), 1);
  EXPECT_EQ(music.Slots().LastMciSlot(), 3);
  EXPECT_EQ(Do(op::kStopMusic, {3}), 0);
  EXPECT_EQ(mci.Count("stop music3"), 1);
  EXPECT_EQ(mci.Count("seek music3 to start"), 1);
  EXPECT_EQ(Do(op::kPauseMusic, {3}), music_error::kNotPlaying);
  EXPECT_EQ(Do(op::kPlayMusic, {3}), 0);
  EXPECT_EQ(Do(op::kPauseMusic, {3}), 0);
  EXPECT_EQ(Do(op::kPauseMusic, {3}), 0);
  EXPECT_EQ(mci.Count("pause music3"), 1);
  EXPECT_EQ(Ask(op::kMusicPaused, 3), 1);
  EXPECT_EQ(Do(op::kResumeMusic, {3}), 0);
  EXPECT_EQ(Do(op::kResumeMusic, {3}), 0);
  EXPECT_EQ(mci.Count("resume music3"), 1);
  EXPECT_EQ(Ask(op::kMusicPaused, 3), 0);
  // A failing command leaves the flags as they were.
  mci.fail_prefix = "stop";
  EXPECT_EQ(Do(op::kStopMusic, {3}), 0);
  EXPECT_EQ(Ask(op::kMusicPlaying, 3), 1);
}

TEST_F(MusicCommandsTest, EndOfCommandStringMusic) {
  ASSERT_EQ(LoadMusic("once.mid", 1), 0);
  ASSERT_EQ(LoadMusic("again.mid", 2), 0);
  EXPECT_EQ(Do(op::kPlayMusic, {1}), 0);
  mci.position = 6000;
  for (int frame = 0; frame < 11; ++frame) music.UpdateMusic();
  EXPECT_EQ(mci.Count("status music1 position"), 1);
  EXPECT_EQ(Ask(op::kMusicPlaying, 1), 0);
  EXPECT_EQ(Do(op::kLoopMusic, {2}), 0);
  mci.sent.clear();
  for (int frame = 0; frame < 11; ++frame) music.UpdateMusic();
  EXPECT_EQ(mci.sent, (std::vector<std::string>{"status music2 position", "stop music2", "close music2",
                                                 music.Slots().OpenCommand(2), "play music2"}));
  EXPECT_EQ(Ask(op::kMusicPlaying, 2), 1);
}

TEST_F(MusicCommandsTest, VolumeIsScaledFromPercent) {
  ASSERT_EQ(LoadMusic(ModuleFile("v.mod"), 1), 0);
  Song* song = music.Slots().Slot(1).song;
  EXPECT_EQ(Do(op::kSetMusicVolume, {1, 100}), 0);
  EXPECT_EQ(song->master_volume, 254);
  EXPECT_EQ(Do(op::kSetMusicVolume, {1, 50}), 0);
  EXPECT_EQ(song->master_volume, 127);
  EXPECT_EQ(Do(op::kSetMusicVolumeRaw, {1, 100}), 0);
  EXPECT_EQ(song->master_volume, 100);
  EXPECT_EQ(Do(op::kSetMusicVolume, {6, 50}), music_error::kLoadFailed);
  EXPECT_EQ(Do(op::kSetMusicVolumeRaw, {6, 50}), music_error::kLoadFailed);
  EXPECT_EQ(Do(op::kSetMusicVolume, {0, 50}), music_error::kNumber);
}

TEST_F(MusicCommandsTest, QueriesCheckTheirNumbers) {
  int32_t error = 0;
  EXPECT_EQ(Ask(op::kMusicExist, 1, &error), 0);
  EXPECT_EQ(error, 0);
  EXPECT_EQ(Ask(op::kMusicExist, 33, &error), -99);
  EXPECT_EQ(error, music_error::kNumber);
  for (uint32_t query : {op::kMusicPlaying, op::kMusicPaused, op::kMusicLooping}) {
    EXPECT_EQ(Ask(query, 1, &error), -99);
    EXPECT_EQ(error, music_error::kNotLoaded);
  }
}

TEST_F(MusicCommandsTest, DeactivationPausesOnlyWhatThePauseDidNot) {
  ASSERT_EQ(LoadMusic("a.mid", 1), 0);
  ASSERT_EQ(LoadMusic("b.mid", 2), 0);
  EXPECT_EQ(Do(op::kPlayMusic, {1}), 0);
  EXPECT_EQ(Do(op::kPlayMusic, {2}), 0);
  EXPECT_EQ(Do(op::kPauseMusic, {2}), 0);
  music.PauseAllMusic();
  EXPECT_EQ(mci.Count("pause music1"), 1);
  EXPECT_EQ(mci.Count("pause music2"), 1);
  music.ResumeAllMusic();
  EXPECT_EQ(mci.Count("resume music1"), 1);
  EXPECT_EQ(mci.Count("resume music2"), 0);
  EXPECT_EQ(Ask(op::kMusicPaused, 2), 1);
}

TEST_F(MusicCommandsTest, DeleteAllMusicEmptiesEverySlot) {
  ASSERT_EQ(LoadMusic(ModuleFile("d.mod"), 1), 0);
  ASSERT_EQ(LoadMusic("d.mid", 2), 0);
  music.DeleteAllMusic();
  EXPECT_EQ(Ask(op::kMusicExist, 1), 0);
  EXPECT_EQ(Ask(op::kMusicExist, 2), 0);
  EXPECT_EQ(mci.Count("close music2"), 1);
}

// The command-string device over a stand-in opener.
class FakeMedia final : public MciMedia {
 public:
  explicit FakeMedia(std::vector<std::string>& log) : log_(log) {}
  bool Play() override { return Log("play"); }
  bool Stop() override { return Log("stop"); }
  bool Rewind() override { return Log("rewind"); }
  bool Pause() override { return Log("pause"); }
  bool Resume() override { return Log("resume"); }
  int32_t LengthMs() override { return 1234; }
  int32_t PositionMs() override { return 56; }

 private:
  bool Log(const char* what) {
    log_.push_back(what);
    return true;
  }
  std::vector<std::string>& log_;
};

class FakeOpener final : public MciMediaOpener {
 public:
  std::unique_ptr<MciMedia> Open(const std::string& path) override {
    opened.push_back(path);
    if (path.find("bad") != std::string::npos) return nullptr;
    return std::make_unique<FakeMedia>(log);
  }
  std::vector<std::string> opened, log;
};

TEST(MciMusicDeviceTest, UnderstandsTheVerbsTheSlotsSend) {
  FakeOpener opener;
  MciMusicDevice device(opener);
  EXPECT_EQ(device.SendString("open \"C:\\a dir\\x.mid\" alias music1", nullptr), 0);
  ASSERT_EQ(opener.opened.size(), 1u);
  EXPECT_EQ(opener.opened[0], "/a dir/x.mid");
  EXPECT_EQ(device.SendString("open \"y.mid\" alias music1", nullptr), mci_error::kAliasInUse);
  EXPECT_EQ(device.SendString("open \"bad.wma\" alias music2", nullptr), mci_error::kFileNotFound);
  std::string reply;
  EXPECT_EQ(device.SendString("status music1 length", &reply), 0);
  EXPECT_EQ(reply, "1234");
  EXPECT_EQ(device.SendString("status music1 position", &reply), 0);
  EXPECT_EQ(reply, "56");
  for (const char* c : {"play music1", "pause music1", "resume music1", "stop music1", "seek music1 to start"})
    EXPECT_EQ(device.SendString(c, nullptr), 0) << c;
  EXPECT_EQ(opener.log, (std::vector<std::string>{"play", "pause", "resume", "stop", "rewind"}));
  EXPECT_EQ(device.SendString("play music9", nullptr), mci_error::kInvalidDevice);
  EXPECT_EQ(device.SendString("spin music1", nullptr), mci_error::kUnrecognisedCommand);
  EXPECT_EQ(device.SendString("close music1", nullptr), 0);
  EXPECT_FALSE(device.IsOpen("music1"));
}

}  // namespace
}  // namespace zv::test
