#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

#include "audio/library/formats/mpeg_decoder.h"
#include "audio/library/formats/mpeg_header.h"
#include "audio/library/formats/mpeg_loader.h"
#include "audio/library/load_shortfall.h"
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

// Bytes no stream holds, the same every run.
std::vector<uint8_t> Junk(size_t size, uint32_t seed) {
  std::vector<uint8_t> junk(size);
  for (uint8_t& b : junk) b = static_cast<uint8_t>((seed = seed * 1103515245u + 12345u) >> 16);
  return junk;
}

// An ID3v2 tag of `body` bytes that look like frame syncs, with a footer.
std::vector<uint8_t> Id3Tag(size_t body) {
  std::vector<uint8_t> tag = {'I', 'D', '3', 4, 0, 0x10};
  for (int shift = 21; shift >= 0; shift -= 7) tag.push_back(static_cast<uint8_t>((body >> shift) & 0x7F));
  tag.resize(tag.size() + body + 10, 0xFF);
  return tag;
}

void ExpectSound(SampleHandle s, const std::vector<int16_t>& expected, const std::string& what) {
  ASSERT_NE(s, nullptr) << what;
  ASSERT_EQ(static_cast<size_t>(s->length) * (s->layout == sample_mode::kStereo ? 2 : 1), expected.size()) << what;
  EXPECT_EQ(std::memcmp(expected.data(), s->data, expected.size() * 2), 0) << what;
}

TEST_F(AudioLibraryTest, TagsAndJunkBeforeTheFirstFrameArePassedOver) {
  const std::vector<uint8_t> file = Fixture("l3_mono_64k_32k.mp3");
  int frames = 0;
  const std::vector<int16_t> expected = DecodeAll(file, 0, &frames);
  std::vector<uint8_t> tags = Id3Tag(300), second = Id3Tag(100000);
  tags.insert(tags.end(), second.begin(), second.end());
  for (std::vector<uint8_t> image : {std::vector<uint8_t>(256, 0), Junk(300, 7), Junk(20000, 8), tags}) {
    const size_t front = image.size();
    image.insert(image.end(), file.begin(), file.end());
    ExpectSound(LoadImage(image), expected, std::to_string(front) + " bytes before the first frame");
  }
  // What holds no stream at all is still no sound.
  EXPECT_EQ(LoadImage(Junk(70000, 9)), nullptr);
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

// Offsets of the frames of a clean stream.
std::vector<size_t> FrameOffsets(const std::vector<uint8_t>& bytes) {
  std::vector<size_t> offsets;
  MpegHeader h;
  for (size_t at = 0; ReadMpegHeader(std::span(bytes).subspan(at), h); at += 4 + static_cast<size_t>(h.frame_size))
    offsets.push_back(at);
  return offsets;
}

// A reference decoder loses the frame whose header is damaged, and goes on
// with the next: the sound is the stream's without that frame.
TEST_F(AudioLibraryTest, ADamagedHeaderLosesItsFrameNotTheRest) {
  const std::vector<uint8_t> file = Fixture("l3_joint_128k_44k.mp3");
  const std::vector<size_t> at = FrameOffsets(file);
  const size_t k = at.size() / 2;
  std::vector<uint8_t> without = file, damaged = file;
  without.erase(without.begin() + static_cast<long>(at[k]), without.begin() + static_cast<long>(at[k + 1]));
  int frames = 0;
  const std::vector<int16_t> expected = DecodeAll(without, 0, &frames);
  damaged[at[k]] = 0x12;  // no frame sync
  for (const uint32_t mode : {0u, sample_mode::kExactMpegLength})
    ExpectSound(LoadSample(-1, damaged.data(), sample_mode::kMemoryImage | mode, static_cast<int32_t>(damaged.size())),
                expected, "mode " + std::to_string(mode));
}

// A file with an ID3v1 tag behind its last frame is whole. Cut inside that frame, it loads
// the frames before it, as a reference decoder plays them, and says how many bytes it lacks.
TEST_F(AudioLibraryTest, AFrameTheFileEndsInsideIsLeftOutAndSaid) {
  for (const char* name : {"l3_joint_128k_44k.mp3", "l2_joint_128k_44k.mp2"}) {
    const std::vector<uint8_t> file = Fixture(name);
    std::vector<uint8_t> tagged(file.size() + 128, ' ');
    std::copy_n("TAG", 3, std::copy(file.begin(), file.end(), tagged.begin()));
    ASSERT_NE(LoadImage(tagged), nullptr) << name;
    EXPECT_FALSE(TakeLoadShortfall()) << name;
    const size_t last = FrameOffsets(file).back(), frame = file.size() - last;
    const std::vector<uint8_t> cut(file.begin(), file.begin() + static_cast<long>(last + frame / 2));
    int frames = 0;
    ExpectSound(LoadImage(cut), DecodeAll(cut, 0, &frames), name);
    const std::optional<LoadShortfall> lacked = TakeLoadShortfall();
    ASSERT_TRUE(lacked) << name;
    EXPECT_EQ(lacked->what, "its last frame");
    EXPECT_EQ(lacked->missing_bytes, frame - frame / 2) << name;
  }
}

// Where the first channel of the sample lines up best with the chirp the
// gapless fixtures were encoded from (make_mpeg_fixtures.sh): the shift of
// the sample against it, in samples.
int ShiftFromChirp(SampleHandle s, int channels, int rate) {
  const auto* v = reinterpret_cast<const int16_t*>(s->data);
  std::pair<double, int> best{-1, 0};  // correlation, shift
  const double step = 1.0 / rate;
  for (int shift = -2500; shift <= 2500; ++shift) {
    double sum = 0;
    for (int n = std::max(0, -shift); n < 1024 && n + shift < s->length; ++n)
      sum += v[(n + shift) * channels] * std::lround(10000 * std::sin(2 * M_PI * 441 * n * step * (1 + n * step)));
    best = std::max(best, {sum, shift});
  }
  return best.second;
}

// The encoder's tag frame holds no sound, and the delay and padding it
// states are left out: the sound is the source's, sample for sample in
// length and start, so that it loops without a gap.
TEST_F(AudioLibraryTest, AnEncodersTagFrameDelayAndPaddingAreLeftOut) {
  for (const auto& [name, rate, channels] : {std::tuple{"cbr_mono_44k.mp3", 44100, 1},
                                              {"vbr_joint_44k.mp3", 44100, 2}, {"lsf_mono_22k.mp3", 22050, 1}}) {
    std::vector<uint8_t> file = Fixture(std::string("gapless/") + name);
    SampleHandle s = LoadImage(file);
    ASSERT_NE(s, nullptr) << name;
    EXPECT_EQ(s->length, rate * 2 / 5) << name;
    EXPECT_EQ(ShiftFromChirp(s, channels, rate), 0) << name;
    // Without the encoder's extension the tag frame is still no sound: the
    // stream's frames, whole, follow it.
    const size_t tag_frame = FrameOffsets(file)[1];
    std::replace(file.begin(), file.begin() + static_cast<long>(tag_frame), uint8_t{'L'}, uint8_t{'l'});
    int frames = 0;
    ExpectSound(LoadImage(file), DecodeAll(file, tag_frame, &frames), name);
  }
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
