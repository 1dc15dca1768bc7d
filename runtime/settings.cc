#include "runtime/settings.h"

#include <unistd.h>


#include "platform/ini/ini_file.h"
#include "platform/paths/path_resolver.h"
#include "runtime/attached/attached_data.h"
#include "runtime/vm/numeric/number_parse.h"

namespace zv {
namespace {

constexpr char kSettings[] = "SETTINGS";
constexpr char kStartup[] = "STARTUP";

// The file of `folder` as spelled if it exists, else the one that matches
// without regard to case.
std::string FindFile(const std::string& folder, const char* name) { return platform::Paths().ResolveFrom(folder, name); }

std::string Read(const std::string& file, const char* section, const char* key, const char* fallback) {
  return platform::ReadProfileString(file, section, key, fallback);
}

void DeleteLog(const std::string& current_folder) { ::unlink(FindFile(current_folder, "KQ.LOG").c_str()); }

}  // namespace

void ReadSetupIni(Settings& s, DisplayChoices& choices, const std::string& app_folder,
                  const std::string& current_folder) {
  const std::string file = FindFile(app_folder, "SETUP.INI");
  s.blit_flip_mode = Read(file, kSettings, "BLITFLIPMODE", "0") == "1" ? 1 : 0;
  s.overdraw_mode = Read(file, kSettings, "BLITOVERDRAW", "0") == "1" ? 2 : 1;
  s.vb_create = ParseLeadingInt(Read(file, kSettings, "VBCREATE", "0"));
  s.vb_usage = ParseLeadingInt(Read(file, kSettings, "VBUSAGE", "0"));
  s.overlay_3d = ParseLeadingInt(Read(file, kSettings, "3DOVERLAY", "0"));
  if (Read(file, kSettings, "WINDOWMODE", "0") == "1") {
    choices.windowed = true;
    choices.full_screen = false;
  }
  if (Read(file, kSettings, "DEBUGMODE", "0") == "1") {
    DeleteLog(current_folder);
    s.debug_mode = true;
  }
  if (Read(file, kSettings, "TRACEMODE", "0") == "1") {
    DeleteLog(current_folder);
    s.trace_mode = true;
  }
  const std::string local = FindFile(current_folder, "SETUP.INI");
  if (Read(local, kSettings, "RUNTIMETEST", "0") == "1") {
    DeleteLog(current_folder);
    s.runtime_test = true;
  }
}

void ReadStartupSettings(Settings& s, DisplayChoices& choices, AttachedData* attached,
                         const std::string& current_folder) {
  if (s.window_mode_state != window_mode::kStarting) return;
  std::string file = "setup.ini";
  if (!attached || !attached->ResolveVirtualFile(file, "dat")) file = FindFile(current_folder, "SETUP.INI");
  s.window_mode_state = ParseLeadingInt(Read(file, kStartup, "WINDOW", "0"));
  if (s.window_mode_state != window_mode::kFromSettings) return;
  choices.windowed = true;
  choices.full_screen = false;
  s.window_left = ParseLeadingInt(Read(file, kStartup, "WINPOSX", "0"));
  s.window_top = ParseLeadingInt(Read(file, kStartup, "WINPOSY", "0"));
  s.window_width = ParseLeadingInt(Read(file, kStartup, "WINSIZEX", "0"));
  s.window_height = ParseLeadingInt(Read(file, kStartup, "WINSIZEY", "0"));
}

}  // namespace zv
