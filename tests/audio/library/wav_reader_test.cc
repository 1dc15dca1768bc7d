#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "audio/library/channel.h"
#include "audio/library/formats/wav_reader.h"
#include "audio/library/load_shortfall.h"
#include "audio/library/mix_routines.h"
#include "audio/library/sample.h"
#include "tests/audio/library/audio_test_util.h"
#include "tests/support/test_paths.h"

namespace zv {
namespace {

using test::AudioLibraryTest;
using test::Put;
using test::PutChunk;

std::string Fixture(const std::string& name) { return zv::test::SourcePath("tests/audio/library/fixtures/wav/") + name; }

std::vector<int16_t> Reference(const std::string& name) {
  const std::vector<uint8_t> bytes = test::ReadBytes(Fixture(name + ".ref"));
  std::vector<int16_t> values(bytes.size() / 2);
  std::memcpy(values.data(), bytes.data(), values.size() * 2);
  return values;
}

SampleHandle LoadImage(const std::vector<uint8_t>& image, uint32_t mode = 0) {
  return LoadSample(-1, image.data(), mode | sample_mode::kMemoryImage, static_cast<int32_t>(image.size()));
}

struct Encoding {
  const char* name;
  int channels;
  int tolerance;
};

// Every fixture, with how far a decoded value may stray from the reference
// (floats round where the reference truncates none).
const Encoding kEncodings[] = {{"pcm_u8_mono", 1, 0},    {"pcm_s16_stereo", 2, 0},  {"pcm_s24_mono", 1, 0},
                               {"pcm_s32_stereo", 2, 0}, {"float32_mono", 1, 1},    {"float64_stereo", 2, 1},
                               {"alaw_mono", 1, 0},      {"mulaw_stereo", 2, 0},    {"ms_adpcm_mono", 1, 0},
                               {"ms_adpcm_stereo", 2, 0}, {"ima_adpcm_mono", 1, 0}, {"ima_adpcm_stereo", 2, 0}};

class WavEncodings : public AudioLibraryTest, public ::testing::WithParamInterface<Encoding> {};

TEST_P(WavEncodings, DecodeAsTheReferenceDecoderDoes) {
  const Encoding& e = GetParam();
  SampleHandle s = LoadSample(-1, Fixture(std::string(e.name) + ".wav").c_str(), 0, 0);
  ASSERT_NE(s, nullptr) << e.name << " error " << GetAudioError();
  EXPECT_FALSE(TakeLoadShortfall()) << e.name << " is whole";
  const std::vector<int16_t> expected = Reference(e.name);
  EXPECT_EQ(s->default_frequency, 22050);
  EXPECT_EQ(s->layout, e.channels == 2 ? sample_mode::kStereo : sample_mode::kMono);
  EXPECT_EQ(s->default_pan, e.channels == 2 ? -1 : 128);
  ASSERT_EQ(static_cast<size_t>(s->length) * static_cast<size_t>(e.channels), expected.size()) << e.name;
  int worst = 0;
  for (size_t i = 0; i < expected.size(); ++i) {
    const int got = s->bits == 16 ? reinterpret_cast<const int16_t*>(s->data)[i]
                                  : reinterpret_cast<const int8_t*>(s->data)[i] * 256;
    worst = std::max(worst, std::abs(got - expected[i]));
  }
  EXPECT_LE(worst, e.tolerance) << e.name;
}

INSTANTIATE_TEST_SUITE_P(Fixtures, WavEncodings,
                         ::testing::ValuesIn(kEncodings),
                         [](const ::testing::TestParamInfo<Encoding>& info) { return std::string(info.param.name); });

// Played at the file's rate with full gain on both sides, every encoding
// comes out of the mixer as the reference decoded it, at the full gain of
// the default mixer (8-bit through the mixer's own widening).
class WavThroughTheMixer : public ::testing::TestWithParam<Encoding> {
 protected:
  void SetUp() override {
    SetAudioBackend(nullptr);
    SetOfflineMixing(true);
    SetOutputType(kOutputNoSound);
    ASSERT_TRUE(InitAudio(22050, 4, 0));
  }
  void TearDown() override {
    CloseAudio();
    SetOfflineMixing(false);
  }
};

TEST_P(WavThroughTheMixer, MixesOfflineToTheReferenceSamples) {
  const Encoding& e = GetParam();
  SampleHandle s = LoadSample(-1, Fixture(std::string(e.name) + ".wav").c_str(), sample_mode::k2D, 0);
  ASSERT_NE(s, nullptr);
  const ChannelHandle h = PlaySample(kChooseChannel, s);
  ASSERT_NE(h, kChooseChannel);
  SetChannelPanDirect(h, -1);
  constexpr int kFrames = 1000;
  std::vector<int16_t> out(2 * kFrames);
  ASSERT_TRUE(MixOffline(out.data(), kFrames));
  const std::vector<int16_t> expected = Reference(e.name);
  const int tolerance = e.tolerance;
  for (int frame = RampLength(); frame < kFrames; ++frame) {
    for (int side = 0; side < 2; ++side) {
      const int want =
          test::SaturatingGain(expected[static_cast<size_t>(frame * e.channels + (e.channels == 2 ? side : 0))]);
      ASSERT_NEAR(out[static_cast<size_t>(frame * 2 + side)], want, tolerance) << e.name << " frame " << frame;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Fixtures, WavThroughTheMixer,
                         ::testing::ValuesIn(kEncodings),
                         [](const ::testing::TestParamInfo<Encoding>& info) { return std::string(info.param.name); });

TEST_F(AudioLibraryTest, OddChunksArePaddedAndOnlyTheFirstDataCounts) {
  std::vector<uint8_t> chunks;
  PutChunk(chunks, "junk", {1, 2, 3});  // odd: a pad byte follows
  PutChunk(chunks, "fmt ", test::FormatChunk(1, 1, 8000, 16));
  std::vector<uint8_t> data;
  Put(data, 1000, 2);
  Put(data, 2000, 2);
  PutChunk(chunks, "data", data);
  PutChunk(chunks, "data", {9, 9, 9, 9, 9, 9});
  SampleHandle s = LoadImage(test::Riff(chunks));
  ASSERT_NE(s, nullptr);
  ASSERT_EQ(s->length, 2);
  EXPECT_EQ(reinterpret_cast<const int16_t*>(s->data)[1], 2000);
  EXPECT_EQ(s->default_frequency, 8000);
  EXPECT_STREQ(s->name, "Memory file");
}

TEST_F(AudioLibraryTest, EightBitDataBecomesSigned) {
  std::vector<uint8_t> chunks;
  PutChunk(chunks, "fmt ", test::FormatChunk(1, 1, 8000, 8, true));
  PutChunk(chunks, "data", std::vector<uint8_t>(10, 0x80));
  SampleHandle s = LoadImage(test::Riff(chunks));
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->bits, 8);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(s->data[i], 0);
}

std::vector<uint8_t> WithSamplerLoop(uint32_t start, uint32_t end) {
  std::vector<uint8_t> chunks;
  PutChunk(chunks, "fmt ", test::FormatChunk(1, 1, 8000, 8));
  PutChunk(chunks, "data", std::vector<uint8_t>(100, 0x90));
  std::vector<uint8_t> sampler(36, 0);
  std::vector<uint8_t> loop;
  Put(loop, 0, 4);
  Put(loop, 0, 4);
  Put(loop, start, 4);
  Put(loop, end, 4);
  Put(loop, 0, 4);
  Put(loop, 0, 4);
  sampler.insert(sampler.end(), loop.begin(), loop.end());
  PutChunk(chunks, "smpl", sampler);
  return test::Riff(chunks);
}

TEST_F(AudioLibraryTest, SamplerLoopSwitchesLoopingOn) {
  SampleHandle s = LoadImage(WithSamplerLoop(10, 49));
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->loop_start, 10);
  EXPECT_EQ(s->loop_length, 40);
  EXPECT_EQ(s->loop_mode, kLoopModeNormal);
  SampleHandle whole = LoadImage(WithSamplerLoop(0, 0));
  ASSERT_NE(whole, nullptr);
  EXPECT_EQ(whole->loop_start, 0);
  EXPECT_EQ(whole->loop_length, 100);
  EXPECT_EQ(whole->loop_mode, kLoopModeOff);
}

TEST_F(AudioLibraryTest, CueLabelsNameTheirCuePoints) {
  std::vector<uint8_t> chunks;
  PutChunk(chunks, "fmt ", test::FormatChunk(1, 1, 8000, 16));
  std::vector<uint8_t> cue;
  Put(cue, 2, 4);
  for (uint32_t offset : {100u, 300u}) {
    for (int i = 0; i < 5; ++i) Put(cue, 0, 4);
    Put(cue, offset, 4);
  }
  PutChunk(chunks, "cue ", cue);
  std::vector<uint8_t> list;
  test::PutId(list, "adtl");
  auto label = [&list](uint32_t id, const std::string& text) {
    std::vector<uint8_t> body;
    Put(body, id, 4);
    body.insert(body.end(), text.begin(), text.end());
    body.push_back(0);
    PutChunk(list, "labl", body);
  };
  label(2, "second");
  label(0, "nobody");
  label(3, "nobody either");
  label(1, "first!");
  PutChunk(chunks, "LIST", list);
  PutChunk(chunks, "data", std::vector<uint8_t>(800, 0));
  const std::vector<uint8_t> image = test::Riff(chunks);
  AudioFile* f = OpenAudioFile(image.data(), kAudioFileMemory, static_cast<int32_t>(image.size()));
  WavCueList cues;
  int32_t start = 0;
  uint32_t length = 0;
  ASSERT_TRUE(ParseRiffWave(f, nullptr, &start, &length, &cues, nullptr));
  CloseAudioFile(f);
  ASSERT_EQ(cues.points.size(), 2u);
  EXPECT_EQ(cues.points[0].position, 100u);
  EXPECT_STREQ(cues.points[0].label, "first!");
  EXPECT_STREQ(cues.points[1].label, "second");
  EXPECT_EQ(length, 800u);
}

TEST_F(AudioLibraryTest, WhatIsNotAWaveFileIsRefused) {
  std::vector<uint8_t> chunks;
  PutChunk(chunks, "fmt ", test::FormatChunk(1, 1, 8000, 16));
  PutChunk(chunks, "data", {1, 0, 2, 0});
  std::vector<uint8_t> lower = test::Riff(chunks);
  std::memcpy(lower.data(), "riff", 4);
  EXPECT_EQ(LoadImage(lower), nullptr);
  EXPECT_EQ(GetAudioError(), audio_error::kBadFormat);
  // No data chunk at all.
  std::vector<uint8_t> only_format;
  PutChunk(only_format, "fmt ", test::FormatChunk(1, 1, 8000, 16));
  EXPECT_EQ(LoadImage(test::Riff(only_format)), nullptr);
  // An unknown compression.
  std::vector<uint8_t> odd;
  PutChunk(odd, "fmt ", test::FormatChunk(0x55, 1, 8000, 16));
  PutChunk(odd, "data", {1, 0, 2, 0});
  EXPECT_EQ(LoadImage(test::Riff(odd)), nullptr);
  EXPECT_EQ(GetAudioError(), audio_error::kBadFormat);
}

TEST_F(AudioLibraryTest, DataLongerThanTheFileIsCutToIt) {
  std::vector<uint8_t> chunks;
  PutChunk(chunks, "fmt ", test::FormatChunk(1, 1, 8000, 16));
  test::PutId(chunks, "data");
  Put(chunks, 0x7ffffff0u, 4);  // says two gigabytes
  Put(chunks, 1234, 2);
  Put(chunks, 5678, 2);
  SampleHandle s = LoadImage(test::Riff(chunks));
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->length, 2);
  EXPECT_EQ(reinterpret_cast<const int16_t*>(s->data)[1], 5678);
  EXPECT_FALSE(TakeLoadShortfall());  // so large a length is a streamed file's, which states none
}

TEST_F(AudioLibraryTest, ACutFileIsReadAsFarAsItGoes) {
  std::vector<uint8_t> image = test::Wav16(std::vector<int16_t>(100, 300));
  image.resize(image.size() - 51);
  SampleHandle s = LoadImage(image);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->length, 74);
  EXPECT_EQ(reinterpret_cast<const int16_t*>(s->data)[73], 300);
  const std::optional<LoadShortfall> lacked = TakeLoadShortfall();
  ASSERT_TRUE(lacked);
  EXPECT_EQ(lacked->what, "its sound data");
  EXPECT_EQ(lacked->missing_bytes, 51u);
}

// Every fixture and fuzz seed of the sound readers is whole.
TEST_F(AudioLibraryTest, WholeFilesLackNothing) {
  for (const char* folder : {"fuzz/wav/corpus", "fuzz/mpeg_audio/corpus", "tests/audio/library/formats/fixtures"}) {
    for (const auto& entry : std::filesystem::recursive_directory_iterator(zv::test::SourcePath(folder))) {
      if (entry.path().extension() == ".ref" || entry.path().extension() == ".txt" || entry.is_directory()) continue;
      ASSERT_NE(LoadSample(-1, entry.path().c_str(), 0, 0), nullptr) << entry.path();
      EXPECT_FALSE(TakeLoadShortfall()) << entry.path();
    }
  }
}

}  // namespace
}  // namespace zv
