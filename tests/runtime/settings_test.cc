#include "runtime/settings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/paths/temp_folder.h"
#include "runtime/attached/attached_data.h"
#include "runtime/builder/record_writer.h"

namespace zv {
namespace {

namespace fs = std::filesystem;

class SettingsTest : public ::testing::Test {
 protected:
  SettingsTest() {
    app = temp.Path() + "/app/";
    here = temp.Path() + "/here/";
    fs::create_directories(app);
    fs::create_directories(here);
  }
  void Write(const std::string& path, const std::string& text) { std::ofstream(path) << text; }
  void ReadSetup() { ReadSetupIni(settings, choices, app, here); }

  platform::TempFolder temp;
  std::string app, here;
  Settings settings;
  DisplayChoices choices;
};

TEST_F(SettingsTest, MissingFileGivesTheDefaults) {
  ReadSetup();
  EXPECT_EQ(settings.overdraw_mode, 1);
  EXPECT_EQ(settings.blit_flip_mode, 0);
  EXPECT_TRUE(choices.full_screen);
  EXPECT_FALSE(choices.windowed);
  EXPECT_FALSE(settings.debug_mode);
}

TEST_F(SettingsTest, OnlyAnExactOneSwitchesAFlag) {
  Write(app + "SETUP.INI", "[SETTINGS]\nBLITOVERDRAW=true\nBLITFLIPMODE=1\nVBCREATE=12abc\nWINDOWMODE=1\n");
  ReadSetup();
  EXPECT_EQ(settings.overdraw_mode, 1);
  EXPECT_EQ(settings.blit_flip_mode, 1);
  EXPECT_EQ(settings.vb_create, 12);
  EXPECT_TRUE(choices.windowed);
  EXPECT_FALSE(choices.full_screen);
}

TEST_F(SettingsTest, BlitOverdrawOneGivesMode2AndTheFileNameIsCaseBlind) {
  Write(app + "setup.ini", "[settings]\nblitoverdraw=1\n");
  ReadSetup();
  EXPECT_EQ(settings.overdraw_mode, 2);
}

TEST_F(SettingsTest, DebugModeDeletesTheLogOfTheCurrentFolder) {
  Write(app + "SETUP.INI", "[SETTINGS]\nDEBUGMODE=1\n");
  Write(here + "KQ.LOG", "old");
  ReadSetup();
  EXPECT_TRUE(settings.debug_mode);
  EXPECT_FALSE(fs::exists(here + "KQ.LOG"));
}

TEST_F(SettingsTest, RuntimeTestComesFromTheCurrentFolder) {
  Write(app + "SETUP.INI", "[SETTINGS]\nRUNTIMETEST=1\n");
  ReadSetup();
  EXPECT_FALSE(settings.runtime_test);
  Write(here + "SETUP.INI", "[SETTINGS]\nRUNTIMETEST=1\n");
  ReadSetup();
  EXPECT_TRUE(settings.runtime_test);
}

TEST_F(SettingsTest, StartupWindowPlacesAWindowedDisplay) {
  Write(here + "SETUP.INI", "[STARTUP]\nWINDOW=1\nWINPOSX=100\nWINPOSY=50\nWINSIZEX=320\nWINSIZEY=240\n");
  settings.window_mode_state = window_mode::kStarting;
  ReadStartupSettings(settings, choices, nullptr, here);
  EXPECT_EQ(settings.window_mode_state, 1);
  EXPECT_TRUE(choices.windowed);
  EXPECT_EQ(settings.window_left, 100);
  EXPECT_EQ(settings.window_top, 50);
  EXPECT_EQ(settings.window_width, 320);
  EXPECT_EQ(settings.window_height, 240);
}

TEST_F(SettingsTest, StartupIsReadOnlyWhileAGameStarts) {
  Write(here + "SETUP.INI", "[STARTUP]\nWINDOW=1\n");
  settings.window_mode_state = window_mode::kPlaced;
  ReadStartupSettings(settings, choices, nullptr, here);
  EXPECT_EQ(settings.window_mode_state, window_mode::kPlaced);
  EXPECT_FALSE(choices.windowed);
}

TEST_F(SettingsTest, AnAttachedSetupFileWins) {
  Write(here + "SETUP.INI", "[STARTUP]\nWINDOW=0\n");
  const std::string game = temp.File("game");
  Write(temp.File("stub"), "stub");
  std::FILE* out = std::fopen(game.c_str(), "wb");
  RecordWriter writer(out);
  const std::string ini = "[STARTUP]\nWINDOW=1\nWINSIZEX=200\n";
  ASSERT_TRUE(writer.WriteStub(temp.File("stub"), 0) && writer.AddRecord("prog", {}) &&
              writer.AddRecord("Setup.ini", std::vector<uint8_t>(ini.begin(), ini.end())) && writer.Finish());
  std::fclose(out);
  AttachedData attached(temp.Path() + "/");
  ASSERT_EQ(attached.Load(game, nullptr), AttachedData::LoadResult::kLoaded);
  settings.window_mode_state = window_mode::kStarting;
  ReadStartupSettings(settings, choices, &attached, here);
  EXPECT_EQ(settings.window_width, 200);
}

}  // namespace
}  // namespace zv
