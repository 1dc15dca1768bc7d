// The desktop's clipboard in a real window, beside another program.
#include <SDL.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "platform/clipboard/clipboard.h"
#include "platform/window/sdl/sdl_window.h"
#include "tests/platform/clipboard/clipboard_text.h"

namespace zv::platform {
namespace {

// Another program that owns the desktop's clipboard (x11_clipboard_owner
// beside this test) with a text of `bytes` bytes, handed over in pieces of
// `piece` bytes; ended by its id when the test ends.
class OtherProgram {
 public:
  OtherProgram(const std::string& bytes, const std::string& piece) {
    const std::string path = std::filesystem::read_symlink("/proc/self/exe").parent_path() / "x11_clipboard_owner";
    int out[2];
    if (::pipe(out) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      ::dup2(out[1], STDOUT_FILENO);
      ::close(out[0]);
      ::execl(path.c_str(), path.c_str(), bytes.c_str(), piece.c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
    ::close(out[1]);
    output_ = ::fdopen(out[0], "r");
  }
  ~OtherProgram() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      ::waitpid(pid_, nullptr, 0);
    }
    if (output_) std::fclose(output_);
  }
  // Whether it says it owns the clipboard; false at once when it ended
  // without saying so.
  bool Ready() {
    char line[16] = {};
    return output_ && std::fgets(line, sizeof line, output_) && std::string(line) == "ready\n";
  }

 private:
  pid_t pid_ = -1;
  FILE* output_ = nullptr;
};

// Text copied in another program reaches this one whole, however large, as
// the other program hands it over: in pieces or at once.
TEST(ClipboardOnARealDesktop, ReadsAnyTextAnotherProgramOffers) {
  if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "no X display: run under tests/support/with_xvfb.sh";
  SDL_SetHint(SDL_HINT_VIDEODRIVER, "x11");
  SdlWindowOptions options;
  std::string error;
  const std::unique_ptr<Window> window = OpenSdlWindow(options, &error);
  ASSERT_TRUE(window) << error;
  auto clipboard = CreateSdlClipboard();
  for (const char* piece : {"4000", "0"}) {
    OtherProgram other("100000", piece);
    ASSERT_TRUE(other.Ready()) << "the other program could not take the clipboard";
    const std::optional<std::string> text = clipboard->GetUtf8Text();
    ASSERT_TRUE(text) << "pieces of " << piece;
    EXPECT_EQ(text->size(), 100000u) << "pieces of " << piece;
    EXPECT_TRUE(*text == test::ClipboardPattern(100000)) << "pieces of " << piece;
  }
  // What this program copies takes the place of what another copied, at
  // once, and reads back: its own window answers.
  OtherProgram other("100", "0");
  ASSERT_TRUE(other.Ready()) << "the other program could not take the clipboard";
  ASSERT_TRUE(clipboard->SetText("copied here"));
  EXPECT_EQ(clipboard->GetText(), "copied here");
}

}  // namespace
}  // namespace zv::platform
