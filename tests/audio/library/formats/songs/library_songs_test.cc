#include <gtest/gtest.h>

#include <cstdlib>

#include "audio/library/formats/song_library_host.h"
#include "tests/audio/library/audio_test_util.h"
#include "tests/audio/library/formats/songs/song_fixture.h"

namespace zv::test {
namespace {

// The song engine on the sound library itself, mixing offline.
class LibrarySongsTest : public AudioLibraryTest {
 protected:
  void SetUp() override {
    AudioLibraryTest::SetUp();
    InstallLibrarySongHooks();
  }
  void TearDown() override {
    for (Song* song : songs_) LibrarySongs().FreeSong(song);
    AudioLibraryTest::TearDown();
  }
  Song* Load(const std::vector<uint8_t>& bytes) {
    Song* song = LibrarySongs().LoadSongFromMemory(bytes.data(), static_cast<int32_t>(bytes.size()));
    if (song) songs_.push_back(song);
    return song;
  }
  static int Loud(const std::vector<int16_t>& pcm, size_t from, size_t to) {
    int loud = 0;
    for (size_t i = from; i < to && i < pcm.size(); ++i) loud += std::abs(pcm[i]) > 100;
    return loud;
  }
  std::vector<Song*> songs_;
};

TEST_F(LibrarySongsTest, ModulePlaysThroughTheMixer) {
  TestModule m = OnePatternModule();
  m.patterns[0].At(2, 0) = {25, 1, -1, 0, 0};
  Song* song = Load(WriteMod(m));
  ASSERT_NE(song, nullptr);
  ASSERT_TRUE(LibrarySongs().PlaySong(song));
  const std::vector<int16_t> pcm = Mix(44100);
  const size_t note = 2 * 6 * 882;  // row 2
  EXPECT_EQ(Loud(pcm, 0, note * 2 - 200), 0);
  EXPECT_GT(Loud(pcm, note * 2, note * 2 + 20000), 5000);
  EXPECT_EQ(song->channel_list.size(), 1u);
  // Its channel is the song's: a sound effect cannot take it.
  EXPECT_TRUE(GetChannelReserved(song->channel_list[0]));
  EXPECT_GT(LibrarySongs().GetSongTime(song), 500);
}

TEST_F(LibrarySongsTest, StoppingGivesTheChannelsBack) {
  TestModule m = OnePatternModule();
  m.patterns[0].At(0, 0) = {25, 1, -1, 0, 0};
  m.patterns[0].At(0, 1) = {37, 1, -1, 0, 0};
  Song* song = Load(WriteXm([&] {
    TestModule x = m;
    x.instruments.push_back(TestInstrument{});
    x.instruments[0].samples = {0};
    return x;
  }()));
  ASSERT_NE(song, nullptr);
  ASSERT_TRUE(LibrarySongs().PlaySong(song));
  Mix(4410);
  EXPECT_EQ(GetChannelsPlaying(), 2);
  ASSERT_TRUE(LibrarySongs().StopSong(song));
  EXPECT_EQ(GetChannelsPlaying(), 0);
  for (int i = 0; i < channels_; ++i) EXPECT_FALSE(GetChannelReserved(i)) << i;
  EXPECT_EQ(Loud(Mix(4410), 0, 8820), 0);
}

TEST_F(LibrarySongsTest, CloseAudioStopsSongs) {
  TestModule m = OnePatternModule();
  m.patterns[0].At(0, 0) = {25, 1, -1, 0, 0};
  Song* song = Load(WriteS3m(m));
  ASSERT_NE(song, nullptr);
  ASSERT_TRUE(LibrarySongs().PlaySong(song));
  Mix(2000);
  CloseAudio();
  EXPECT_FALSE(LibrarySongs().IsSongPlaying(song));
  ASSERT_TRUE(InitAudio(44100, channels_, 0));
}

}  // namespace
}  // namespace zv::test
