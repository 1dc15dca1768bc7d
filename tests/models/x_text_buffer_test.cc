#include "models/files/x_text_buffer.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdio>
#include <limits>
#include <random>

namespace zv::models {
namespace {

std::string Formatted(float value) {
  char out[64];
  return std::string(out, FormatFixed6(value, out));
}

TEST(XTextBuffer, NumbersAreWrittenAsTheCLibraryWritesThem) {
  // Every exponent, random mantissas and signs, and the values where
  // rounding to six decimals is decided: ties, halves, subnormals, zeros.
  std::mt19937 random(20240607);
  std::vector<float> values = {0.0f, -0.0f, 0.5e-6f, 1.5e-6f, 2.5e-6f, -0.5e-6f, 0.1f, 1.0f, -1.0f,
                               0.0000005f, 123456.789f, 4294967296.0f, 9.0e15f, 3.4e38f, -3.4e38f,
                               std::numeric_limits<float>::denorm_min(), std::numeric_limits<float>::min()};
  for (int i = 0; i < 200000; ++i) values.push_back(std::bit_cast<float>(static_cast<uint32_t>(random()) & 0xFF7FFFFFu));
  for (int millionths = -3000; millionths <= 3000; ++millionths)
    values.push_back(static_cast<float>(millionths) / 2e6f);
  for (float v : values) {
    char expected[64];
    std::snprintf(expected, sizeof expected, "%5.6f", static_cast<double>(v));
    ASSERT_EQ(Formatted(v), expected) << std::bit_cast<uint32_t>(v);
  }
  EXPECT_EQ(Formatted(-std::numeric_limits<float>::quiet_NaN()), "-1.#IND00");
  EXPECT_EQ(Formatted(std::numeric_limits<float>::quiet_NaN()), "1.#QNAN0");
  EXPECT_EQ(Formatted(-std::numeric_limits<float>::infinity()), "-1.#INF00");
}

TEST(XTextBuffer, LinesOfNumbersTurnNumbersSpelledWithHashesIntoZeros) {
  XTextBuffer text(4);  // grows on the way
  text.FloatLine({1.0f, -std::numeric_limits<float>::quiet_NaN(), 0.25f}, "; ", ";,");
  text.FloatLine({std::numeric_limits<float>::infinity()}, ", ", ";");
  (text.Fixed(-std::numeric_limits<float>::quiet_NaN()) << ';').EndLine();  // as it comes
  text.FaceLine(0, 65535, 123, ";;");
  text.Line("}");
  const std::string expected =
      "1.000000; 00.000000; 0.250000;,\n"
      "0.000000;\n"
      "-1.#IND00;\n"
      "3;0,65535,123;;\n"
      "}\n";
  EXPECT_EQ(text.View(), expected);

  // With a sink the same text arrives in pieces of whole lines.
  std::vector<std::string> pieces;
  XTextBuffer handed(16, [&](std::string_view piece) { pieces.emplace_back(piece); });
  handed.FloatLine({1.0f, -std::numeric_limits<float>::quiet_NaN(), 0.25f}, "; ", ";,");
  handed.FloatLine({std::numeric_limits<float>::infinity()}, ", ", ";");
  (handed.Fixed(-std::numeric_limits<float>::quiet_NaN()) << ';').EndLine();
  handed.FaceLine(0, 65535, 123, ";;");
  handed.Line("}");
  handed.HandOn();
  std::string joined;
  for (const std::string& piece : pieces) {
    EXPECT_EQ(piece.back(), '\n');
    joined += piece;
  }
  EXPECT_GT(pieces.size(), 2u);
  EXPECT_EQ(joined, expected);
}

}  // namespace
}  // namespace zv::models
