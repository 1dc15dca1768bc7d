// The row converters give what the byte-by-byte rule gives for every row
// length (the shuffled paths work in steps of 4 and 16 pixels and finish
// the row one pixel at a time), and write nothing past the row. Inputs and
// outputs are allocated at their exact sizes, so a sanitizer build also
// catches reads and writes past either end.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "display/codecs/pixel_rows.h"

namespace zv::codecs {
namespace {

constexpr uint8_t kGuard = 0xA5;

std::unique_ptr<uint8_t[]> RandomBytes(size_t count, std::mt19937& random) {
  auto bytes = std::make_unique<uint8_t[]>(count);
  for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<uint8_t>(random());
  return bytes;
}

// An output row of `count` pixels followed by four guard bytes.
std::unique_ptr<uint8_t[]> OutputRow(int32_t count) {
  const size_t size = static_cast<size_t>(count) * 4 + 4;
  auto out = std::make_unique<uint8_t[]>(size);
  for (size_t i = 0; i < size; ++i) out[i] = kGuard;
  return out;
}

void ExpectGuardKept(const uint8_t* out, int32_t count) {
  for (int i = 0; i < 4; ++i) EXPECT_EQ(out[static_cast<size_t>(count) * 4 + i], kGuard) << count;
}

TEST(PixelRows, ExpandBgrMatchesThePlainRuleAtEveryLength) {
  std::mt19937 random(1);
  for (int32_t count = 0; count <= 70; ++count) {
    const auto in = RandomBytes(static_cast<size_t>(count) * 3, random);
    const auto out = OutputRow(count);
    ExpandBgrRow(in.get(), out.get(), count);
    for (int32_t x = 0; x < count; ++x) {
      const uint8_t* p = out.get() + 4 * x;
      ASSERT_EQ(p[0], in[3 * x]) << count << " " << x;
      ASSERT_EQ(p[1], in[3 * x + 1]) << count << " " << x;
      ASSERT_EQ(p[2], in[3 * x + 2]) << count << " " << x;
      ASSERT_EQ(p[3], 0) << count << " " << x;
    }
    ExpectGuardKept(out.get(), count);
  }
}

TEST(PixelRows, CopyBgrxClearsTheFourthByte) {
  std::mt19937 random(2);
  for (int32_t count = 0; count <= 20; ++count) {
    const auto in = RandomBytes(static_cast<size_t>(count) * 4, random);
    const auto out = OutputRow(count);
    CopyBgrxRow(in.get(), out.get(), count);
    for (int32_t x = 0; x < 4 * count; ++x) ASSERT_EQ(out[x], x % 4 == 3 ? 0 : in[x]) << count << " " << x;
    ExpectGuardKept(out.get(), count);
  }
}

TEST(PixelRows, InterleavePlanesMatchesThePlainRuleAtEveryLength) {
  std::mt19937 random(3);
  for (int32_t count = 0; count <= 70; ++count) {
    const size_t n = static_cast<size_t>(count);
    const auto blue = RandomBytes(n, random), green = RandomBytes(n, random);
    const auto red = RandomBytes(n, random), fourth = RandomBytes(n, random);
    const auto out = OutputRow(count);
    InterleavePlanes(blue.get(), green.get(), red.get(), fourth.get(), n, out.get());
    for (size_t x = 0; x < n; ++x) {
      const uint8_t* p = out.get() + 4 * x;
      ASSERT_EQ(p[0], blue[x]) << count << " " << x;
      ASSERT_EQ(p[1], green[x]) << count << " " << x;
      ASSERT_EQ(p[2], red[x]) << count << " " << x;
      ASSERT_EQ(p[3], fourth[x]) << count << " " << x;
    }
    ExpectGuardKept(out.get(), count);
  }
}

}  // namespace
}  // namespace zv::codecs
