#include "platform/window/sdl/x_server_watch.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/signals/ending_work.h"
#include "platform/signals/stop_signals.h"

namespace zv::platform {

// The display's name and the addresses where its server listens, as Xlib
// looks for them: a local display at its abstract socket, then at its
// socket file; one on a host over TCP.
struct XServerWatch::Server {
  struct Address {
    sockaddr_storage address{};
    socklen_t length = 0;
  };
  std::string display;
  std::vector<Address> addresses;
};

namespace {

constexpr int kFirstTcpPort = 6000;
// How long one sign of life is waited for, and how often it is asked for
// during start-up.
constexpr auto kAnswerWait = std::chrono::seconds(1);
constexpr auto kAskEvery = std::chrono::milliseconds(250);
constexpr auto kSignalGrace = std::chrono::seconds(1);
constexpr auto kLook = std::chrono::milliseconds(100);

XServerWatch::Server::Address UnixAddress(const std::string& path, bool abstract) {
  XServerWatch::Server::Address a;
  sockaddr_un un{};
  un.sun_family = AF_UNIX;
  const size_t offset = abstract ? 1 : 0;  // an abstract name begins with a zero byte
  std::memcpy(un.sun_path + offset, path.data(), std::min(path.size(), sizeof(un.sun_path) - 1 - offset));
  std::memcpy(&a.address, &un, sizeof(un));
  a.length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset + path.size());
  return a;
}

std::optional<XServerWatch::Server::Address> TcpAddress(const std::string& host, int display_number) {
  XServerWatch::Server::Address a;
  sockaddr_in in{};
  in.sin_family = AF_INET;
  in.sin_port = htons(static_cast<uint16_t>(kFirstTcpPort + display_number));
  if (::inet_pton(AF_INET, host == "localhost" ? "127.0.0.1" : host.c_str(), &in.sin_addr) != 1) return std::nullopt;
  std::memcpy(&a.address, &in, sizeof(in));
  a.length = sizeof(in);
  return a;
}

// The server DISPLAY names ("[host]:number[.screen]"), where a socket of
// this machine reaches it without a name lookup.
std::unique_ptr<XServerWatch::Server> NamedServer() {
  // With a Wayland compositor named, SDL may not use the X server at all.
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  const char* display = std::getenv("DISPLAY");
  if (!display || (wayland && *wayland)) return nullptr;
  const std::string name = display;
  const size_t colon = name.rfind(':');
  if (colon == std::string::npos) return nullptr;
  const std::string host = name.substr(0, colon);
  const std::string number_text = name.substr(colon + 1, name.find('.', colon) - colon - 1);
  if (number_text.empty() || number_text.size() > 4 || number_text.find_first_not_of("0123456789") != std::string::npos)
    return nullptr;
  const int number = std::atoi(number_text.c_str());
  auto server = std::make_unique<XServerWatch::Server>();
  server->display = name;
  if (host.empty() || host == "unix") {
    const std::string path = "/tmp/.X11-unix/X" + number_text;
    server->addresses = {UnixAddress(path, true), UnixAddress(path, false)};
  } else if (const auto tcp = TcpAddress(host, number)) {
    server->addresses = {*tcp};
  } else {
    return nullptr;
  }
  return server;
}

// The opening of a connection in the X protocol, without authorisation:
// any server that runs answers it, with its welcome or its refusal.
constexpr unsigned char kConnectionSetup[12] = {'l', 0, 11, 0, 0, 0, 0, 0, 0, 0, 0, 0};

std::string SignalName(int signal_number) {
  const char* abbreviation = ::sigabbrev_np(signal_number);
  return abbreviation ? std::string("SIG") + abbreviation : "signal " + std::to_string(signal_number);
}

void Say(const std::string& message) {
  const std::string line = "zentrovex: " + message + "\n";
  // From this thread only a plain write: the main thread may hold a lock
  // of the C streams.
  [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, line.data(), line.size());
}

}  // namespace

std::unique_ptr<XServerWatch> XServerWatch::Start(int start_failed_status, std::function<void()> before_end) {
  std::unique_ptr<Server> server = NamedServer();
  if (!server) return nullptr;
  return std::unique_ptr<XServerWatch>(new XServerWatch(std::move(server), start_failed_status, std::move(before_end)));
}

XServerWatch::XServerWatch(std::unique_ptr<Server> server, int start_failed_status, std::function<void()> before_end)
    : server_(std::move(server)), start_failed_status_(start_failed_status), before_end_(std::move(before_end)) {
  thread_ = std::thread([this] { Watch(); });
}

XServerWatch::~XServerWatch() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

void XServerWatch::StartedUp() {
  const std::lock_guard<std::mutex> lock(mutex_);
  starting_ = false;
}

void XServerWatch::Watch() {
  Clock::time_point last_answer = Clock::now();
  std::optional<Clock::time_point> signal_came;
  for (;;) {
    bool starting;
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      starting = starting_;
    }
    if (StopSignal() != 0 && !signal_came) {
      signal_came = Clock::now();
      // What the user would lose is kept at once, whatever the server does.
      KeepForEnding();
    }
    // Asked for only while something hangs on the answer.
    const bool ask = starting || signal_came;
    if (ask && Answers()) last_answer = Clock::now();
    const Clock::time_point now = Clock::now();
    if (signal_came && now - *signal_came >= kSignalGrace && last_answer < *signal_came)
      End("stopped by " + SignalName(StopSignal()) + " while the X server on DISPLAY=" + server_->display +
              " gave no answer",
          StopSignal());
    if (starting && now - last_answer >= kSilence)
      End("cannot open a window on DISPLAY=" + server_->display + ": the X server gave no answer for " +
              std::to_string(kSilence.count()) + " s",
          0);
    if (!Sleep(ask ? Clock::duration(kAskEvery) : Clock::duration(kLook))) return;
  }
}

bool XServerWatch::Answers() {
  const Clock::time_point until = Clock::now() + kAnswerWait;
  for (const Server::Address& a : server_->addresses) {
    const int fd = ::socket(a.address.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) continue;
    bool sent = false, answered = false;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&a.address), a.length) == 0 || errno == EINPROGRESS) {
      // Until the server answers, the bound passes, or the watch stops.
      for (;;) {
        pollfd p{fd, static_cast<short>(sent ? POLLIN : POLLOUT), 0};
        const int ready = ::poll(&p, 1, static_cast<int>(kLook.count()));
        if (ready > 0 && !sent) {
          sent = ::send(fd, kConnectionSetup, sizeof(kConnectionSetup), MSG_NOSIGNAL) == sizeof(kConnectionSetup);
          if (!sent) break;
        } else if (ready > 0) {
          unsigned char first = 0;
          answered = ::recv(fd, &first, 1, 0) == 1;
          break;
        }
        if (ready < 0 && errno != EINTR) break;
        const std::lock_guard<std::mutex> lock(mutex_);
        if (stopping_ || Clock::now() >= until) break;
      }
    }
    ::close(fd);
    // Where the connection was made the server was reached: its silence
    // is the answer, and the other address is not tried.
    if (answered || sent) return answered;
  }
  return false;
}

bool XServerWatch::Sleep(Clock::duration length) {
  std::unique_lock<std::mutex> lock(mutex_);
  return !wake_.wait_for(lock, length, [this] { return stopping_; });
}

void XServerWatch::End(const std::string& message, int signal_number) {
  Say(message);
  DoEndingWork();
  if (before_end_) before_end_();
  if (signal_number != 0) EndNowBySignal(signal_number);
  ::_exit(start_failed_status_);
}

}  // namespace zv::platform
