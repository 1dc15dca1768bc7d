#include "platform/window/sdl/sdl_window.h"

#include <SDL.h>
#include <SDL_syswm.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <thread>

#include "platform/window/sdl/x_probe.h"
#include "tests/display/x11_window_state.h"
// Last: its macros (None, Bool ...) clash with names in the headers above.
#include <X11/Xlib.h>

namespace zv::platform {
namespace {

TEST(SdlWindow, KeysAreNumberedByPosition) {
  EXPECT_EQ(KeyNumberOfScancode(SDL_SCANCODE_ESCAPE), key::kEscape);
  EXPECT_EQ(KeyNumberOfScancode(SDL_SCANCODE_F11), key::kF11);
  EXPECT_EQ(KeyNumberOfScancode(SDL_SCANCODE_F12), key::kF12);
  EXPECT_EQ(KeyNumberOfScancode(SDL_SCANCODE_A), 'A');
  EXPECT_EQ(KeyNumberOfScancode(SDL_SCANCODE_0), '0');
  EXPECT_EQ(KeyNumberOfScancode(SDL_SCANCODE_RETURN), key::kEnter);
}

// Sets the environment's variables for its lifetime, and then puts back
// what was there.
class Environment {
 public:
  explicit Environment(std::map<std::string, const char*> values) {
    for (const auto& [name, value] : values) {
      const char* was = std::getenv(name.c_str());
      saved_[name] = was ? std::optional<std::string>(was) : std::nullopt;
      value ? ::setenv(name.c_str(), value, 1) : ::unsetenv(name.c_str());
    }
  }
  ~Environment() {
    for (const auto& [name, value] : saved_) value ? ::setenv(name.c_str(), value->c_str(), 1) : ::unsetenv(name.c_str());
  }

 private:
  std::map<std::string, std::optional<std::string>> saved_;
};

// Without a display named a run goes on headless; a display named that
// cannot be reached is a failure that says so.
TEST(SdlWindow, WithoutADisplayNoWindowOpensAndTheErrorSaysWhy) {
  struct Case {
    const char* display;
    const char* video_driver;
    bool named;
    const char* error;
  };
  for (const Case& c : {Case{nullptr, nullptr, false, "no display"}, Case{":0", "dummy", false, "no display"},
                        Case{":nobody", nullptr, true, "cannot open a window on DISPLAY=:nobody: no X server answers"}}) {
    SCOPED_TRACE(c.display ? c.display : "no DISPLAY");
    const Environment environment({{"DISPLAY", c.display}, {"WAYLAND_DISPLAY", nullptr}, {"SDL_VIDEODRIVER", c.video_driver}});
    EXPECT_EQ(DisplayNamed(), c.named);
    std::string error;
    EXPECT_EQ(OpenSdlWindow({}, &error), nullptr);
    EXPECT_NE(error.find(c.error), std::string::npos) << error;
  }
}

// The X server watch's probe against the test's own server (an abstract socket): it
// sends the user's cookie and asks every question over its first connection, never
// leaving it (a server without -noreset starts over once its last client leaves).
// An address that nobody listens at comes first.
TEST(XProbe, AsksOverOneConnectionWithTheUsersCookie) {
  const int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  int number = 5999;  // the first display number nobody listens at: an abstract name, "/tmp/.X11-unix/X6..."
  sockaddr_un a{AF_UNIX, {}};
  do std::memcpy(a.sun_path + 1, ("/tmp/.X11-unix/X" + std::to_string(++number)).data(), 20);
  while (::bind(listener, reinterpret_cast<sockaddr*>(&a), offsetof(sockaddr_un, sun_path) + 21) != 0 && number < 6999);
  ASSERT_EQ(::listen(listener, 4), 0);
  // The user's authority file, a cookie for any display, in no folder.
  const std::string cookie = "0123456789abcdef", entry = std::string("\xff\xff\0\0\0\0\0\x12MIT-MAGIC-COOKIE-1\0\x10", 28);
  const int file = ::memfd_create("authority", MFD_CLOEXEC);
  ASSERT_EQ(::write(file, (entry + cookie).data(), 44), 44);
  const std::string display = ":" + std::to_string(number), authority = "/proc/self/fd/" + std::to_string(file);
  const Environment environment({{"DISPLAY", display.c_str()}, {"XAUTHORITY", authority.c_str()}, {"WAYLAND_DISPLAY", nullptr}});
  std::optional<XProbe::Server> named = XProbe::Named();
  ASSERT_TRUE(named);
  // An address before it where nobody listens (as a name's IPv6 one may be)
  // is passed over.
  XProbe::Address nobody;
  sockaddr_in in{AF_INET, htons(1), {htonl(INADDR_LOOPBACK)}, {}};
  std::memcpy(&nobody.address, &in, sizeof in);
  nobody.length = sizeof in;
  named->addresses.insert(named->addresses.begin(), nobody);
  XProbe probe(std::move(*named));
  const auto ask = [&probe](int ms) { return probe.Answers(XProbe::Clock::now() + std::chrono::milliseconds(ms), [] { return false; }); };
  const auto take = [](int fd, size_t n) {
    std::string got(n, '\0');
    ::recv(fd, got.data(), n, MSG_WAITALL);
    return got;
  };
  EXPECT_FALSE(ask(0));  // silent
  const int server = ::accept(listener, nullptr, nullptr);
  ASSERT_GE(server, 0);
  const timeval bound{5, 0};  // no read of the test's waits for ever
  ::setsockopt(server, SOL_SOCKET, SO_RCVTIMEO, &bound, sizeof(bound));
  EXPECT_EQ(take(server, 48).substr(32), cookie);
  EXPECT_FALSE(ask(0));                                  // silent still
  ASSERT_EQ(::send(server, "\1", 1, MSG_NOSIGNAL), 1);  // the welcome
  EXPECT_TRUE(ask(5000));
  std::thread answer([&] { take(server, 4), ::send(server, std::string(32, '\1').data(), 32, MSG_NOSIGNAL); });
  EXPECT_TRUE(ask(5000));
  answer.join();
  EXPECT_LT(::accept(listener, nullptr, nullptr), 0);  // nothing made anew
  for (const int fd : {server, listener, file}) ::close(fd);
}

// Every form of a display's name that X takes, as the watch reads it.
TEST(XProbe, ReadsEveryNameXTakes) {
  struct Case {
    const char* name;
    bool taken, local = false;
    const char* host = "";
    const char* number = "";
  };
  for (const Case& c : {Case{":0", true, true, "", "0"}, Case{"unix/:12", true, true, "", "12"},
                        Case{"unix:3.1", true, true, "unix", "3"}, Case{"localhost:10.0", true, false, "localhost", "10"},
                        Case{"tcp/box.lan:2", true, false, "box.lan", "2"}, Case{"[::1]:4", true, false, "::1", "4"},
                        Case{"box::0", false}, Case{"box:", false}, Case{"ipx/box:0", false}}) {
    SCOPED_TRACE(c.name);
    const std::optional<XProbe::NameParts> parts = XProbe::Parse(c.name);
    ASSERT_EQ(parts.has_value(), c.taken);
    if (!parts) continue;
    EXPECT_EQ(parts->local, c.local);
    EXPECT_EQ(parts->host, c.host);
    EXPECT_EQ(parts->number, c.number);
  }
}

// Takes the window's events until `done` holds (or half a minute passes,
// what a loaded machine may take); whether it came to hold.
bool PumpUntil(Window& window, const std::function<bool(const WindowEvent&)>& done) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (std::chrono::steady_clock::now() < end) {
    WindowEvent event;
    while (window.PollEvent(&event))
      if (done(event)) return true;
    if (done(WindowEvent{})) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
  }
  return false;
}

// The keyboard grab seen from another client of the X server: while the
// window holds the keyboard, nobody else (the window manager's task-switch
// keys included) can take it.
TEST(SdlWindowUnderAWindowManager, HoldsTheKeyboardWhileAskedAndLetsGo) {
  if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "no X display";
  if (!test::X11WindowManagerRunning()) GTEST_SKIP() << "no window manager: run under tests/support/with_window_manager.sh";
  SDL_SetHint(SDL_HINT_VIDEODRIVER, "x11");
  std::string error;
  std::unique_ptr<Window> window = OpenSdlWindow({}, &error);
  ASSERT_NE(window, nullptr) << error;
  window->Show();
  ASSERT_TRUE(PumpUntil(*window, [](const WindowEvent& e) { return e.kind == WindowEventKind::kActivate; }));

  Display* other = XOpenDisplay(nullptr);
  ASSERT_NE(other, nullptr);
  auto others_can_grab = [other] {
    const int result = XGrabKeyboard(other, DefaultRootWindow(other), False, GrabModeAsync, GrabModeAsync, CurrentTime);
    if (result == GrabSuccess) XUngrabKeyboard(other, CurrentTime);
    XSync(other, False);
    return result == GrabSuccess;
  };
  EXPECT_TRUE(others_can_grab());
  window->GrabKeyboard(true);
  EXPECT_TRUE(PumpUntil(*window, [&](const WindowEvent&) { return !others_can_grab(); }));
  window->GrabKeyboard(false);
  EXPECT_TRUE(PumpUntil(*window, [&](const WindowEvent&) { return others_can_grab(); }));
  XCloseDisplay(other);
}

// The window shown is the one the program draws on: the renderer finds it
// as it needs it, so no window of the run appears and goes at once (a
// desktop, or a tool looking for the run's window, would catch that one).
TEST(SdlWindowUnderAWindowManager, TheRendererKeepsTheWindowThatShows) {
  if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "no X display";
  SDL_SetHint(SDL_HINT_VIDEODRIVER, "x11");
  std::string error;
  std::unique_ptr<Window> window = OpenSdlWindow({}, &error);
  ASSERT_NE(window, nullptr) << error;
  auto* native = static_cast<SDL_Window*>(window->NativeHandle());
  const auto x_window = [native] {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    return SDL_GetWindowWMInfo(native, &info) ? info.info.x11.window : 0;
  };
  const auto shown = x_window();
  SDL_Renderer* renderer = SDL_CreateRenderer(native, -1, 0);
  ASSERT_NE(renderer, nullptr) << SDL_GetError();
  EXPECT_EQ(x_window(), shown);
  SDL_DestroyRenderer(renderer);
}

}  // namespace
}  // namespace zv::platform
