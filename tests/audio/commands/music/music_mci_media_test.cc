#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "audio/commands/music_mci.h"
#include "audio/library/formats/song_library_host.h"
#include "tests/audio/library/audio_test_util.h"
#include "tests/audio/library/formats/songs/module_builder.h"
#include "tests/support/test_paths.h"

namespace zv::test {
namespace {

// Files played through command strings, on the sound library mixing offline.
class MciMediaTest : public AudioLibraryTest {
 protected:
  void SetUp() override {
    AudioLibraryTest::SetUp();
    InstallLibrarySongHooks();
    folder = ::testing::TempDir() + "mci_" + std::to_string(getpid()) + "/";
    std::filesystem::create_directories(folder);
  }
  std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) {
    const std::string path = folder + name;
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                 static_cast<std::streamsize>(bytes.size()));
    return path;
  }
  static int64_t Loud(const std::vector<int16_t>& pcm) {
    int64_t loud = 0;
    for (int16_t v : pcm) loud += std::abs(v) > 100;
    return loud;
  }
  std::string folder;
};

// One second of a 16-bit mono square wave at 22050 Hz.
std::vector<uint8_t> SquareWav() {
  const uint32_t frames = 22050;
  std::vector<uint8_t> b;
  auto u32 = [&b](uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
  };
  auto u16 = [&b](uint16_t v) {
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
  };
  b.insert(b.end(), {'R', 'I', 'F', 'F'});
  u32(36 + frames * 2);
  b.insert(b.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
  u32(16);
  u16(1);
  u16(1);
  u32(22050);
  u32(44100);
  u16(2);
  u16(16);
  b.insert(b.end(), {'d', 'a', 't', 'a'});
  u32(frames * 2);
  for (uint32_t i = 0; i < frames; ++i) u16(static_cast<uint16_t>((i / 50) % 2 ? 8000 : -8000));
  return b;
}

TEST_F(MciMediaTest, MidiFilePlaysAsASong) {
  LibraryMciMediaOpener opener(LibrarySongs());
  MciMusicDevice device(opener);
  const std::string path =
      Write("tune.mid", WriteMidi({{0, {0x90, 60, 110}}, {96, {0x80, 60, 0}}}));  // half a second
  ASSERT_EQ(device.SendString("open \"" + path + "\" alias music1", nullptr), 0);
  std::string reply;
  ASSERT_EQ(device.SendString("status music1 length", &reply), 0);
  EXPECT_EQ(reply, "500");
  ASSERT_EQ(device.SendString("play music1", nullptr), 0);
  EXPECT_GT(Loud(Mix(11025)), 1000);
  ASSERT_EQ(device.SendString("status music1 position", &reply), 0);
  EXPECT_NEAR(std::atoi(reply.c_str()), 250, 30);
  Mix(22050);
  ASSERT_EQ(device.SendString("status music1 position", &reply), 0);
  EXPECT_EQ(reply, "500");
  EXPECT_EQ(device.SendString("close music1", nullptr), 0);
}

TEST_F(MciMediaTest, WaveFilePlaysOnAReservedChannel) {
  LibraryMciMediaOpener opener(LibrarySongs());
  MciMusicDevice device(opener);
  const std::string path = Write("voice.wav", SquareWav());
  ASSERT_EQ(device.SendString("open \"" + path + "\" alias music2", nullptr), 0);
  std::string reply;
  ASSERT_EQ(device.SendString("status music2 length", &reply), 0);
  EXPECT_EQ(reply, "1000");
  ASSERT_EQ(device.SendString("play music2", nullptr), 0);
  EXPECT_GT(Loud(Mix(4410)), 1000);
  ASSERT_EQ(device.SendString("pause music2", nullptr), 0);
  ASSERT_EQ(device.SendString("status music2 position", &reply), 0);
  const int paused_at = std::atoi(reply.c_str());
  EXPECT_NEAR(paused_at, 100, 30);
  Mix(2208);  // what was mixed before the pause
  EXPECT_EQ(Loud(Mix(4410)), 0);
  ASSERT_EQ(device.SendString("resume music2", nullptr), 0);
  Mix(44100);
  ASSERT_EQ(device.SendString("status music2 position", &reply), 0);
  EXPECT_EQ(reply, "1000");
  EXPECT_EQ(device.SendString("close music2", nullptr), 0);
  EXPECT_EQ(device.SendString("open \"" + folder + "none.wma\" alias music3", nullptr), mci_error::kFileNotFound);
}

// A compressed file reports the length its headers state, and a position
// that stays short of it until the sound has really run out.
TEST_F(MciMediaTest, CompressedFileReportsItsLengthAndPosition) {
  LibraryMciMediaOpener opener(LibrarySongs());
  MciMusicDevice device(opener);
  const std::string path = zv::test::SourcePath("tests/audio/commands/music/files/tone.ogg");
  ASSERT_EQ(device.SendString("open \"" + path + "\" alias music4", nullptr), 0);
  std::string reply;
  ASSERT_EQ(device.SendString("status music4 length", &reply), 0);
  EXPECT_EQ(reply, "500");
  ASSERT_EQ(device.SendString("play music4", nullptr), 0);
  EXPECT_GT(Loud(Mix(11025)), 1000);
  ASSERT_EQ(device.SendString("status music4 position", &reply), 0);
  EXPECT_NEAR(std::atoi(reply.c_str()), 250, 30);
  Mix(10800);
  ASSERT_EQ(device.SendString("status music4 position", &reply), 0);
  EXPECT_LT(std::atoi(reply.c_str()), 500);
  EXPECT_GT(std::atoi(reply.c_str()), 450);
  Mix(4410);
  ASSERT_EQ(device.SendString("status music4 position", &reply), 0);
  EXPECT_EQ(reply, "500");
  EXPECT_EQ(Loud(Mix(4410)), 0);
  EXPECT_EQ(device.SendString("close music4", nullptr), 0);
}

}  // namespace
}  // namespace zv::test
