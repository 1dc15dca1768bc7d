#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "audio/library/formats/mpeg_decoder.h"
#include "audio/library/formats/mpeg_huffman_codes.h"
#include "tests/audio/library/formats/mpeg_test_stream.h"
#include "tests/support/test_paths.h"

namespace zv {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Fixture(const std::string& name) { return test::ReadFileBytes(zv::test::SourcePath("tests/audio/library/formats/fixtures/") + name); }

// Overwrites `width` bits at bit `offset` of `bytes`, most significant first.
void SetBits(Bytes& bytes, std::size_t offset, int width, std::uint32_t value) {
  for (int i = 0; i < width; ++i) {
    const std::size_t bit = offset + static_cast<std::size_t>(i);
    const std::uint8_t mask = static_cast<std::uint8_t>(0x80u >> (bit & 7));
    if ((value >> (width - 1 - i)) & 1) {
      bytes[bit >> 3] |= mask;
    } else {
      bytes[bit >> 3] &= static_cast<std::uint8_t>(~mask);
    }
  }
}

// main_data_begin of an MPEG-1 layer III frame without CRC.
int MainDataBegin(const Bytes& frame) { return (frame[4] << 1) | (frame[5] >> 7); }

int DecodeOne(MpegDecoder& decoder, const Bytes& frame, std::vector<std::int16_t>& pcm) {
  int bytes = -1;
  if (!DecodeMpegFrame(decoder, frame, pcm, bytes)) return -1;
  return bytes;
}

TEST(MpegDecoderTest, FrameOutputSizesFollowLayerVersionAndChannels) {
  struct Case {
    const char* file;
    int bytes;
  };
  const Case cases[] = {
      {"l2_mono_48k_32k.mp2", 2304},          {"l2_stereo_192k_44k.mp2", 4608},
      {"l2_lsf_mono_32k_16k.mp2", 2304},      {"l3_mono_64k_32k.mp3", 2304},
      {"l3_joint_128k_44k.mp3", 4608},        {"l3_lsf_mono_24k_16k.mp3", 1152},
      {"l3_lsf_stereo_crc_64k_24k.mp3", 2304}, {"l3_mpeg25_mono_16k_8k.mp3", 1152},
  };
  for (const Case& c : cases) {
    const test::DecodedStream decoded = test::DecodeStream(Fixture(c.file));
    ASSERT_GT(decoded.frame_bytes.size(), 3u) << c.file;
    for (int bytes : decoded.frame_bytes) EXPECT_EQ(bytes, c.bytes) << c.file;
  }
}

TEST(MpegDecoderTest, SilenceDecodesToZeros) {
  const test::DecodedStream decoded = test::DecodeStream(Fixture("l3_silence_128k_44k.mp3"));
  ASSERT_FALSE(decoded.pcm.empty());
  EXPECT_TRUE(std::all_of(decoded.pcm.begin(), decoded.pcm.end(), [](std::int16_t s) { return s == 0; }));
}

TEST(MpegDecoderTest, FullScaleSquareWaveClipsInsteadOfWrapping) {
  for (const char* file : {"l3_square_96k_32k.mp3", "l2_stereo_384k_32k.mp2"}) {
    const test::DecodedStream decoded = test::DecodeStream(Fixture(file));
    const std::vector<std::int16_t>& pcm = decoded.pcm;
    int top = 0, bottom = 0, wrapped = 0;
    for (std::size_t i = 0; i < pcm.size(); ++i) {
      top += pcm[i] == 32767;
      bottom += pcm[i] == -32768;
      // A wrapped sample flips sign between two neighbours (of its channel)
      // that are clipped at the same end.
      if (i >= 2 && i + 2 < pcm.size()) {
        wrapped += pcm[i - 2] == 32767 && pcm[i + 2] == 32767 && pcm[i] < 0;
        wrapped += pcm[i - 2] == -32768 && pcm[i + 2] == -32768 && pcm[i] > 0;
      }
    }
    EXPECT_GT(top, 0) << file;
    EXPECT_GT(bottom, 0) << file;
    EXPECT_EQ(wrapped, 0) << file;
  }
}

TEST(MpegDecoderTest, FrameWhoseReservoirReachesBeforeTheFirstFrameYieldsNothing) {
  const std::vector<Bytes> frames = test::SplitFrames(Fixture("l3_joint_128k_44k.mp3"));
  std::size_t cut = 1;
  while (cut < frames.size() && MainDataBegin(frames[cut]) == 0) ++cut;
  ASSERT_LT(cut + 3, frames.size());

  std::vector<std::int16_t> whole(kMpegMaxFrameSamples), part(kMpegMaxFrameSamples);
  MpegDecoder full, started_late;
  for (std::size_t i = 0; i < cut; ++i) DecodeOne(full, frames[i], whole);
  EXPECT_EQ(DecodeOne(full, frames[cut], whole), 4608);
  EXPECT_EQ(DecodeOne(started_late, frames[cut], part), 0);

  // Once the reservoir holds what the frames ask for, and the filter
  // histories have filled, both decoders agree exactly.
  bool agreed = false;
  for (std::size_t i = cut + 1; i < frames.size(); ++i) {
    const int a = DecodeOne(full, frames[i], whole);
    const int b = DecodeOne(started_late, frames[i], part);
    agreed = a == b && a > 0 && std::equal(whole.begin(), whole.begin() + a / 2, part.begin());
  }
  EXPECT_TRUE(agreed);
}

// The reservoir holds main data of several frames: a frame may reach back
// past all of the previous frame's main data. The accuracy fixture of this
// stream must keep such frames.
TEST(MpegDecoderTest, VbrFixtureReachesBackOverMoreThanOneFrame) {
  const std::vector<Bytes> frames = test::SplitFrames(Fixture("l3_vbr_44k.mp3"));
  int reaching = 0;
  for (std::size_t i = 1; i < frames.size(); ++i) {
    const int previous_main_data = static_cast<int>(frames[i - 1].size()) - 4 - 32;
    if (MainDataBegin(frames[i]) > previous_main_data) ++reaching;
  }
  EXPECT_GT(reaching, 0);
}

TEST(MpegDecoderTest, ForgettingThePreviousFrameDropsTheReservoir) {
  const std::vector<Bytes> frames = test::SplitFrames(Fixture("l3_forced_ms_32k_44k.mp3"));
  std::vector<std::int16_t> pcm(kMpegMaxFrameSamples);
  MpegDecoder decoder;
  std::size_t i = 0;
  for (; i < frames.size(); ++i) {
    if (i > 2 && MainDataBegin(frames[i]) > 0) break;
    DecodeOne(decoder, frames[i], pcm);
  }
  ASSERT_LT(i, frames.size());
  decoder.previous_frame_size = -1;
  EXPECT_EQ(DecodeOne(decoder, frames[i], pcm), 0);
}

TEST(MpegDecoderTest, RejectsFramesItCannotTakeWithoutWritingOutput) {
  const Bytes stream = Fixture("l3_joint_128k_44k.mp3");
  const std::vector<Bytes> frames = test::SplitFrames(stream);
  std::vector<std::int16_t> pcm(kMpegMaxFrameSamples, 1234);
  MpegDecoder decoder;
  int bytes = -1;

  // Shorter than its header says.
  const Bytes truncated(frames[0].begin(), frames[0].end() - 1);
  EXPECT_FALSE(DecodeMpegFrame(decoder, truncated, pcm, bytes));
  EXPECT_EQ(bytes, 0);
  // Output space for less than a frame.
  std::vector<std::int16_t> small(1000);
  EXPECT_FALSE(DecodeMpegFrame(decoder, frames[0], small, bytes));
  // No header.
  const Bytes zeros(2000, 0);
  EXPECT_FALSE(DecodeMpegFrame(decoder, zeros, pcm, bytes));
  EXPECT_TRUE(std::all_of(pcm.begin(), pcm.end(), [](std::int16_t s) { return s == 1234; }));
  // A rejected frame leaves the decoder ready for the next one.
  EXPECT_TRUE(DecodeMpegFrame(decoder, frames[0], pcm, bytes));
  EXPECT_EQ(bytes, 4608);

  // Layer II at an MPEG-2.5 rate: a 2876-byte body, more than the decoder
  // buffers.
  Bytes large(2880, 0);
  large[0] = 0xFF;
  large[1] = 0xE5;
  large[2] = 0xE8;
  large[3] = 0xC0;
  MpegDecoder layer2;
  int frame_size = 0;
  ASSERT_TRUE(ParseMpegHeader(layer2, large, nullptr, nullptr, &frame_size));
  EXPECT_GT(frame_size, kMpegMaxFrameBody);
  EXPECT_FALSE(DecodeMpegFrame(layer2, large, pcm, bytes));
  EXPECT_EQ(bytes, 0);
}

TEST(MpegDecoderTest, DamagedSideInformationYieldsNoOutput) {
  const std::vector<Bytes> frames = test::SplitFrames(Fixture("l3_joint_128k_44k.mp3"));
  std::vector<std::int16_t> pcm(kMpegMaxFrameSamples);
  // Side information of a stereo MPEG-1 frame after the header: 9 bits
  // main_data_begin, 3 private, 8 scfsi; then per granule and channel 12
  // bits part2_3_length, 9 big_values, 8 global_gain, 4 scalefac_compress
  // and the window-switching flag.
  Bytes big_values = frames[0];
  SetBits(big_values, 32 + 20 + 12, 9, 289);
  MpegDecoder a;
  EXPECT_EQ(DecodeOne(a, big_values, pcm), 0);

  Bytes block_type = frames[0];
  SetBits(block_type, 32 + 20 + 12 + 9 + 8 + 4, 3, 0b100);  // switching on, block type 0
  MpegDecoder b;
  EXPECT_EQ(DecodeOne(b, block_type, pcm), 0);
  // The frame's main data still fills the reservoir for the frames after it.
  EXPECT_EQ(DecodeOne(b, frames[1], pcm), 4608);
}

TEST(MpegDecoderTest, DecodersShareNoState) {
  const Bytes first = Fixture("l3_vbr_44k.mp3");
  const Bytes second = Fixture("l3_joint_128k_44k.mp3");
  const test::DecodedStream alone_first = test::DecodeStream(first);
  const test::DecodedStream alone_second = test::DecodeStream(second);

  const std::vector<Bytes> a = test::SplitFrames(first), b = test::SplitFrames(second);
  MpegDecoder da, db;
  std::vector<std::int16_t> pcm(kMpegMaxFrameSamples), out_a, out_b;
  for (std::size_t i = 0; i < std::max(a.size(), b.size()); ++i) {
    if (i < a.size()) {
      const int n = DecodeOne(da, a[i], pcm);
      out_a.insert(out_a.end(), pcm.begin(), pcm.begin() + std::max(n, 0) / 2);
    }
    if (i < b.size()) {
      const int n = DecodeOne(db, b[i], pcm);
      out_b.insert(out_b.end(), pcm.begin(), pcm.begin() + std::max(n, 0) / 2);
    }
  }
  EXPECT_EQ(out_a, alone_first.pcm);
  EXPECT_EQ(out_b, alone_second.pcm);
}

TEST(MpegDecoderTest, StreamSwitchingLayersStopsAtTheFirstFrameOfTheOtherLayer) {
  Bytes stream = Fixture("l3_joint_128k_44k.mp3");
  const std::size_t layer3_frames = test::SplitFrames(stream).size();
  const Bytes layer2 = Fixture("l2_stereo_192k_44k.mp2");
  stream.insert(stream.end(), layer2.begin(), layer2.end());
  EXPECT_EQ(test::DecodeStream(stream).frame_bytes.size(), layer3_frames);
}

TEST(MpegDecoderTest, DamagedStreamsDecodeWithinBounds) {
  std::mt19937 random(12345);
  for (const char* file : {"l3_joint_128k_44k.mp3", "l3_lsf_vbr_22k.mp3", "l2_joint_64k_44k.mp2",
                           "l2_lsf_stereo_96k_24k.mp2"}) {
    const Bytes clean = Fixture(file);
    for (int round = 0; round < 40; ++round) {
      Bytes damaged = clean;
      // Keep the first header so that decoding gets past it.
      for (int i = 0; i < 30; ++i) {
        damaged[4 + random() % (damaged.size() - 4)] = static_cast<std::uint8_t>(random());
      }
      const test::DecodedStream decoded = test::DecodeStream(damaged);
      for (int bytes : decoded.frame_bytes) {
        EXPECT_GE(bytes, 0);
        EXPECT_LE(bytes, kMpegMaxFrameSamples * 2);
      }
    }
  }
}

// Every Huffman table must be a complete prefix code: a code word that is a
// prefix of another, or a gap, means a mistyped entry.
TEST(MpegHuffmanCodesTest, EveryTableIsACompletePrefixCode) {
  std::vector<mpeg::HuffmanCodeTable> tables;
  for (int t = 0; t < 32; ++t) tables.push_back(mpeg::PairCodeTable(t));
  tables.push_back(mpeg::QuadCodeTable(0));
  tables.push_back(mpeg::QuadCodeTable(1));
  for (std::size_t n = 0; n < tables.size(); ++n) {
    const mpeg::HuffmanCodeTable& table = tables[n];
    if (table.size == 0) continue;
    ASSERT_EQ(table.codes.size(), table.lengths.size());
    double kraft = 0.0;
    for (std::size_t i = 0; i < table.codes.size(); ++i) {
      const int length = table.lengths[i];
      ASSERT_LT(table.codes[i], 1u << length) << "table " << n << " entry " << i;
      kraft += 1.0 / static_cast<double>(1u << length);
      for (std::size_t j = 0; j < table.codes.size(); ++j) {
        const int other = table.lengths[j];
        if (i == j || other < length) continue;
        EXPECT_NE(table.codes[j] >> (other - length), table.codes[i])
            << "table " << n << ": entry " << i << " is a prefix of entry " << j;
      }
    }
    EXPECT_DOUBLE_EQ(kraft, 1.0) << "table " << n;
  }
}

}  // namespace
}  // namespace zv
