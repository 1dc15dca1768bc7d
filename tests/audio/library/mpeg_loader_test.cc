#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "audio/library/formats/mpeg_decoder.h"
#include "audio/library/formats/mpeg_header.h"
#include "audio/library/formats/mpeg_loader.h"
#include "audio/library/sample.h"
#include "tests/audio/library/audio_test_util.h"
#include "tests/support/test_paths.h"

namespace zv {
namespace {

using test::AudioLibraryTest;

std::vector<uint8_t> Fixture(const std::string& name) {
  return test::ReadBytes(zv::test::SourcePath("tests/audio/library/formats/fixtures/") + name);
}

// Decodes a stream frame by frame with one decoder, the way a player would.
std::vector<int16_t> DecodeAll(const std::vector<uint8_t>& bytes, size_t start, int* frames) {
  auto decoder = std::make_unique<MpegDecoder>();
  std::vector<int16_t> out;
  std::vector<int16_t> pcm(kMpegMaxFrameSamples);
  size_t at = start;
  *frames = 0;
  while (at + 4 <= bytes.size()) {
    int size = 0;
    if (!ParseMpegHeader(*decoder, std::span<const uint8_t>(bytes.data() + at, 4), nullptr, nullptr, &size)) break;
    if (at + 4 + static_cast<size_t>(size) > bytes.size()) break;
    int produced = 0;
    DecodeMpegFrame(*decoder, std::span<const uint8_t>(bytes.data() + at, 4 + static_cast<size_t>(size)), pcm, produced);
    out.insert(out.end(), pcm.begin(), pcm.begin() + produced / 2);
    at += 4 + static_cast<size_t>(size);
    ++*frames;
  }
  return out;
}

SampleHandle LoadImage(const std::vector<uint8_t>& image) {
  return LoadSample(-1, image.data(), sample_mode::kMemoryImage, static_cast<int32_t>(image.size()));
}

TEST_F(AudioLibraryTest, MpegFileDecodesWholeIntoASample) {
  const std::vector<uint8_t> file = Fixture("l3_joint_128k_44k.mp3");
  ASSERT_FALSE(file.empty());
  int frames = 0;
  const std::vector<int16_t> expected = DecodeAll(file, 0, &frames);
  SampleHandle s = LoadImage(file);
  ASSERT_NE(s, nullptr) << GetAudioError();
  EXPECT_EQ(s->bits, 16);
  EXPECT_EQ(s->layout, sample_mode::kStereo);
  EXPECT_EQ(s->default_frequency, 44100);
  EXPECT_EQ(s->length, frames * 1152);
  ASSERT_EQ(expected.size(), static_cast<size_t>(s->length) * 2);
  EXPECT_EQ(std::memcmp(expected.data(), s->data, expected.size() * 2), 0);
}

TEST_F(AudioLibraryTest, LayerTwoAndLowRatesLoadToo) {
  for (const char* name : {"l2_joint_128k_44k.mp2", "l3_lsf_mono_24k_16k.mp3", "l3_mpeg25_mono_16k_8k.mp3"}) {
    const std::vector<uint8_t> file = Fixture(name);
    int frames = 0;
    const std::vector<int16_t> expected = DecodeAll(file, 0, &frames);
    SampleHandle s = LoadImage(file);
    ASSERT_NE(s, nullptr) << name;
    const size_t values = static_cast<size_t>(s->length) * (s->layout == sample_mode::kStereo ? 2 : 1);
    ASSERT_EQ(values, expected.size()) << name;
    EXPECT_EQ(std::memcmp(expected.data(), s->data, values * 2), 0) << name;
  }
}

TEST_F(AudioLibraryTest, FramesAreFoundWithin256BytesOfTheStart) {
  const std::vector<uint8_t> file = Fixture("l3_mono_64k_32k.mp3");
  std::vector<uint8_t> padded(255, 0);
  padded.insert(padded.end(), file.begin(), file.end());
  EXPECT_NE(LoadImage(padded), nullptr);
  padded.insert(padded.begin(), 0);
  EXPECT_EQ(LoadImage(padded), nullptr);
  EXPECT_EQ(GetAudioError(), audio_error::kBadFormat);
}

TEST_F(AudioLibraryTest, AnId3TagIsSkipped) {
  const std::vector<uint8_t> file = Fixture("l3_mono_64k_32k.mp3");
  std::vector<uint8_t> tagged = {'I', 'D', '3', 3, 0, 0, 0x00, 0x00, 0x03, 0x7F};
  tagged.resize(tagged.size() + 511, 0xFF);  // a tag body that looks like frame syncs
  tagged.insert(tagged.end(), file.begin(), file.end());
  AudioFile* f = OpenAudioFile(tagged.data(), kAudioFileMemory, static_cast<int32_t>(tagged.size()));
  MpegProbe probe;
  ASSERT_TRUE(ProbeMpegFile(f, probe, nullptr, nullptr));
  EXPECT_EQ(probe.data_start, 521);
  EXPECT_EQ(probe.rate, 32000);
  EXPECT_EQ(probe.data_length, static_cast<int32_t>(file.size()));
  // With the exact length the frames are counted into a seek table.
  probe = MpegProbe{};
  probe.mode = sample_mode::kExactMpegLength;
  MpegSeekTable table;
  ASSERT_TRUE(ProbeMpegFile(f, probe, &table, nullptr));
  int frames = 0;
  DecodeAll(file, 0, &frames);
  EXPECT_EQ(table.offsets.size(), static_cast<size_t>(frames));
  EXPECT_EQ(probe.total_bytes, static_cast<int64_t>(frames) * 2304);
  EXPECT_EQ(table.offsets[0], 0u);
  CloseAudioFile(f);
}

TEST_F(AudioLibraryTest, MpegInsideAWaveFileIsLoadedAsMpeg) {
  const std::vector<uint8_t> file = Fixture("l3_mono_64k_32k.mp3");
  std::vector<uint8_t> chunks;
  test::PutChunk(chunks, "fmt ", test::FormatChunk(0x55, 1, 32000, 0, true));
  test::PutChunk(chunks, "data", file);
  SampleHandle s = LoadImage(test::Riff(chunks));
  ASSERT_NE(s, nullptr) << GetAudioError();
  int frames = 0;
  DecodeAll(file, 0, &frames);
  EXPECT_EQ(s->length, frames * 1152);
}

TEST_F(AudioLibraryTest, AChangeOfLayerEndsTheDecode) {
  std::vector<uint8_t> mixed = Fixture("l3_joint_128k_44k.mp3");
  int layer3_frames = 0;
  const std::vector<int16_t> first = DecodeAll(mixed, 0, &layer3_frames);
  const std::vector<uint8_t> layer2 = Fixture("l2_joint_128k_44k.mp2");
  mixed.insert(mixed.end(), layer2.begin(), layer2.end());
  SampleHandle s = LoadImage(mixed);
  ASSERT_NE(s, nullptr);
  ASSERT_GT(static_cast<size_t>(s->length) * 2, first.size());
  const auto* v = reinterpret_cast<const int16_t*>(s->data);
  EXPECT_EQ(std::memcmp(first.data(), v, first.size() * 2), 0);
  for (size_t i = first.size(); i < static_cast<size_t>(s->length) * 2; ++i) ASSERT_EQ(v[i], 0);
}

TEST_F(AudioLibraryTest, DamagedFramesDoNotStopTheDecode) {
  std::vector<uint8_t> file = Fixture("l3_joint_128k_44k.mp3");
  int frames = 0;
  DecodeAll(file, 0, &frames);
  // Scribble over the body of the third frame, headers left whole.
  for (size_t i = 1000; i < 1100; ++i) file[i] ^= 0x5A;
  SampleHandle s = LoadImage(file);
  ASSERT_NE(s, nullptr);
  EXPECT_GE(s->length, 1152);
}

}  // namespace
}  // namespace zv
