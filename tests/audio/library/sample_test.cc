#include <gtest/gtest.h>

#include "audio/library/channel.h"
#include "audio/library/sample.h"
#include "tests/audio/library/audio_test_util.h"

namespace zv {
namespace {

using test::AudioLibraryTest;

int8_t* Bytes(SampleHandle s) { return reinterpret_cast<int8_t*>(s->data); }

TEST_F(AudioLibraryTest, TableGrowsInSteps) {
  SampleHandle s = AllocSampleSlot(300, sample_mode::k8Bit);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(GetMaxSamples(), 512);
  EXPECT_EQ(GetSample(300), s);
  EXPECT_EQ(s->index, 300);
  // A second sample in the same entry frees the first.
  SampleHandle t = AllocSampleSlot(300, sample_mode::k8Bit);
  EXPECT_EQ(GetSample(300), t);
}

TEST(SampleMode, NormalisationDropsTheWeakerFlags) {
  EXPECT_EQ(NormaliseSampleMode(0x2000 | 0x1000 | 0x10 | 0x8 | 0x40 | 0x20), 0x2000u | 0x10u | 0x40u);
  EXPECT_EQ(NormaliseSampleMode(0x1000 | 0x8 | 0x20), 0x1000u | 0x8u | 0x20u);
}

TEST_F(AudioLibraryTest, RawFileOf16BitStereoGivesFramesAndAWholeLoop) {
  const std::string path = test::TempPath("raw.bin");
  ASSERT_TRUE(test::WriteBytes(path, std::vector<uint8_t>(4000, 1)));
  SampleHandle s = LoadRawSample(-1, path.c_str(), sample_mode::k16Bit | sample_mode::kStereo);
  std::remove(path.c_str());
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(GetSampleLength(s), 1000);
  int32_t start = -1, end = -1;
  GetSampleLoopPoints(s, &start, &end);
  EXPECT_EQ(start, 0);
  EXPECT_EQ(end, 999);
  EXPECT_STREQ(GetSampleName(s), path.c_str());
  EXPECT_EQ(GetSampleMode(s), kLoopModeOff | sample_mode::k16Bit | sample_mode::kStereo);
}

TEST_F(AudioLibraryTest, LoadFailuresSayWhy) {
  EXPECT_EQ(LoadSample(-1, "/nonexistent/sound.wav", 0, 0), nullptr);
  EXPECT_EQ(GetAudioError(), audio_error::kFileOpen);
  const uint8_t text[] = "this is no sound at all, just some text of a file";
  EXPECT_EQ(LoadSample(-1, text, sample_mode::kMemoryImage, sizeof text), nullptr);
  EXPECT_EQ(GetAudioError(), audio_error::kBadFormat);
  EXPECT_EQ(LoadSample(-1, text, sample_mode::kMemoryImage, 0), nullptr);
  EXPECT_EQ(GetAudioError(), audio_error::kBadParameter);
  const std::string path = test::TempPath("empty.raw");
  ASSERT_TRUE(test::WriteBytes(path, {}));
  EXPECT_EQ(LoadRawSample(-1, path.c_str(), sample_mode::k8Bit), nullptr);
  EXPECT_EQ(GetAudioError(), audio_error::kEmptyFile);
  std::remove(path.c_str());
}

TEST_F(AudioLibraryTest, LoopGuardFrameFollowsTheLoop) {
  SampleHandle s = AllocSample(-1, 10, sample_mode::k8Bit | sample_mode::kLoopNormal, 44100, 255, 128, 255);
  ASSERT_NE(s, nullptr);
  for (int i = 0; i < 10; ++i) Bytes(s)[i] = static_cast<int8_t>(10 + i);
  ASSERT_TRUE(SetSampleLoopPoints(s, 2, 5));
  EXPECT_EQ(Bytes(s)[6], Bytes(s)[2]);
  ASSERT_TRUE(SetSampleLoopPoints(s, 2, 7));
  EXPECT_EQ(Bytes(s)[6], 16);  // given back
  EXPECT_EQ(Bytes(s)[8], 12);  // the loop start
  // Bidirectional: the frame after the loop repeats its last frame.
  ASSERT_TRUE(SetSampleLoopMode(s, kLoopModeBidi));
  EXPECT_EQ(Bytes(s)[8], 17);
  // Off: the frame after the loop is silence, and its value is back once
  // the loop moves away again.
  ASSERT_TRUE(SetSampleLoopMode(s, kLoopModeOff));
  EXPECT_EQ(Bytes(s)[8], 0);
  ASSERT_TRUE(SetSampleLoopMode(s, kLoopModeNormal));
  ASSERT_TRUE(SetSampleLoopPoints(s, 0, 9));
  EXPECT_EQ(Bytes(s)[8], 18);
  EXPECT_EQ(Bytes(s)[10], 10);  // the spare frame past the end holds the loop start
  EXPECT_FALSE(SetSampleLoopMode(s, 3));
}

TEST_F(AudioLibraryTest, LoopPointsMustMakeALoop) {
  SampleHandle s = AllocSample(-1, 10, sample_mode::k8Bit, 44100, 255, 128, 255);
  EXPECT_FALSE(SetSampleLoopPoints(s, 5, 5));
  EXPECT_EQ(GetAudioError(), audio_error::kBadParameter);
  EXPECT_FALSE(SetSampleLoopPoints(s, 0, 10));
  EXPECT_FALSE(SetSampleLoopPoints(s, -1, 4));
  EXPECT_FALSE(SetSampleLoopPoints(nullptr, 0, 4));
}

TEST_F(AudioLibraryTest, DefaultsChangeOnlyForPositiveValues) {
  SampleHandle s = AllocSample(-1, 10, sample_mode::k8Bit, 22050, 200, 100, 50);
  ASSERT_TRUE(SetSampleDefaults(s, 0, 0, 0, 0));
  int32_t f, v, p, pr;
  GetSampleDefaults(s, &f, &v, &p, &pr);
  EXPECT_EQ(f, 22050);
  EXPECT_EQ(v, 200);
  EXPECT_EQ(p, 100);
  EXPECT_EQ(pr, 50);
  ASSERT_TRUE(SetSampleDefaults(s, 8000, -1, 7, 0));
  GetSampleDefaults(s, &f, nullptr, &p, nullptr);
  EXPECT_EQ(f, 8000);
  EXPECT_EQ(p, 7);
}

TEST_F(AudioLibraryTest, UploadUndoesDeltaCodingThenTheSign) {
  SampleHandle s = AllocSample(-1, 4, sample_mode::k8Bit, 44100, 255, 128, 255);
  const int8_t deltas[] = {1, 1, 1, -3};
  ASSERT_TRUE(UploadSampleData(s, deltas, sizeof deltas, sample_mode::k8Bit | sample_mode::kDelta));
  EXPECT_EQ(Bytes(s)[0], 1);
  EXPECT_EQ(Bytes(s)[2], 3);
  EXPECT_EQ(Bytes(s)[3], 0);
  SampleHandle w = AllocSample(-1, 3, sample_mode::k16Bit, 44100, 255, 128, 255);
  const uint16_t unsigned_values[] = {0x8000, 0xFFFF, 0x0000};
  ASSERT_TRUE(UploadSampleData(w, unsigned_values, sizeof unsigned_values, sample_mode::k16Bit | sample_mode::kUnsigned));
  const auto* values = reinterpret_cast<const int16_t*>(w->data);
  EXPECT_EQ(values[0], 0);
  EXPECT_EQ(values[1], 32767);
  EXPECT_EQ(values[2], -32768);
  // A short source fills what it has; the rest is silence.
  const int8_t two[] = {5, 6};
  ASSERT_TRUE(UploadSampleData(s, two, sizeof two, sample_mode::k8Bit));
  EXPECT_EQ(Bytes(s)[1], 6);
  EXPECT_EQ(Bytes(s)[2], 0);
}

TEST_F(AudioLibraryTest, LockWrapsPastTheEnd) {
  SampleHandle s = AllocSample(-1, 100, sample_mode::k16Bit, 44100, 255, 128, 255);  // 200 bytes
  void* p1;
  void* p2;
  int32_t l1, l2;
  ASSERT_TRUE(LockSample(s, 150, 100, &p1, &p2, &l1, &l2));
  EXPECT_EQ(p1, s->data + 150);
  EXPECT_EQ(l1, 50);
  EXPECT_EQ(p2, s->data);
  EXPECT_EQ(l2, 50);
  ASSERT_TRUE(LockSample(s, 0, 40, &p1, &p2, &l1, &l2));
  EXPECT_EQ(l1, 40);
  EXPECT_EQ(p2, nullptr);
  EXPECT_FALSE(LockSample(s, 900, 10, &p1, &p2, &l1, &l2));
  EXPECT_EQ(p1, nullptr);
  EXPECT_EQ(GetAudioError(), audio_error::kBadParameter);
}

TEST_F(AudioLibraryTest, FreeingASampleStopsItsChannels) {
  SampleHandle s = AllocSample(-1, 1000, sample_mode::k16Bit | sample_mode::kLoopNormal, 44100, 255, 128, 255);
  const ChannelHandle h = PlaySample(kChooseChannel, s);
  ASSERT_TRUE(IsChannelPlaying(h));
  FreeSample(s);
  EXPECT_FALSE(IsChannelPlaying(h & 0xfff));
  EXPECT_EQ(GetChannelSample(h & 0xfff), nullptr);
  EXPECT_EQ(GetSample(0), nullptr);
  FreeSample(nullptr);
}

TEST_F(AudioLibraryTest, MinMaxDistanceMustBeOrdered) {
  SampleHandle s = AllocSample(-1, 10, sample_mode::k8Bit, 44100, 255, 128, 255);
  EXPECT_TRUE(SetSampleMinMaxDistance(s, 2.0f, 5.0f));
  EXPECT_FALSE(SetSampleMinMaxDistance(s, 5.0f, 2.0f));
  EXPECT_FALSE(SetSampleMinMaxDistance(s, -1.0f, 2.0f));
  EXPECT_EQ(GetAudioError(), audio_error::kBadParameter);
  EXPECT_EQ(s->min_distance, 2.0f);
}

TEST_F(AudioLibraryTest, AllocationWithoutALengthIsRefused) {
  EXPECT_EQ(AllocSample(-1, 0, sample_mode::k8Bit, 44100, 255, 128, 255), nullptr);
  EXPECT_EQ(GetAudioError(), audio_error::kBadParameter);
}

TEST(SampleTable, NeedsAnInitialisedLibrary) {
  CloseAudio();
  EXPECT_EQ(AllocSampleSlot(-1, 0), nullptr);
  EXPECT_EQ(GetAudioError(), audio_error::kNotInitialised);
  SampleHandle unmanaged = AllocSampleSlot(-2, 0);
  ASSERT_NE(unmanaged, nullptr);
  EXPECT_EQ(unmanaged->index, -2);
  FreeSample(unmanaged);
}

}  // namespace
}  // namespace zv
