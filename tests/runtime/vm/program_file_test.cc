#include "runtime/vm/program_file.h"

#include <gtest/gtest.h>

#include <cstring>

#include "tests/support/program_assembler.h"

namespace zv {
namespace {

uint32_t Word(const std::vector<uint8_t>& bytes, size_t index) {
  uint32_t w;
  std::memcpy(&w, &bytes[index * 4], 4);
  return w;
}

void PutWord(std::vector<uint8_t>& bytes, size_t index, uint32_t w) {
  std::memcpy(&bytes[index * 4], &w, 4);
}

TEST(ProgramFile, EmptyProgramHasOneWordSectionsAndMinimalHeader) {
  ProgramFile p;
  p.code = {0, 0, 0};
  p.lines = {1, 2, 0};
  auto bytes = EncodeProgramFile(p);
  EXPECT_EQ(Word(bytes, 0), 1u);
  EXPECT_EQ(Word(bytes, 3), 1024u);
  EXPECT_EQ(Word(bytes, 5), 1025u);
  EXPECT_EQ(Word(bytes, 7), 1029u);
  EXPECT_EQ(Word(bytes, 11), 3u);
  EXPECT_EQ(bytes.size(), 4u * (1029 + 2 * 3));
}

TEST(ProgramFile, SectionSizesFollowTheTextLengths) {
  ProgramFile p;
  p.string_constants = {"abc", "abc", "abc", "abc"};  // 4 bytes each -> Ws = 16/4 + 1
  p.data = {{'s', 0, "abc"}, {'s', 0, "ab"}, {'l', 7, {}}};  // 2 + 1 + 1 words
  p.code = {0};
  p.lines = {0};
  auto bytes = EncodeProgramFile(p);
  uint32_t ws = Word(bytes, 5) - Word(bytes, 3);
  EXPECT_EQ(ws, 5u);
  const uint32_t wt = 1, wd = 4, wo = 3;
  EXPECT_EQ(Word(bytes, 7), 1024 + ws + wt + wd + wo);
}

TEST(ProgramFile, RoundTripKeepsEverySection) {
  test::ProgramAssembler a;
  a.Line(3);
  a.Op(81, {a.IntVar(0), a.IntConst(-5), a.IntConst(7)});
  a.Op(86, {a.FloatVar(1), a.FloatConst(1.5f), a.FloatConst(2.5f)});
  a.Op(153, {a.StringVar(0), a.StringConst(""), a.StringConst(std::string(300, 'x'))});
  a.SetOwner('l', 0, -1);  // owners are 16-bit values widened with their sign
  a.Data(42);
  a.Data(0.25f);
  a.Data(std::string("hello"));
  ProgramFile in = a.Finish();

  auto decoded = DecodeProgramFile(EncodeProgramFile(in));
  ASSERT_TRUE(std::holds_alternative<ProgramFile>(decoded)) << std::get<ProgramFileError>(decoded).message;
  const ProgramFile& out = std::get<ProgramFile>(decoded);
  EXPECT_EQ(out.int_constants, in.int_constants);
  EXPECT_EQ(out.float_constants, in.float_constants);
  EXPECT_EQ(out.string_constants, in.string_constants);
  ASSERT_EQ(out.data.size(), 3u);
  EXPECT_EQ(out.data[0].word, 42u);
  EXPECT_EQ(out.data[2].text, "hello");
  EXPECT_EQ(out.int_owners, std::vector<int32_t>{-1});
  EXPECT_EQ(out.float_owners.size(), 2u);
  EXPECT_EQ(out.code, in.code);
  EXPECT_EQ(out.lines, in.lines);
}

std::string Refusal(const std::vector<uint8_t>& bytes) {
  auto decoded = DecodeProgramFile(bytes);
  if (auto* e = std::get_if<ProgramFileError>(&decoded)) return e->message;
  return "";
}

std::vector<uint8_t> SampleFile() {
  test::ProgramAssembler a;
  auto top = a.NewLabel();
  a.Bind(top);
  a.Op(153, {a.StringVar(0), a.StringConst("text")});
  a.Data(std::string("item"));
  a.Data(1);
  a.Op(2, {a.Target(top)});
  return a.Bytes();
}

TEST(ProgramFile, RefusesDamagedFiles) {
  const std::vector<uint8_t> good = SampleFile();
  ASSERT_EQ(Refusal(good), "");

  // Cut anywhere before the code: some section no longer fits.
  for (size_t cut : {size_t{0}, size_t{4}, size_t{100}, size_t{4095}, size_t{4096}, size_t{4100}}) {
    std::vector<uint8_t> truncated(good.begin(), good.begin() + static_cast<long>(cut));
    EXPECT_NE(Refusal(truncated), "") << "cut at " << cut;
  }
  std::vector<uint8_t> odd(good.begin(), good.end() - 4);
  EXPECT_NE(Refusal(odd), "") << "code and line table of different lengths";

  auto with_word = [&](size_t index, uint32_t value) {
    auto bytes = good;
    PutWord(bytes, index, value);
    return bytes;
  };
  EXPECT_NE(Refusal(with_word(0, 2)), "") << "version";
  EXPECT_NE(Refusal(with_word(6, 14001)), "") << "more DATA than the variable area holds";
  EXPECT_NE(Refusal(with_word(6, 0x80000000u)), "") << "negative DATA count";
  EXPECT_NE(Refusal(with_word(4, 100)), "") << "string constants past their section";
  EXPECT_NE(Refusal(with_word(7, 0xFFFFFFF0u)), "") << "code past the end";
  EXPECT_NE(Refusal(with_word(11, 1000)), "") << "owner tables longer than their room";

  uint32_t first_code = Word(good, 7);
  uint32_t code_words = (static_cast<uint32_t>(good.size()) / 4 - first_code) / 2;
  EXPECT_NE(Refusal(with_word(first_code + code_words - 1, 37000 + code_words)), "")
      << "jump past the last code word";

  auto bad_type = good;
  bad_type[Word(good, 5) * 4] = 'q';
  EXPECT_NE(Refusal(bad_type), "") << "unknown DATA type";
}

}  // namespace
}  // namespace zv
