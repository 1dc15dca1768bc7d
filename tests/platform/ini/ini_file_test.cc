#include "platform/ini/ini_file.h"

#include <gtest/gtest.h>

#include <fstream>

#include "platform/paths/temp_folder.h"

namespace zv::platform {
namespace {

TEST(IniFile, ReadsWithProfileStringRules) {
  IniFile ini = IniFile::Parse(
      "; settings\r\n"
      "[Settings]\r\n"
      "  BlitFlipMode =  1  \r\n"
      "Quoted=\"a b \"\r\n"
      "single='x'\r\n"
      ";Commented=1\r\n"
      "Empty=\r\n"
      "[Other]\r\n"
      "BLITFLIPMODE=2\r\n");
  EXPECT_EQ(ini.Get("SETTINGS", "blitflipmode"), "1");
  EXPECT_EQ(ini.Get("settings", "QUOTED"), "a b ");
  EXPECT_EQ(ini.Get("settings", "single"), "x");
  EXPECT_EQ(ini.Get("settings", "Commented"), std::nullopt);
  EXPECT_EQ(ini.Get("settings", "Empty"), "");
  EXPECT_EQ(ini.Get("other", "blitflipmode"), "2");
  EXPECT_EQ(ini.Get("missing", "blitflipmode"), std::nullopt);
}

TEST(IniFile, WritingKeepsEverythingElse) {
  IniFile ini = IniFile::Parse("; top\n[A]\nx=1\n\n[B]\ny=2\n");
  ini.Set("a", "X", "9");       // replaces, keeping the section
  ini.Set("A", "z", "3");       // new key at the end of its section
  ini.Set("C", "w", "4");       // new section at the end
  EXPECT_EQ(ini.Text(), "; top\n[A]\nX=9\nz=3\n\n[B]\ny=2\n\n[C]\nw=4\n");
  ini.RemoveKey("b", "Y");
  ini.RemoveSection("a");
  EXPECT_EQ(ini.Text(), "; top\n[B]\n\n[C]\nw=4\n");
}

TEST(IniFile, KeepsWindowsLineEnds) {
  IniFile ini = IniFile::Parse("[A]\r\nx=1\r\n");
  ini.Set("A", "y", "2");
  EXPECT_EQ(ini.Text(), "[A]\r\nx=1\r\ny=2\r\n");
}

TEST(IniFile, ProfileCallsWorkOnFiles) {
  TempFolder temp;
  std::string path = temp.File("KQ.LOG");
  EXPECT_EQ(ReadProfileString(path, "ERRORLOG", "k", "default  "), "default");
  EXPECT_TRUE(WriteProfileString(path, "ERRORLOG", "k", "first"));
  EXPECT_TRUE(WriteProfileString(path, "ERRORLOG", "k", "second"));
  EXPECT_EQ(ReadProfileString(path, "errorlog", "K", ""), "second");
  EXPECT_FALSE(WriteProfileString(temp.File("no/such/folder/x.ini"), "a", "b", "c"));
}

}  // namespace
}  // namespace zv::platform
