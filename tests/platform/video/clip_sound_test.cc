#include "platform/video/clip_sound.h"
#include "tests/support/test_paths.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace zv::platform {
namespace {

std::string Clip(const std::string& name) { return zv::test::SourcePath("tests/platform/video/clips/") + name; }

// Everything a track gives, read in pieces of `piece` frames.
std::vector<int16_t> ReadAll(ClipSound& sound, int32_t piece = 1000) {
  std::vector<int16_t> all;
  std::vector<int16_t> buffer(static_cast<size_t>(piece) * 2);
  for (int32_t got; (got = sound.Read(buffer.data(), piece)) > 0;) {
    all.insert(all.end(), buffer.begin(), buffer.begin() + got * 2);
    if (got < piece) break;
  }
  return all;
}

// Rising zero crossings of the left side, a second's worth scaled.
double Frequency(const std::vector<int16_t>& frames, int32_t rate) {
  int rising = 0;
  for (size_t i = 2; i < frames.size(); i += 2) rising += frames[i - 2] < 0 && frames[i] >= 0;
  return rising * static_cast<double>(rate) / static_cast<double>(frames.size() / 2);
}

// The clip's 0.6 s of a 440 Hz tone (8-bit mono at 8000 Hz in the file)
// comes out as 16-bit stereo at the rate asked for, both sides alike; a
// rewind gives the same sound again, whatever the size of the reads. The
// file's stated length goes along.
TEST(ClipSound, DecodesTheTrackAtTheAskedRateAndRewinds) {
  for (int32_t rate : {44100, 22050}) {
    SCOPED_TRACE(rate);
    auto sound = OpenClipSound(Clip("with_sound.avi"), rate);
    ASSERT_NE(sound, nullptr);
    EXPECT_NEAR(sound->StatedLengthMs(), 600, 5);
    const std::vector<int16_t> first = ReadAll(*sound, 333);
    EXPECT_NEAR(static_cast<double>(first.size() / 2), 0.6 * rate, rate * 0.01);
    EXPECT_NEAR(Frequency(first, rate), 440.0, 5.0);
    int peak = 0;
    for (size_t i = 0; i < first.size(); i += 2) {
      ASSERT_EQ(first[i], first[i + 1]) << i;
      peak = std::max(peak, std::abs(static_cast<int>(first[i])));
    }
    EXPECT_GT(peak, 2000);
    EXPECT_LT(peak, 8000);
    int16_t none[2];
    EXPECT_EQ(sound->Read(none, 1), 0);
    ASSERT_TRUE(sound->Rewind());
    EXPECT_EQ(ReadAll(*sound, 4096), first);
    EXPECT_NEAR(sound->StatedLengthMs(), 600, 5);
  }
}

TEST(ClipSound, OnlyTracksThatDecodeOpen) {
  EXPECT_NE(OpenClipSound(Clip("sound_only.wav"), 44100), nullptr);
  EXPECT_EQ(OpenClipSound(Clip("raw.avi"), 44100), nullptr);  // pictures only
  EXPECT_EQ(OpenClipSound(Clip("missing.avi"), 44100), nullptr);
  EXPECT_EQ(OpenClipSound(Clip("with_sound.avi"), 0), nullptr);
  EXPECT_EQ(OpenClipSound(Clip("with_sound.avi"), 1000000), nullptr);

  // A clip cut short plays what is left of its sound and ends.
  std::ifstream in(Clip("with_sound.avi"), std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::string cut = ::testing::TempDir() + "cut_sound.avi";
  std::ofstream(cut, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size() * 2 / 3));
  auto sound = OpenClipSound(cut, 44100);
  if (sound) {
    const size_t frames = ReadAll(*sound).size() / 2;
    EXPECT_LT(frames, 26460u);
    EXPECT_TRUE(sound->Rewind());
  }
  std::filesystem::remove(cut);
}

}  // namespace
}  // namespace zv::platform
