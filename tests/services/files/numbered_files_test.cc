// The numbered-file commands, run as compiled BASIC: the byte formats they
// write and read back, their warnings, and damaged input.
#include <algorithm>
#include <regex>

#include "compiler/command_table.h"
#include "services/files/numbered_file_commands.h"
#include "tests/services/files/services_program.h"

namespace zv::test {
namespace {

namespace err = numbered_file_error;

std::string U32(uint32_t v) {
  return std::string{static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
                     static_cast<char>(v >> 24)};
}

class NumberedFiles : public ServicesProgramTest {};

TEST_F(NumberedFiles, TypedValuesRoundTripInLittleEndianBytes) {
  ASSERT_TRUE(Run(
      "open file to write 1, \"values.dat\"\n"
      "write file byte 1, 300\n"
      "write file word 1, 70000\n"
      "write file dword 1, -2\n"
      "write file dword 1, 1.5\n"
      "write file string 1, \"line\"\n"
      "close file 1\n"
      "open file to read 3, \"values.dat\"\n"
      "read file byte 3, b\n"
      "read file word 3, w\n"
      "read file dword 3, d\n"
      "read file float 3, f#\n"
      "read file string 3, s$\n"
      "print b; \" \"; w; \" \"; d; \" \"; f#; \" \"; s$; \" \"; file end(3)\n"
      "read file byte 3, b\n"
      "print b; \" \"; file end(3); \" \"; file open(3); \" \"; file open(4)\n"
      "close file 3\n"
      "print file open(3); file end(3)\n"));
  EXPECT_EQ(Code(), 0);
  EXPECT_EQ(printed, "44 4464 -2 1.5 line 0\n0 1 1 0\n00\n");
  EXPECT_EQ(ReadBytes("values.dat"), std::string("\x2c\x70\x11", 3) + U32(0xfffffffe) + U32(0x3fc00000) + "line\r\n");
}

TEST_F(NumberedFiles, ReadsTextLinesEndedAnyWay) {
  WriteBytes("crlf.txt", "AB\r\nC");
  WriteBytes("lf.txt", "AB\nC");
  WriteBytes("cr.txt", std::string("A\tB\rX\0C", 7));
  WriteBytes("long.txt", std::string(600, 'x') + "\r\nnext\r\n");
  ASSERT_TRUE(Run(
      "open file to read 1, \"crlf.txt\"\n"
      "read file string 1, a$\nprint a$; \" \"; file end(1)\n"
      "read file string 1, a$\nprint a$; \" \"; file end(1)\n"
      "open file to read 2, \"lf.txt\"\n"
      "read file string 2, a$\nread file string 2, b$\nprint a$; \"/\"; b$\n"
      "open file to read 3, \"cr.txt\"\n"
      "read file string 3, a$\nread file string 3, b$\nprint a$; \"/\"; b$\n"
      "open file to read 4, \"long.txt\"\n"
      "read file string 4, a$\nread file string 4, b$\nprint len(a$); \"/\"; b$\n"));
  EXPECT_EQ(Code(), 0);
  EXPECT_EQ(printed, "AB 0\nC 1\nAB/C\nA\tB\rXC/\n600/next\n");

  // A line longer than a string holds ends the run there, naming the file.
  WriteBytes("huge.txt", std::string(StringHeap::kMaxLength + 1, 'x'));
  ASSERT_TRUE(Run("open file to read 9, \"huge.txt\"\nread file string 9, a$\nprint \"never\"\n"));
  EXPECT_EQ(Code(), 107);
  EXPECT_EQ(vm.errors.subject, "huge.txt");
  EXPECT_EQ(printed, "");
}

TEST_F(NumberedFiles, ReadsIntoArrayElements) {
  WriteBytes("in.dat", U32(77) + "text\r\n");
  ASSERT_TRUE(Run(
      "dim n(3)\ndim t$(2)\n"
      "open file to read 1, \"in.dat\"\n"
      "read file dword 1, n(2)\n"
      "read file string 1, t$(1)\n"
      "print n(1); \" \"; n(2); \" \"; t$(1)\n"));
  EXPECT_EQ(Code(), 0);
  EXPECT_EQ(printed, "0 77 text\n");
}

TEST_F(NumberedFiles, WarnsAboutSlotsAndNames) {
  WriteBytes("here.txt", "x");
  struct Case {
    const char* program;
    int32_t warning;
    const char* named;  // the file the warning names
  };
  const Case cases[] = {
      {"open file to read 0, \"here.txt\"", err::kSlotNumber, ""},
      {"open file to read 33, \"here.txt\"", err::kSlotNumber, ""},
      {"read file byte 5, b", err::kSlotNotOpen, ""},
      {"close file 5", err::kSlotNotOpen, ""},
      {"open file to read 1, \"missing.txt\"", err::kMissing, "missing.txt"},
      {"open file to write 1, \"here.txt\"", err::kExists, "here.txt"},
      {"open file to read 1, \"here.txt\"\nopen file to read 1, \"here.txt\"", err::kSlotInUse, ""},
      {"open file to write 1, \"nofolder\\new.txt\"", err::kCreateFailed, "nofolder\\new.txt"},
      {"open file to read 1, \"here.txt\"\nwrite file byte 1, 7", err::kWriteFailed, "here.txt"},
      {"open file to write 1, \"new.txt\"\nread file byte 1, b", err::kReadFailed, "new.txt"},
      {"open file to write 1, \"new.txt\"\nwrite file block 1, \"missing.bin\"", err::kMissing, "missing.bin"},
      {"open file to write 1, \"new.txt\"\nwrite file block no size 1, \"missing.bin\", 0", err::kMissing,
       "missing.bin"},
      {"open file to write 1, \"new.txt\"\nwrite file block 1, \".\"", err::kOpenFailed, "."},
      {"open file to read 1, \"here.txt\"\nread dir block 1, \"here.txt\"", err::kCreateFailed, "here.txt"},
  };
  for (const Case& c : cases) {
    fs::remove(Folder() / "new.txt");
    ASSERT_TRUE(Run(std::string(c.program) + "\n"));
    EXPECT_TRUE(Warned()) << c.program;
    EXPECT_EQ(Code(), c.warning) << c.program;
    EXPECT_EQ(vm.errors.subject, c.named) << c.program;
    files.CloseNumberedFiles();
  }
}

TEST_F(NumberedFiles, KeepsTheFirstFileWhenASlotIsOpenedTwice) {
  WriteBytes("one.txt", "1");
  WriteBytes("two.txt", "2");
  ASSERT_TRUE(Run("open file to read 1, \"one.txt\"\nopen file to read 1, \"two.txt\"\n"));
  EXPECT_EQ(Code(), err::kSlotInUse);
  ASSERT_TRUE(Run("read file byte 1, b\nprint b\n"));
  EXPECT_EQ(printed, "49\n");
}

TEST_F(NumberedFiles, ShortReadsMarkTheEndAndReadZero) {
  WriteBytes("short.dat", "\x05\x01");
  ASSERT_TRUE(Run(
      "open file to read 1, \"short.dat\"\n"
      "read file dword 1, d\n"
      "print d; \" \"; file end(1)\n"
      "read file byte 1, b\n"
      "print b\n"));
  EXPECT_EQ(printed, "261 1\n0\n");
}

// A read the file ends inside says how many bytes are missing and keeps
// what it stores; one that finds the end only marks it, but a record read
// says an empty file. A row for every read of the command table.
TEST_F(NumberedFiles, EveryReadTheFileEndsInsideSaysSo) {
  const std::string kMissing = " bytes the read asks for are missing", kBlock = "read file block 1, \"o.bin\" : ";
  const struct {
    std::string file, program, printed, warning;  // the program runs with the file open as 1
  } rows[] = {
      {"", "read file byte 1, b : print b; file end(1)", "01", ""},
      {"\x05", "read file word 1, w : print w; file end(1)", "51", "1 of the 2" + kMissing},
      {"\x05\x01", "read file dword 1, d : print d; file end(1)", "2611", "2 of the 4" + kMissing},
      {"\x05\x01\x02", "read file float 1, f# : print file end(1)", "1", "1 of the 4" + kMissing},
      {"ab", "read file string 1, a$ : print a$; file end(1)", "ab1", ""},
      {U32(10) + "abc", kBlock + "print file exists(\"o.bin\"); file end(1)", "01",
       "\"o.bin\": the file ends inside it, 3 of its 10 bytes there; it is not written"},
      {U32(10) + "abc", "make file \"o.bin\" : " + kBlock + "print 1", "1", "3 of its 10 bytes there"},
      {std::string("\x0a\x00", 2), kBlock + "print file end(1)", "1", "2 of the 4" + kMissing},
      {"", kBlock + "print file end(1)", "1", "it is empty, and holds no file record"},
      {"abc", "skip file bytes 1, 10 : print file end(1)", "1", "7 of the 10" + kMissing},
      {U32(1) + U32(6) + std::string("f.txt\0", 6) + U32(1000) + "abc", "read dir block 1, \"d\" : print 1", "1",
       "the pack ends inside it, 3 of its 1000 bytes there"},
      {U32(8) + "ab", "read memblock from file 1, 1 : print memblock byte(1, 1); memblock byte(1, 7); file end(1)",
       "9801", "6 of the 12" + kMissing},
      {U32(1) + "x", "read memblock from file 1, 1 : read memblock from file 1, 2 : print memblock exists(2)", "0", ""},
      {"", "read memblock from file 1, 1 : print 1", "1", "it is empty, and holds no memory block"},
      {"abc", "skip file bytes 1, 1 : make memblock from file 1, 1 : print memblock byte(1, 2)", "0", ""},
  };
  std::string warned;
  vm.standalone_warning_out = [&warned](std::string_view text) { warned += text; };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.program);
    WriteBytes("in.dat", row.file);
    warned.clear();
    ASSERT_TRUE(Run("open file to read 1, \"in.dat\"\n" + row.program + "\n"));
    EXPECT_EQ(printed, row.printed + "\n");
    EXPECT_EQ(warned.empty(), row.warning.empty()) << warned;
    EXPECT_NE(warned.find(row.warning), std::string::npos) << warned;
    if (row.warning.find(kMissing) == std::string::npos) { EXPECT_EQ(warned.find(kMissing), std::string::npos); }
    files.CloseNumberedFiles();
    fs::remove_all(Folder() / "o.bin");
  }
  for (const CommandEntry& c : CommandTable::Builtin().Commands()) {
    if (c.code < 8041 || c.code > 8075 || std::regex_search(c.name, std::regex("^(open|close|write)"))) continue;
    EXPECT_TRUE(std::any_of(std::begin(rows), std::end(rows),
                            [&c](auto& row) { return row.program.find(c.name) != std::string::npos; }))
        << c.name << " has no row";
  }
}

TEST_F(NumberedFiles, SkipsBytes) {
  WriteBytes("skip.dat", "abcdef");
  ASSERT_TRUE(Run(
      "open file to read 1, \"skip.dat\"\n"
      "skip file bytes 1, 4\n"
      "read file byte 1, b\n"
      "print b; \" \"; file end(1)\n"
      "skip file bytes 1, -5\n"
      "skip file bytes 1, 10\n"
      "print file end(1)\n"));
  EXPECT_EQ(printed, "101 0\n1\n");
}

TEST_F(NumberedFiles, WholeFilesGoInAndOutAsRecords) {
  WriteBytes("data.bin", std::string("\x00\x01\x02", 3));
  WriteBytes("keep.bin", "old");
  ASSERT_TRUE(Run(
      "open file to write 1, \"pack.dat\"\n"
      "write file block 1, \"data.bin\"\n"
      "write file block no size 1, \"data.bin\", 0\n"
      "write file block 1, \"data.bin\"\n"
      "close file 1\n"
      "open file to read 1, \"pack.dat\"\n"
      "read file block 1, \"out\\deep\\copy.bin\"\n"
      "skip file bytes 1, 3\n"
      "read file block 1, \"keep.bin\"\n"
      "print file end(1)\n"));
  EXPECT_EQ(Code(), 0);
  EXPECT_EQ(printed, "0\n");
  const std::string record = U32(3) + std::string("\x00\x01\x02", 3);
  EXPECT_EQ(ReadBytes("pack.dat"), record + std::string("\x00\x01\x02", 3) + record);
  EXPECT_EQ(ReadBytes("out/deep/copy.bin"), std::string("\x00\x01\x02", 3));
  EXPECT_EQ(ReadBytes("keep.bin"), "old");
}

TEST_F(NumberedFiles, FolderTreesPackAndUnpack) {
  fs::create_directories(Folder() / "src" / "sub");
  WriteBytes("src/b.txt", "bb");
  WriteBytes("src/sub/a.txt", "a");
  WriteBytes("src/sub/.zentrovex-kept", "game\ta.txt\n");  // a built game's own list stays out
  ASSERT_TRUE(Run(
      "open file to write 1, \"tree.dat\"\n"
      "write dir block 1, \"src\"\n"
      "close file 1\n"
      "open file to read 1, \"tree.dat\"\n"
      "read dir block 1, \"dst\"\n"
      "print file end(1)\n"));
  EXPECT_EQ(Code(), 0);
  EXPECT_EQ(printed, "0\n");
  EXPECT_EQ(ReadBytes("tree.dat"),
            U32(2) + U32(6) + std::string("b.txt\0", 6) + U32(2) + "bb" + U32(10) + std::string("sub\\a.txt\0", 10) +
                U32(1) + "a");
  EXPECT_EQ(ReadBytes("dst/b.txt"), "bb");
  EXPECT_EQ(ReadBytes("dst/sub/a.txt"), "a");
}

// Whatever a pack's names hold, unpacking makes the names the files had:
// the system's own UTF-8 (as every version packs them) and the program's
// Windows-1252 characters, as a pack made where names are in those holds.
TEST_F(NumberedFiles, UnpackedFilesKeepTheirNames) {
  fs::create_directories(Folder() / "src" / "sub");
  WriteBytes("src/caf\xC3\xA9.txt", "e");
  WriteBytes("src/sub/\xE2\x86\x92.txt", "arrow");
  ASSERT_TRUE(Run(
      "open file to write 1, \"tree.dat\"\nwrite dir block 1, \"src\"\nclose file 1\n"
      "open file to read 1, \"tree.dat\"\nread dir block 1, \"dst\"\n"));
  EXPECT_EQ(Code(), 0);
  EXPECT_EQ(ReadBytes("dst/caf\xC3\xA9.txt"), "e");
  EXPECT_EQ(ReadBytes("dst/sub/\xE2\x86\x92.txt"), "arrow");

  WriteBytes("page.dat", U32(1) + U32(14) + std::string("sub\\na\xEFve.txt\0", 14) + U32(1) + "n");
  ASSERT_TRUE(Run("open file to read 2, \"page.dat\"\nread dir block 2, \"dst2\"\n"));
  EXPECT_EQ(Code(), 0);
  EXPECT_EQ(ReadBytes("dst2/sub/na\xC3\xAFve.txt"), "n");

  // Names that are no UTF-8 (one in the shape of a mark) come back as the
  // same bytes; an empty folder, which a pack cannot hold, is named.
  fs::create_directories(Folder() / "bytes" / "empty");
  WriteBytes("bytes/caf\xE9.txt", "latin");
  WriteBytes("bytes/a\x81" "005C\x81" "b", "mark");
  std::string warned;
  vm.standalone_warning_out = [&warned](std::string_view text) { warned += text; };
  ASSERT_TRUE(Run(
      "open file to write 3, \"bytes.dat\"\nwrite dir block 3, \"bytes\"\nclose file 3\n"
      "open file to read 3, \"bytes.dat\"\nread dir block 3, \"dst3\"\n"));
  EXPECT_EQ(ReadBytes("dst3/caf\xE9.txt") + ReadBytes("dst3/a\x81" "005C\x81" "b"), "latinmark");
  EXPECT_NE(warned.find("\"bytes\\empty\": it is a folder with no file in it, which the pack leaves out"),
            std::string::npos) << warned;
}

// An unpack finds folders as every name is found (another letter case, the
// bytes an older build named them in), and a folder it made for a file it
// could not make goes again.
TEST_F(NumberedFiles, UnpackedFilesFindTheirFoldersAndLeaveNoneForNothing) {
  fs::create_directories(Folder() / "dst" / "Sub");
  fs::create_directories(Folder() / "dst" / "caf\xE9");
  const std::string too_long(300, 'n');
  WriteBytes("p.dat", U32(5) + U32(10) + std::string("sub\\a.txt\0", 10) + U32(1) + "a" + U32(10) +
                          std::string("NEW\\b.txt\0", 10) + U32(1) + "b" + U32(10) + std::string("new\\c.txt\0", 10) +
                          U32(1) + "c" + U32(12) + std::string("caf\xC3\xA9\\d.txt\0", 12) + U32(1) + "d" +
                          U32(306) + "made\\" + too_long + '\0' + U32(1) + "m");
  ASSERT_TRUE(Run("open file to read 1, \"p.dat\"\nread dir block 1, \"dst\"\n"));
  EXPECT_EQ(Code(), err::kCreateFailed);
  EXPECT_EQ(ReadBytes("dst/Sub/a.txt") + ReadBytes("dst/NEW/b.txt") + ReadBytes("dst/NEW/c.txt"), "abc");
  EXPECT_EQ(ReadBytes("dst/caf\xE9/d.txt"), "d");
  EXPECT_FALSE(fs::exists(Folder() / "dst" / "made"));
}

TEST_F(NumberedFiles, PackOfAMissingFolderHoldsNoFilesAndSaysSo) {
  ASSERT_TRUE(Run("open file to write 1, \"empty.dat\"\nwrite dir block 1, \"nothing\"\n"));
  EXPECT_EQ(Code(), file_error::kDirectoryMissing);
  files.CloseNumberedFiles();
  EXPECT_EQ(ReadBytes("empty.dat"), U32(0));
}

TEST_F(NumberedFiles, DamagedPacksWriteNothingOutsideTheirFolder) {
  const std::string escaping = U32(4) + U32(14) + std::string("..\\escape.txt\0", 14) + U32(1) + "e" + U32(11) +
                               std::string("/abs/x.txt\0", 11) + U32(1) + "a" + U32(24) +
                               std::string("\x81" "002E\x81\x81" "002E\x81\x81" "002F\x81m.txt\0", 24) + U32(1) + "m" +
                               U32(8) + std::string("C:d.txt\0", 8) + U32(1) + "d";
  WriteBytes("escaping.dat", escaping);
  std::string warned;
  vm.standalone_warning_out = [&warned](std::string_view text) { warned += text; };
  ASSERT_TRUE(Run("open file to read 1, \"escaping.dat\"\nread dir block 1, \"dst\"\nprint file end(1)\n"));
  EXPECT_EQ(Code(), 0);
  EXPECT_EQ(printed, "0\n");
  // Each named, and the program goes on.
  EXPECT_NE(warned.find("\"dst\\..\\escape.txt\": it leads out of the folder; the pack's file is left out, and "
                        "\"dst\\/abs/x.txt\" (it leads out of the folder) and 2 more."),
            std::string::npos) << warned;
  EXPECT_FALSE(fs::exists(Folder() / "escape.txt"));
  EXPECT_FALSE(fs::exists(Folder() / "m.txt"));
  EXPECT_TRUE(fs::is_empty(Folder() / "dst"));

  // A path length far beyond any path.
  WriteBytes("long.dat", U32(1) + U32(0x7fffffff) + std::string(64, 'x'));
  ASSERT_TRUE(Run("open file to read 2, \"long.dat\"\nread dir block 2, \"dst2\"\n"));
  EXPECT_EQ(Code(), err::kReadFailed);

  // A record that claims more than the file holds.
  WriteBytes("cut.dat", U32(1) + U32(6) + std::string("f.txt\0", 6) + U32(1000) + "abc");
  ASSERT_TRUE(Run("open file to read 3, \"cut.dat\"\nread dir block 3, \"dst3\"\nprint file end(3)\n"));
  EXPECT_EQ(Code(), 0);
  EXPECT_EQ(printed, "1\n");
  EXPECT_FALSE(fs::exists(Folder() / "dst3" / "f.txt"));

  // A count far beyond the files: the reading stops at the end.
  WriteBytes("count.dat", U32(0xffffffff) + U32(6) + std::string("g.txt\0", 6) + U32(1) + "g");
  ASSERT_TRUE(Run("open file to read 4, \"count.dat\"\nread dir block 4, \"dst4\"\nprint file end(4)\n"));
  EXPECT_EQ(printed, "1\n");
  EXPECT_EQ(ReadBytes("dst4/g.txt"), "g");
}

TEST_F(NumberedFiles, MemoryBlocksGoInAndOut) {
  ASSERT_TRUE(Run(
      "make memblock 1, 5\n"
      "for i = 0 to 4 : write memblock byte 1, i, i + 10 : next i\n"
      "open file to write 1, \"block.dat\"\n"
      "write memblock to file 1, 1\n"
      "close file 1\n"
      "open file to read 1, \"block.dat\"\n"
      "read memblock from file 1, 2\n"
      "print memblock size(2); \" \"; memblock byte(2, 4); \" \"; file end(1)\n"
      "close file 1\n"
      "open file to read 1, \"block.dat\"\n"
      "skip file bytes 1, 4\n"
      "make memblock from file 3, 1\n"
      "print memblock size(3); \" \"; memblock byte(3, 0); \" \"; memblock byte(3, 8)\n"));
  EXPECT_EQ(Code(), 0);
  EXPECT_EQ(printed, "5 14 0\n9 10 0\n");
}

TEST_F(NumberedFiles, MemoryBlockErrors) {
  WriteBytes("empty.dat", "");
  WriteBytes("zero.dat", U32(0));
  WriteBytes("cut.dat", U32(8) + "ab");
  struct Case {
    const char* program;
    int32_t code;
  };
  const Case cases[] = {
      {"open file to read 1, \"zero.dat\"\nread memblock from file 1, 0", 5101},
      {"open file to write 1, \"new.dat\"\nwrite memblock to file 1, 9", 5103},
      {"open file to read 1, \"empty.dat\"\nmake memblock from file 1, 1", err::kReadFailed},
      {"open file to read 1, \"zero.dat\"\nread memblock from file 1, 1", err::kReadFailed},
      {"make memblock from file 300, 1", 5101},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(Run(std::string(c.program) + "\n"));
    EXPECT_EQ(Code(), c.code) << c.program;
    EXPECT_FALSE(blocks.Table().Exists(1)) << c.program;
    files.CloseNumberedFiles();
  }
  // A record cut short: the block has its size, the missing tail zero.
  ASSERT_TRUE(Run(
      "open file to read 1, \"cut.dat\"\nread memblock from file 1, 1\n"
      "print memblock size(1); \" \"; memblock byte(1, 1); \" \"; memblock byte(1, 7); \" \"; file end(1)\n"));
  EXPECT_EQ(printed, "8 98 0 1\n");
}

TEST_F(NumberedFiles, TakingTheDisplayDownClosesEverySlot) {
  WriteBytes("a.txt", "");
  ASSERT_TRUE(Run("open file to read 1, \"a.txt\"\nread file byte 1, b\nopen file to read 32, \"a.txt\"\n"));
  EXPECT_TRUE(files.Slots().At(1).at_end);
  files.CloseNumberedFiles();
  for (int32_t n = 1; n <= 32; ++n) {
    EXPECT_FALSE(files.Slots().At(n).file.IsOpen());
    EXPECT_FALSE(files.Slots().At(n).at_end);
  }
}

}  // namespace
}  // namespace zv::test
