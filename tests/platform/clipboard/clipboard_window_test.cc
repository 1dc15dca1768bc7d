// The desktop's clipboard in a real window, beside another program.
#include <SDL.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "platform/clipboard/clipboard.h"
#include "platform/window/sdl/sdl_window.h"

namespace zv::platform {
namespace {

// x11_clipboard_owner, beside this suite, owning the clipboard with a text
// handed over in pieces of `piece` bytes; ended by its id.
class OtherProgram {
 public:
  explicit OtherProgram(size_t piece) {
    const std::string path = std::filesystem::read_symlink("/proc/self/exe").parent_path() / "x11_clipboard_owner";
    const std::string arg = std::to_string(piece);
    int out[2];
    if (pipe(out) != 0) return;
    if ((pid_ = fork()) == 0) {
      dup2(out[1], STDOUT_FILENO);
      execl(path.c_str(), path.c_str(), arg.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    close(out[1]);
    char ready[6] = {};
    owns_ = read(out[0], ready, 6) == 6;  // at once when it ended without owning
    close(out[0]);
  }
  ~OtherProgram() { kill(pid_, SIGTERM), waitpid(pid_, nullptr, 0); }
  bool owns_ = false;

 private:
  pid_t pid_ = -1;
};

// Text copied in another program reaches this one whole, however large, as
// the other program hands it over: in pieces or at once.
TEST(ClipboardOnARealDesktop, ReadsAnyTextAnotherProgramOffers) {
  if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "no X display: run under tests/support/with_xvfb.sh";
  SDL_SetHint(SDL_HINT_VIDEODRIVER, "x11");
  std::string error;
  const std::unique_ptr<Window> window = OpenSdlWindow(SdlWindowOptions{}, &error);
  ASSERT_TRUE(window) << error;
  auto clipboard = CreateSdlClipboard();
  std::string copied(100000, ' ');  // as the other program makes it
  for (size_t i = 0; i < copied.size(); ++i) copied[i] = static_cast<char>('a' + i / 1000 % 26);
  for (const size_t piece : {4000, 0}) {
    OtherProgram other(piece);
    ASSERT_TRUE(other.owns_);
    const std::optional<std::string> text = clipboard->GetUtf8Text();
    EXPECT_TRUE(text == copied) << "pieces of " << piece << ": " << (text ? text->size() : 0);
  }
  // What this program copies takes the place of what another copied, at
  // once, and reads back: its own window answers.
  OtherProgram other(0);
  ASSERT_TRUE(other.owns_ && clipboard->SetText("copied here"));
  EXPECT_EQ(clipboard->GetText(), "copied here");
}

}  // namespace
}  // namespace zv::platform
