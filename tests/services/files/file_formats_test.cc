// The byte formats of numbered files and array files, as units over bytes
// in memory.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "services/files/array_files.h"
#include "services/files/file_formats.h"

namespace zv::files {
namespace {

std::vector<uint8_t> Bytes(std::string_view text) { return std::vector<uint8_t>(text.begin(), text.end()); }

std::string U32(uint32_t v) {
  return std::string{static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
                     static_cast<char>(v >> 24)};
}

// A source whose reads fail after `good` bytes.
class FailingSource final : public ByteSource {
 public:
  explicit FailingSource(size_t good) : good_(good) {}
  int64_t Read(std::span<uint8_t> out) override {
    if (good_ == 0) return -1;
    const size_t n = std::min(good_, out.size());
    std::fill_n(out.begin(), n, uint8_t{'a'});
    good_ -= n;
    return static_cast<int64_t>(n);
  }
  uint64_t Remaining() override { return 1000; }

 private:
  size_t good_;
};

TEST(TextLines, EndOnlyAtLineFeedsAndTheEnd) {
  const auto data = Bytes("A\xE9\tB\r\nC\rD\nE\r");
  MemorySource source(data);
  TextLine first = ReadTextLine(source);
  EXPECT_EQ(first.text, "A\xE9\tB");
  EXPECT_FALSE(first.status.reached_end);
  EXPECT_EQ(ReadTextLine(source).text, "C\rD");
  TextLine last = ReadTextLine(source);
  EXPECT_EQ(last.text, "E\r");
  EXPECT_TRUE(last.status.reached_end);
}

TEST(TextLines, AFailedReadIsReported) {
  FailingSource source(3);
  TextLine line = ReadTextLine(source);
  EXPECT_TRUE(line.status.failed);
}

TEST(FileRecords, ReadWholeOrNotAtAll) {
  const auto data = Bytes(U32(2) + "xy" + U32(5) + "abc");
  MemorySource source(data);
  FileRecord whole = ReadFileRecord(source);
  EXPECT_TRUE(whole.whole);
  EXPECT_EQ(whole.bytes, Bytes("xy"));
  FileRecord cut = ReadFileRecord(source);
  EXPECT_FALSE(cut.whole);
  EXPECT_TRUE(cut.status.reached_end);
  EXPECT_TRUE(cut.bytes.empty());
  EXPECT_EQ(source.Remaining(), 0u);
}

TEST(FileRecords, AHugeSizeMakesNoAllocation) {
  const auto data = Bytes(U32(0xffffffff) + "abc");
  MemorySource source(data);
  FileRecord record = ReadFileRecord(source);
  EXPECT_FALSE(record.whole);
  EXPECT_TRUE(record.status.reached_end);
  EXPECT_EQ(record.bytes.capacity(), 0u);
}

TEST(DirectoryPacks, HandOnEachFileWithItsParts) {
  const auto data = Bytes(U32(3) + U32(6) + std::string("a.txt\0", 6) + U32(1) + "A" + U32(0) +
                          U32(12) + std::string("d\\.\\e/f.txt\0", 12) + U32(0));
  MemorySource source(data);
  std::vector<PackedFile> got;
  PackRead read = ReadDirectoryPack(source, [&](const PackedFile& f) { got.push_back(f); });
  EXPECT_FALSE(read.damaged);
  EXPECT_FALSE(read.status.reached_end);
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0].path, "a.txt");
  EXPECT_EQ(got[0].bytes, Bytes("A"));
  ASSERT_TRUE(got[1].parts);
  EXPECT_EQ(*got[1].parts, (std::vector<std::string>{"d", "e", "f.txt"}));
  EXPECT_TRUE(got[1].bytes.empty());
}

TEST(DirectoryPacks, StopAtAPathLongerThanAnyPath) {
  const auto data = Bytes(U32(1) + U32(kMaxPackedPathLength + 1) + std::string(kMaxPackedPathLength + 100, 'x'));
  MemorySource source(data);
  int files = 0;
  PackRead read = ReadDirectoryPack(source, [&](const PackedFile&) { ++files; });
  EXPECT_TRUE(read.damaged);
  EXPECT_EQ(files, 0);
}

TEST(RelativePaths, RefuseToLeaveTheirFolder) {
  for (const char* path : {"..\\x", "a\\..\\..\\x", "\\root.txt", "/root.txt", "C:\\x", "c:x", "", ".", "\\\\"})
    EXPECT_FALSE(SplitRelativePath(path)) << path;
  EXPECT_EQ(*SplitRelativePath("a\\\\b..c\\d"), (std::vector<std::string>{"a", "b..c", "d"}));
  // A ":" past a leading drive form is a byte of a name.
  EXPECT_EQ(*SplitRelativePath("1:2\\C:x"), (std::vector<std::string>{"1:2", "C:x"}));
}

TEST(NumberArrayFiles, FillWholeDwordsThenZero) {
  const auto data = Bytes(U32(0x11223344) + "\x05\x06");
  EXPECT_EQ(DecodeNumberArrayFile(data, 3), (std::vector<uint32_t>{0x11223344, 0, 0}));
  EXPECT_EQ(DecodeNumberArrayFile(data, 0), std::vector<uint32_t>{});
  const std::vector<uint32_t> words = {1, 0xfffffffe};
  EXPECT_EQ(EncodeNumberArrayFile(words), Bytes(U32(1) + U32(0xfffffffe)));
}

TEST(StringArrayFiles, TakeOneLinePerElement) {
  const auto three = Bytes("a\r\nb\r\nc\r\n");
  EXPECT_EQ(DecodeStringArrayFile(three, 5).elements, (std::vector<std::string>{"a", "b", "c", "", ""}));
  const auto seven = Bytes("1\r\n2\r\n3\r\n4\r\n5\r\n6\r\n7\r\n");
  EXPECT_EQ(DecodeStringArrayFile(seven, 5).elements, (std::vector<std::string>{"1", "2", "3", "4", "5"}));
  EXPECT_TRUE(DecodeStringArrayFile(seven, 5).more);  // lines 6 and 7 are left
  EXPECT_FALSE(DecodeStringArrayFile(seven, 7).more);
  EXPECT_FALSE(DecodeStringArrayFile(three, 5).more);
  const auto unended = Bytes("last");
  EXPECT_EQ(DecodeStringArrayFile(unended, 2).elements, (std::vector<std::string>{"last", ""}));
}

TEST(StringArrayFiles, TakeLongLinesWholeAndDropZeroBytes) {
  const auto data = Bytes(std::string(300, 'x') + std::string("\r\nne\0xt\r\n", 9) + std::string(255, 'x') + "\r\n");
  EXPECT_EQ(DecodeStringArrayFile(data, 3).elements,
            (std::vector<std::string>{std::string(300, 'x'), "next", std::string(255, 'x')}));
}

TEST(StringArrayFiles, LinesEndOnlyAtCrLf) {
  // A lone LF stays in the text; a lone CR too, but the reading then
  // passes the next CR and LF.
  const auto data = Bytes("a\nb\r\nc\rd\r\ne\r\n");
  EXPECT_EQ(DecodeStringArrayFile(data, 3).elements, (std::vector<std::string>{"a\nb", "c\rd", "e"}));
}

// Without any CR LF the lines end at LF, as Linux editors write them.
TEST(StringArrayFiles, LinesEndAtLfInAFileWithoutCrLf) {
  const std::string x300(300, 'x');
  EXPECT_EQ(DecodeStringArrayFile(Bytes("one\n\na\rb\n" + x300 + "\n" + x300 + "\nlast"), 7).elements,
            (std::vector<std::string>{"one", "", "a\rb", x300, x300, "last", ""}));
}

TEST(StringArrayFiles, RoundTrip) {
  const std::vector<std::string_view> texts = {"one", "", "three \xFF", "\na\n"};
  const auto bytes = EncodeStringArrayFile(texts);
  EXPECT_EQ(bytes, Bytes("one\r\n\r\nthree \xFF\r\n\na\n\r\n"));
  EXPECT_EQ(DecodeStringArrayFile(bytes, 4).elements, (std::vector<std::string>{"one", "", "three \xFF", "\na\n"}));
}

}  // namespace
}  // namespace zv::files
