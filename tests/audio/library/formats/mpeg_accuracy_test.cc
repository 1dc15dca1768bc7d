// Decodes streams made by independent encoders and compares the output with
// an independent decoder's (see make_mpeg_fixtures.sh) under the
// full-accuracy criterion of ISO/IEC 11172-4: an RMS error below
// 2^-15 / sqrt(12) of full scale and no sample off by more than 2^-14, full
// scale being 32768 steps each way.
//
// The reference decoder's output is floating point; it is stored rounded and
// clipped to 16 bits exactly as our output is, so that the comparison sees
// the decoders' arithmetic and not the output format. (Rounding alone puts a
// 16-bit output 1/sqrt(12) steps RMS from the unrounded reference, which is
// the criterion's bound itself.)

#include <gtest/gtest.h>
#include <zlib.h>

#include <cmath>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/audio/library/formats/mpeg_test_stream.h"
#include "tests/support/test_paths.h"

namespace zv {
namespace {

const std::string kFixtures = zv::test::SourcePath("tests/audio/library/formats/fixtures");

// Full scale of the 16-bit output is 32768 steps each way.
constexpr double kFullScale = 32768.0;
const double kMaxRms = std::pow(2.0, -15) / std::sqrt(12.0) * kFullScale;
const double kMaxError = std::pow(2.0, -14) * kFullScale;

struct Fixture {
  std::string file;
  int channels = 0;
  int skipped_frames = 0;  // frames the reference decoder left out at the start
};

std::vector<Fixture> ReadManifest() {
  std::vector<Fixture> fixtures;
  std::ifstream in(kFixtures + "/manifest.txt");
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    Fixture f;
    if (fields >> f.file >> f.channels >> f.skipped_frames) fixtures.push_back(f);
  }
  return fixtures;
}

// Unpacks a reference file: zlib, then varints (see make_mpeg_fixtures.sh).
std::vector<std::int16_t> ReadReference(const std::string& path, int channels) {
  const std::vector<std::uint8_t> packed = test::ReadFileBytes(path);
  std::vector<std::uint8_t> bytes(1 << 22);
  uLongf size = static_cast<uLongf>(bytes.size());
  if (packed.empty() || uncompress(bytes.data(), &size, packed.data(), packed.size()) != Z_OK) return {};
  bytes.resize(size);
  std::size_t pos = 0;
  auto varint = [&]() {
    std::uint64_t value = 0;
    for (int shift = 0; pos < bytes.size() && shift < 64; shift += 7) {
      const std::uint8_t b = bytes[pos++];
      value |= std::uint64_t{b & 0x7Fu} << shift;
      if (!(b & 0x80)) break;
    }
    return value;
  };
  auto next = [&]() {
    const std::uint64_t value = varint();
    return static_cast<std::int64_t>(value >> 1) ^ -static_cast<std::int64_t>(value & 1);
  };
  const std::size_t per_channel = static_cast<std::size_t>(varint());
  std::vector<std::int16_t> pcm(per_channel * static_cast<std::size_t>(channels));
  for (int c = 0; c < channels; ++c) {
    std::int64_t p1 = 0, p2 = 0;
    for (std::size_t i = 0; i < per_channel; ++i) {
      const std::int64_t value = next() + 2 * p1 - p2;
      pcm[i * static_cast<std::size_t>(channels) + static_cast<std::size_t>(c)] =
          static_cast<std::int16_t>(value);
      p2 = p1;
      p1 = value;
    }
  }
  return pcm;
}

void PrintTo(const Fixture& f, std::ostream* os) { *os << f.file; }

class MpegAccuracyTest : public ::testing::TestWithParam<Fixture> {};

TEST_P(MpegAccuracyTest, DecodesWithinFullAccuracyOfTheReference) {
  const Fixture& f = GetParam();
  const test::DecodedStream decoded = test::DecodeStream(test::ReadFileBytes(kFixtures + "/" + f.file));
  const std::vector<std::int16_t> reference = ReadReference(kFixtures + "/" + f.file + ".ref", f.channels);
  ASSERT_FALSE(reference.empty());
  ASSERT_EQ(decoded.channels, f.channels);
  ASSERT_FALSE(decoded.frame_bytes.empty());

  const std::size_t frame_values = static_cast<std::size_t>(decoded.frame_bytes[0] / 2);
  for (int bytes : decoded.frame_bytes) ASSERT_EQ(static_cast<std::size_t>(bytes / 2), frame_values);
  const std::size_t skipped = frame_values * static_cast<std::size_t>(f.skipped_frames);
  ASSERT_EQ(decoded.pcm.size(), reference.size() + skipped);

  // After a left-out frame the reference's next frame lacks the history that
  // ours has; comparison starts one frame later.
  const std::size_t first = f.skipped_frames ? frame_values : 0;
  ASSERT_GT(reference.size(), first);
  double sum = 0.0;
  double worst = 0.0;
  for (std::size_t i = first; i < reference.size(); ++i) {
    const double error = decoded.pcm[i + skipped] - reference[i];
    sum += error * error;
    worst = std::max(worst, std::abs(error));
  }
  const double rms = std::sqrt(sum / static_cast<double>(reference.size() - first));
  EXPECT_LT(rms, kMaxRms) << f.file;
  EXPECT_LE(worst, kMaxError) << f.file;
}

INSTANTIATE_TEST_SUITE_P(Fixtures, MpegAccuracyTest, ::testing::ValuesIn(ReadManifest()),
                         [](const ::testing::TestParamInfo<Fixture>& info) {
                           std::string name = info.param.file;
                           for (char& c : name) {
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           }
                           return name;
                         });

TEST(MpegAccuracyFixturesTest, ManifestListsEveryKindOfStream) {
  const std::vector<Fixture> fixtures = ReadManifest();
  int layer2 = 0, layer3 = 0;
  for (const Fixture& f : fixtures) (f.file.ends_with(".mp2") ? layer2 : layer3)++;
  EXPECT_GE(layer2, 5);
  EXPECT_GE(layer3, 10);
}

}  // namespace
}  // namespace zv
