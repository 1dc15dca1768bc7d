// Directory listings in the shapes servers send.
#include <gtest/gtest.h>

#include "platform/ftp/ftp_listing.h"

namespace zv::platform {
namespace {

TEST(FtpListing, MachineReadableFactsGiveTypeSizeAndTheWholeName) {
  std::vector<FtpEntry> e = ParseMlsdListing(
      "type=cdir;modify=20200101000000; .\r\n"
      "type=pdir; ..\r\n"
      "Type=DIR;Modify=20200101000000; sub folder\r\n"
      "modify=20200101000000;size=5000000000;type=file;perm=r; a;b c.txt\r\n"
      "type=OS.unix=slink:/x; link\r\n"
      "type=file; ../../x.txt\r\n"
      "type=file; ..\r\n"
      "garbage-without-blank\r\n");
  ASSERT_EQ(e.size(), 5u);
  EXPECT_EQ(e[0].name, "sub folder");
  EXPECT_TRUE(e[0].directory);
  EXPECT_EQ(e[1].name, "a;b c.txt");
  EXPECT_FALSE(e[1].directory);
  EXPECT_EQ(e[1].size, 5000000000u);
  EXPECT_EQ(e[2].name, "link");
  // Read as they are, and no name of one entry of the folder.
  EXPECT_TRUE(NamesOneEntry(e[2].name));
  for (size_t i : {3, 4}) EXPECT_FALSE(NamesOneEntry(e[i].name)) << e[i].name;
}

TEST(FtpListing, UnixLinesFindTheSizeBeforeTheMonth) {
  std::vector<FtpEntry> e = ParseListListing(
      "total 12\n"
      "drwxr-xr-x   2 user     group        4096 Jan  1 12:00 my dir\n"
      "-rw-r--r--   1 user     group     1234567 Dec 31  2019 notes.txt\n"
      "-rw-r--r--   1 1000 1234 Mar 3 2021 nogroup\n"
      "lrwxrwxrwx   1 u g 7 Feb 2 10:00 latest -> notes.txt\n"
      "drwxr-xr-x   2 u g 4096 Jan 1 12:00 ..\n"
      "-rw-r--r--   1 u g notanumber Jan 1 12:00 bad\n");
  ASSERT_EQ(e.size(), 4u);
  EXPECT_EQ(e[0].name, "my dir");
  EXPECT_TRUE(e[0].directory);
  EXPECT_EQ(e[1].size, 1234567u);
  EXPECT_EQ(e[2].name, "nogroup");
  EXPECT_EQ(e[2].size, 1234u);
  EXPECT_EQ(e[3].name, "latest");
}

TEST(FtpListing, DosLinesMarkFoldersAndCarrySizes) {
  std::vector<FtpEntry> e = ParseListListing(
      "01-02-20  10:00AM       <DIR>          Program Files\r\n"
      "01-02-20  10:00AM                 1234 readme.txt\r\n");
  ASSERT_EQ(e.size(), 2u);
  EXPECT_TRUE(e[0].directory);
  EXPECT_EQ(e[0].name, "Program Files");
  EXPECT_EQ(e[1].size, 1234u);
}

TEST(FtpListing, SortsWithoutRegardToCase) {
  std::vector<FtpEntry> e = {{"b", false, 0}, {"A", false, 0}, {"a", false, 0}, {"C", true, 0}};
  SortEntries(e);
  EXPECT_EQ(e[0].name, "A");
  EXPECT_EQ(e[1].name, "a");
  EXPECT_EQ(e[2].name, "b");
  EXPECT_EQ(e[3].name, "C");
}

}  // namespace
}  // namespace zv::platform
