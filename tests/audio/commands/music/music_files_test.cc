// Compressed music files (WMA, Ogg Vorbis, AAC, FLAC) loaded and played by
// compiled BASIC programs, heard through the sound library mixing offline.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "audio/commands/music_commands.h"
#include "audio/commands/music_service.h"
#include "runtime/console/console_commands.h"
#include "tests/audio/commands/sound_program_fixture.h"
#include "tests/audio/library/formats/songs/module_builder.h"
#include "tests/support/test_paths.h"

namespace zv::test {
namespace {

// A frame of the runtime at 60 frames a second: the frame's sound is
// mixed, then the music slots take their look, as the runtime's frame does.
constexpr int32_t kFrameSamples = 44100 / 60;

class MusicFilesTest : public SoundProgramTest {
 protected:
  MusicFilesTest() {
    RegisterConsoleHandlers(handlers);
    RegisterMusicHandlers(handlers);
    service.SetMusic(&music);
    on_frame = [this] {
      const std::vector<int16_t> frame = Hear(kFrameSamples);
      heard.insert(heard.end(), frame.begin(), frame.end());
      service.UpdateSoundLibrary();
      service.UpdateMusic();
    };
  }
  void TearDown() override {
    music.DeleteAllMusic();
    SoundProgramTest::TearDown();
  }

  // Runs `source` with $MUSIC standing for the folder of the music files.
  bool RunWithFiles(std::string source) {
    heard.clear();
    const std::string key = "$MUSIC";
    for (size_t at = source.find(key); at != std::string::npos; at = source.find(key))
      source.replace(at, key.size(), zv::test::SourcePath("tests/audio/commands/music/files"));
    return Run(source);
  }
  // Output values louder than a whisper between two times of the run.
  int64_t LoudBetween(double from_s, double to_s) const {
    int64_t loud = 0;
    const auto first = static_cast<size_t>(from_s * 44100) * 2;
    const auto last = std::min(heard.size(), static_cast<size_t>(to_s * 44100) * 2);
    for (size_t i = first; i < last; ++i) loud += std::abs(heard[i]) > 500;
    return loud;
  }

  MusicService music;
  std::vector<int16_t> heard;  // the mixed output of the run, frame after frame
};

// Played once, each file is heard from the first frame, pauses and goes on,
// reports playing until its half second is over, then stops by itself;
// played again, it starts from its beginning.
TEST_F(MusicFilesTest, APieceIsHeardAndStopsAtItsEnd) {
  for (const char* file : {"tone.wma", "tone.ogg", "tone.m4a", "tone.flac"}) {
    SCOPED_TRACE(file);
    ASSERT_TRUE(RunWithFiles(std::string("load music \"$MUSIC/") + file + "\", 1\n" +
                             "play music 1\n"
                             "a = music playing(1)\n"
                             "for i = 1 to 12 : sync : next i\n"  // 0.2 s
                             "pause music 1\n"
                             "for i = 1 to 12 : sync : next i\n"
                             "resume music 1\n"
                             "for i = 1 to 6 : sync : next i\n"
                             "b = music playing(1)\n"
                             "for i = 1 to 42 : sync : next i\n"  // played 0.2 + 0.8 s
                             "c = music playing(1)\n"
                             "d = music exist(1)\n"));
    ASSERT_EQ(Error(), 0);
    EXPECT_EQ(Int(0), 1);  // a
    EXPECT_EQ(Int(2), 1);  // b
    EXPECT_EQ(Int(3), 0);  // c
    EXPECT_EQ(Int(4), 1);  // d
    EXPECT_GT(LoudBetween(0.02, 0.18), 5000);
    EXPECT_EQ(LoudBetween(0.26, 0.38), 0);  // paused (after what was mixed ahead)
    EXPECT_GT(LoudBetween(0.42, 0.68), 10000);
    EXPECT_EQ(LoudBetween(0.8, 1.2), 0);  // over

    ASSERT_TRUE(RunWithFiles("play music 1\na = music playing(1)\nfor i = 1 to 12 : sync : next i\n"));
    EXPECT_EQ(Int(0), 1);
    EXPECT_GT(LoudBetween(0.02, 0.18), 5000);
    ASSERT_TRUE(RunWithFiles("stop music 1\na = music playing(1)\nfor i = 1 to 12 : sync : next i\n"));
    EXPECT_EQ(Int(0), 0);
    EXPECT_EQ(LoudBetween(0.05, 0.2), 0);
  }
}

// Looped, the piece starts again after its end and goes on playing.
TEST_F(MusicFilesTest, ALoopedPieceStartsAgain) {
  for (const char* file : {"tone.wma", "tone.ogg"}) {
    SCOPED_TRACE(file);
    ASSERT_TRUE(RunWithFiles(std::string("load music \"$MUSIC/") + file + "\", 2\n" +
                             "loop music 2\n"
                             "for i = 1 to 100 : sync : next i\n"
                             "a = music playing(2)\n"
                             "b = music looping(2)\n"));
    ASSERT_EQ(Error(), 0);
    EXPECT_EQ(Int(1), 1);  // a
    EXPECT_EQ(Int(2), 1);  // b
    // Each pass is half a second and a check of the slots at most 11
    // frames later; every stretch of a quarter second holds sound.
    for (double from = 0; from < 1.6; from += 0.25) EXPECT_GT(LoudBetween(from, from + 0.25), 1000) << from;
  }
}

// A MIDI song takes its own loudness, also looping round (opened again), and
// no other's; stopped, or played to its end, it plays again.
TEST_F(MusicFilesTest, MidiSongsTakeTheirOwnVolumeAndPlayAgain) {
  const std::string tune = TempPath("tune.mid");
  ASSERT_TRUE(WriteBytes(tune, WriteMidi({{0, {0x90, 60, 110}}, {96, {0x80, 60, 0}}})));  // half a second
  ASSERT_TRUE(RunWithFiles("load music \"" + tune + "\", 1\nload music \"" + tune + "\", 2\n" +
                           "set music volume 1, 0\nloop music 1\nfor i = 1 to 80 : sync : next i\n"));
  EXPECT_EQ(LoudBetween(0, 1.3), 0);
  ASSERT_TRUE(RunWithFiles("set music volume 1, 100\nstop music 1\nplay music 1\nset music volume 2, 0\n"
                           "for i = 1 to 24 : sync : next i\n"));
  EXPECT_GT(LoudBetween(0, 0.4), 1000);
  ASSERT_TRUE(RunWithFiles("for i = 1 to 40 : sync : next i\nplay music 1\nfor i = 1 to 12 : sync : next i\n"));
  EXPECT_GT(LoudBetween(0.7, 0.85), 1000);
  std::remove(tune.c_str());
}

// What does not decode is a warning, as before: a file that is no music,
// a missing file, and a segment file (no segment player on this system).
TEST_F(MusicFilesTest, WhatCannotBePlayedIsAWarning) {
  const std::string junk = TempPath("junk.wma");
  ASSERT_TRUE(WriteBytes(junk, std::vector<uint8_t>(4000, 0x5A)));
  const std::string segment = TempPath("theme.sgt");
  ASSERT_TRUE(WriteBytes(segment, std::vector<uint8_t>{'R', 'I', 'F', 'F', 4, 0, 0, 0, 'D', 'M', 'S', 'G'}));
  for (const std::string& name : {junk, segment, zv::test::SourcePath("tests/audio/commands/music/files/none.ogg")}) {
    ASSERT_TRUE(RunWithFiles("load music \"" + name + "\", 3\na = music exist(3)\n"));
    EXPECT_EQ(Error(), music_error::kLoadFailed) << name;
    EXPECT_TRUE(Warning()) << name;
  }
  std::remove(junk.c_str());
  std::remove(segment.c_str());
}

}  // namespace
}  // namespace zv::test
