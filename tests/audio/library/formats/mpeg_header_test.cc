#include <gtest/gtest.h>

#include <array>
#include <cstdint>

#include "audio/library/formats/mpeg_decoder.h"
#include "audio/library/formats/mpeg_header.h"

namespace zv {
namespace {

struct Parsed {
  bool valid = false;
  int rate = 0, channels = 0, frame_size = 0;
};

Parsed Parse(MpegDecoder& decoder, std::array<std::uint8_t, 4> bytes) {
  Parsed p;
  p.valid = ParseMpegHeader(decoder, bytes, &p.rate, &p.channels, &p.frame_size);
  return p;
}

Parsed Parse(std::array<std::uint8_t, 4> bytes) {
  MpegDecoder decoder;
  return Parse(decoder, bytes);
}

TEST(MpegHeaderTest, ParsesLayer3FrameSizeRateAndChannels) {
  const Parsed p = Parse({0xFF, 0xFB, 0x90, 0x64});
  ASSERT_TRUE(p.valid);
  EXPECT_EQ(p.frame_size, 413);
  EXPECT_EQ(p.rate, 44100);
  EXPECT_EQ(p.channels, 2);
  EXPECT_EQ(Parse({0xFF, 0xFB, 0x92, 0x64}).frame_size, 414);  // padding bit
}

TEST(MpegHeaderTest, StoresHeaderFieldsInTheDecoder) {
  MpegDecoder decoder;
  ASSERT_TRUE(Parse(decoder, {0xFF, 0xFA, 0x93, 0x6D}).valid);
  const MpegHeader& h = decoder.header;
  EXPECT_EQ(h.layer, 3);
  EXPECT_EQ(h.crc_present, 1);
  EXPECT_EQ(h.bitrate_index, 9);
  EXPECT_EQ(h.padding, 1);
  EXPECT_EQ(h.private_bit, 1);
  EXPECT_EQ(h.mode, 1);
  EXPECT_EQ(h.mode_extension, 2);
  EXPECT_EQ(h.copyright, 1);
  EXPECT_EQ(h.original, 1);
  EXPECT_EQ(h.emphasis, 1);
  EXPECT_EQ(decoder.frame_size, 414);
}

TEST(MpegHeaderTest, LowerSamplingFrequencies) {
  // MPEG-2 layer III, 80 kbit/s, 22050 Hz.
  Parsed p = Parse({0xFF, 0xF3, 0x90, 0x64});
  ASSERT_TRUE(p.valid);
  EXPECT_EQ(p.rate, 22050);
  EXPECT_EQ(p.frame_size, 80 * 144000 / (22050 * 2) - 4);
  // MPEG-2.5 layer III, 64 kbit/s, 8000 Hz, mono.
  p = Parse({0xFF, 0xE3, 0x88, 0xC0});
  ASSERT_TRUE(p.valid);
  EXPECT_EQ(p.rate, 8000);
  EXPECT_EQ(p.channels, 1);
  EXPECT_EQ(p.frame_size, 572);
  EXPECT_EQ(Parse({0xFF, 0xE3, 0x80, 0xC0}).rate, 11025);
  EXPECT_EQ(Parse({0xFF, 0xE3, 0x84, 0xC0}).rate, 12000);
  EXPECT_EQ(Parse({0xFF, 0xF3, 0x84, 0xC0}).rate, 24000);
  EXPECT_EQ(Parse({0xFF, 0xF3, 0x88, 0xC0}).rate, 16000);
}

TEST(MpegHeaderTest, RejectsInvalidHeaders) {
  EXPECT_FALSE(Parse({0xFF, 0xFB, 0xF0, 0x64}).valid);  // bitrate index 15
  EXPECT_FALSE(Parse({0xFF, 0xFB, 0x00, 0x64}).valid);  // free format
  EXPECT_FALSE(Parse({0xFF, 0xFB, 0x9C, 0x64}).valid);  // sampling code 3
  EXPECT_FALSE(Parse({0xFF, 0xFF, 0x90, 0x64}).valid);  // layer I
  EXPECT_FALSE(Parse({0xFF, 0xF9, 0x90, 0x64}).valid);  // reserved layer
  EXPECT_FALSE(Parse({0xFE, 0xFB, 0x90, 0x64}).valid);
  MpegDecoder decoder;
  const std::uint8_t three[3] = {0xFF, 0xFB, 0x90};
  EXPECT_FALSE(ParseMpegHeader(decoder, three));
}

TEST(MpegHeaderTest, FirstHeaderLocksTheLayer) {
  MpegDecoder decoder;
  ASSERT_TRUE(Parse(decoder, {0xFF, 0xFB, 0x90, 0x64}).valid);
  EXPECT_FALSE(Parse(decoder, {0xFF, 0xFD, 0x90, 0x64}).valid);  // layer II
  EXPECT_TRUE(Parse(decoder, {0xFF, 0xFB, 0x80, 0x64}).valid);

  // The lock is taken even by a header that a later check rejects.
  MpegDecoder other;
  EXPECT_FALSE(Parse(other, {0xFF, 0xFD, 0x00, 0x64}).valid);
  EXPECT_EQ(other.locked_layer, 2);
  EXPECT_FALSE(Parse(other, {0xFF, 0xFB, 0x90, 0x64}).valid);
}

TEST(MpegHeaderTest, Layer2AllocationTableFollowsRateAndBitratePerChannel) {
  struct Case {
    std::array<std::uint8_t, 4> bytes;
    int table, limit;
  };
  const Case cases[] = {
      {{0xFF, 0xFD, 0x80, 0x04}, 0, 27},  // 44.1 kHz, 128 kbit/s stereo
      {{0xFF, 0xFD, 0xA0, 0x04}, 1, 30},  // 44.1 kHz, 192 kbit/s stereo
      {{0xFF, 0xFD, 0x44, 0x04}, 2, 8},   // 48 kHz, 64 kbit/s stereo
      {{0xFF, 0xFD, 0x48, 0x04}, 3, 12},  // 32 kHz, 64 kbit/s stereo
      {{0xFF, 0xFD, 0x60, 0xC4}, 1, 30},  // 44.1 kHz, 96 kbit/s mono
      {{0xFF, 0xF5, 0x80, 0x04}, 4, 30},  // LSF
  };
  for (const Case& c : cases) {
    MpegDecoder decoder;
    ASSERT_TRUE(Parse(decoder, c.bytes).valid);
    EXPECT_EQ(decoder.header.subband_limit, c.limit);
    EXPECT_EQ(decoder.header.allocation_table, c.table);
  }
  MpegDecoder decoder;
  ASSERT_TRUE(Parse(decoder, {0xFF, 0xFD, 0xA0, 0x64}).valid);  // joint stereo, extension 2
  EXPECT_EQ(decoder.header.joint_bound, 12);
  ASSERT_TRUE(Parse(decoder, {0xFF, 0xFD, 0x44, 0x74}).valid);  // bound 16 beyond limit 8
  EXPECT_EQ(decoder.header.joint_bound, 8);
  EXPECT_EQ(decoder.frame_size, 64 * 144000 / 48000 - 4);
}

}  // namespace
}  // namespace zv
