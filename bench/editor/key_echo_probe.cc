// Types keys into a window and times each one's echo: from the key sent
// (through the X server's test extension, as a keyboard would) to the first
// change of the window's pixels in a band, read back from the X server. Each
// key waits for the echo of the one before, then for a pause as a typist's.
// The keys are "x" and Backspace in turn: each moves the rest of the line by
// a character, and the caret stays left of the band, whose blinking would
// pass for an echo.
//
//   key_echo_probe WINDOW_ID PID KEYS [X Y WIDTH HEIGHT]
//
// Prints the echoes' median, 95th percentile and worst in milliseconds, how
// many took 150 ms or more, and the processor time the process PID spent per
// key. The band defaults to the editor's first text row, right of its first
// characters.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <dlfcn.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
// The test extension's one call used, found at run time: its library comes
// with xdotool, its headers with no package installed here.
using FakeKeyEvent = int (*)(Display*, unsigned int, Bool, unsigned long);

constexpr double kSlowMs = 150;
constexpr auto kPause = std::chrono::milliseconds(40);
constexpr auto kMostWait = std::chrono::seconds(10);

// The band's pixels, or empty when the window cannot be read.
std::vector<char> Pixels(Display* display, Window window, int x, int y, unsigned width, unsigned height) {
  XImage* image = XGetImage(display, window, x, y, width, height, AllPlanes, ZPixmap);
  if (!image) return {};
  std::vector<char> pixels(image->data, image->data + static_cast<size_t>(image->bytes_per_line) * height);
  XDestroyImage(image);
  return pixels;
}

// Processor time of the process in milliseconds (user and system).
double ProcessorMs(const std::string& pid) {
  std::ifstream in("/proc/" + pid + "/stat");
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const size_t end = text.rfind(')');
  if (end == std::string::npos) return 0;
  // Fields after the name: state is the 3rd, utime the 14th, stime the 15th.
  std::vector<std::string> fields;
  for (size_t at = end + 2; at < text.size();) {
    const size_t space = text.find(' ', at);
    fields.push_back(text.substr(at, space - at));
    if (space == std::string::npos) break;
    at = space + 1;
  }
  if (fields.size() < 13) return 0;
  return (std::stod(fields[11]) + std::stod(fields[12])) * 1000.0 / static_cast<double>(sysconf(_SC_CLK_TCK));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4 && argc != 8) {
    std::fprintf(stderr, "usage: %s WINDOW_ID PID KEYS [X Y WIDTH HEIGHT]\n", argv[0]);
    return 2;
  }
  const Window window = std::strtoul(argv[1], nullptr, 0);
  const std::string pid = argv[2];
  const int keys = std::atoi(argv[3]);
  const int x = argc == 8 ? std::atoi(argv[4]) : 24, y = argc == 8 ? std::atoi(argv[5]) : 43;
  const unsigned width = argc == 8 ? std::strtoul(argv[6], nullptr, 10) : 580;
  const unsigned height = argc == 8 ? std::strtoul(argv[7], nullptr, 10) : 13;
  void* xtst = dlopen("libXtst.so.6", RTLD_NOW);
  const auto fake_key = xtst ? reinterpret_cast<FakeKeyEvent>(dlsym(xtst, "XTestFakeKeyEvent")) : nullptr;
  Display* display = XOpenDisplay(nullptr);
  if (!fake_key || !display) {
    std::fprintf(stderr, "needs the X server's test extension (libXtst.so.6) and $DISPLAY\n");
    return 2;
  }
  const unsigned keycodes[] = {XKeysymToKeycode(display, XK_x), XKeysymToKeycode(display, XK_BackSpace)};
  // The program's text is drawn once the band holds more than one colour.
  for (const auto start = Clock::now();;) {
    const std::vector<char> pixels = Pixels(display, window, x, y, width, height);
    if (pixels.size() >= 8 && std::any_of(pixels.begin(), pixels.end(), [&pixels](char c) { return c != pixels[0]; }))
      break;
    if (Clock::now() - start > std::chrono::seconds(60)) {
      std::fprintf(stderr, "the window shows no text\n");
      return 1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  std::vector<double> echoes;
  const double processor_before = ProcessorMs(pid);
  for (int i = 0; i < keys; ++i) {
    const std::vector<char> before = Pixels(display, window, x, y, width, height);
    if (before.empty()) {
      std::fprintf(stderr, "the window cannot be read\n");
      return 1;
    }
    const auto sent = Clock::now();
    const unsigned keycode = keycodes[i % 2];
    fake_key(display, keycode, True, CurrentTime);
    fake_key(display, keycode, False, CurrentTime);
    XFlush(display);
    for (;;) {
      if (Pixels(display, window, x, y, width, height) != before) break;
      if (Clock::now() - sent > kMostWait) {
        std::fprintf(stderr, "key %d was never echoed\n", i + 1);
        return 1;
      }
    }
    echoes.push_back(std::chrono::duration<double, std::milli>(Clock::now() - sent).count());
    std::this_thread::sleep_for(kPause);
  }
  const double processor_ms = ProcessorMs(pid) - processor_before;
  std::vector<double> sorted = echoes;
  std::sort(sorted.begin(), sorted.end());
  const auto at = [&sorted](double share) { return sorted[static_cast<size_t>(share * static_cast<double>(sorted.size() - 1))]; };
  const auto slow = std::count_if(sorted.begin(), sorted.end(), [](double ms) { return ms >= kSlowMs; });
  std::printf("%d keys: echo median %.1f ms, 95%% %.1f ms, worst %.1f ms, %ld at 150 ms or more; %.2f ms of processor a key\n",
              keys, at(0.5), at(0.95), sorted.back(), static_cast<long>(slow), processor_ms / keys);
  XCloseDisplay(display);
  return 0;
}
