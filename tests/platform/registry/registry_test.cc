// The registry kept in an INI file: values persist, names match without
// regard to case, and any name survives the file's syntax.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/ini/ini_file.h"
#include "platform/registry/registry.h"

namespace zv::platform {
namespace {

namespace fs = std::filesystem;

class RegistryFile : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() / ("zv_registry_" + std::to_string(::getpid()));
    fs::remove_all(folder_);
  }
  void TearDown() override { fs::remove_all(folder_); }
  Registry Open() const { return Registry::InFolder((folder_ / "reg").string()); }
  fs::path folder_;
};

TEST_F(RegistryFile, ValuesPersistAcrossInstancesAndMatchWithoutCase) {
  EXPECT_TRUE(Open().WriteDword("Software\\Game", "Score", 42));
  EXPECT_TRUE(Open().WriteDword("Software\\Game", "Lives", 0xffffffff));
  EXPECT_TRUE(fs::exists(Open().Path()));
  const Registry later = Open();
  EXPECT_EQ(later.ReadDword("SOFTWARE\\game", "score"), 42u);
  EXPECT_EQ(later.ReadDword("Software\\Game", "Lives"), 0xffffffffu);
  EXPECT_EQ(later.ReadDword("Software\\Game", "Missing"), std::nullopt);
  EXPECT_EQ(later.ReadDword("Software\\Other", "Score"), std::nullopt);
}

TEST_F(RegistryFile, WritingAgainReplacesTheValue) {
  const Registry r = Open();
  r.WriteDword("K", "V", 1);
  r.WriteDword("k", "v", 2);
  EXPECT_EQ(r.ReadDword("K", "V"), 2u);
  EXPECT_EQ(IniFile::Load(r.Path()).Keys(EncodeRegistryName("K")).size(), 1u);
}

TEST_F(RegistryFile, NamesWithTheSyntaxOfTheFileSurvive) {
  const Registry r = Open();
  const char* names[] = {"", " lead", "trail ", "a=b", "[x]", ";c", "100%", "line\nbreak", "@", "q\"uote"};
  uint32_t value = 1;
  for (const char* name : names) {
    EXPECT_TRUE(r.WriteDword(std::string("Key ") + name, name, value));
    EXPECT_EQ(r.ReadDword(std::string("Key ") + name, name), value) << "[" << name << "]";
    ++value;
  }
  // Names that differ only by an escape stay apart.
  EXPECT_NE(EncodeRegistryName("%41"), EncodeRegistryName("A"));
}

TEST_F(RegistryFile, AValueThatIsNotADwordReadsAsAbsent) {
  const Registry r = Open();
  r.WriteDword("K", "V", 5);
  IniFile ini = IniFile::Load(r.Path());
  ini.Set("K", "V", "dword:xyz");
  ini.Set("K", "W", "dword:123456789");
  ASSERT_TRUE(ini.Save(r.Path()));
  EXPECT_EQ(r.ReadDword("K", "V"), std::nullopt);
  EXPECT_EQ(r.ReadDword("K", "W"), std::nullopt);
}

TEST_F(RegistryFile, AFolderThatCannotBeMadeFailsTheWrite) {
  fs::create_directories(folder_);
  std::ofstream(folder_ / "file") << "x";
  EXPECT_FALSE(Registry::InFolder((folder_ / "file" / "reg").string()).WriteDword("K", "V", 1));
}

}  // namespace
}  // namespace zv::platform
