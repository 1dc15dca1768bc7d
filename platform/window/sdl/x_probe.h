#pragma once

#include <sys/socket.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace zv::platform {

// A connection of our own to the X server, made with plain sockets so that
// no step of it waits without a bound: it tells a server that answers from
// a silent one. It is made with the user's authorisation, as Xlib makes
// one, so that the server takes it as a client, and it stays open for as
// long as the probe lives; each later question goes over it. A server
// started without -noreset starts over whenever its last client leaves,
// and drops every connection being made meanwhile (the window's): a probe
// that came and went would make it do so under the run's start.
class XProbe {
 public:
  using Clock = std::chrono::steady_clock;
  struct Address {
    sockaddr_storage address{};
    socklen_t length = 0;
  };
  // The display's name, the addresses where its server listens, and the
  // authorisation that the user's authority file holds for it.
  struct Server {
    std::string display;
    std::vector<Address> addresses;
    std::string auth_name;
    std::string auth_data;
  };

  // A display's name as X reads it, [protocol/][host]:number[.screen]:
  // `local` for a server on this machine's sockets (no host, "unix", or the
  // protocol "unix" or "local"), else reached over the network ("tcp",
  // "inet", "inet6", or a host with no protocol).
  struct NameParts {
    std::string protocol;
    std::string host;
    std::string number;
    bool local = false;
  };
  // Nothing for a name X does not take (no number, DECnet's "host::N").
  static std::optional<NameParts> Parse(const std::string& name);

  // The server DISPLAY names, in every form X takes (":N", "unix/:N",
  // "localhost:N", "host:N", "tcp/host:N", "[::1]:N"), a host's name
  // looked up as Xlib looks it up; nothing where the name is none of those
  // or its host is not found, or with a Wayland compositor named. It reads
  // the authority file: call it before any thread of Xlib's, which keeps
  // the file's name where a second reader would overwrite it.
  static std::optional<Server> Named();

  explicit XProbe(Server server) : server_(std::move(server)) {}
  ~XProbe() { Close(); }
  XProbe(const XProbe&) = delete;
  XProbe& operator=(const XProbe&) = delete;

  const std::string& DisplayName() const { return server_.display; }
  // Asks the server for a sign of life and waits for it until `until`, or
  // until `stop` says so; whether it came. The first question opens the
  // connection; one not answered yet is waited on again, never made anew.
  bool Answers(Clock::time_point until, const std::function<bool()>& stop);
  // Takes what the server sends unasked (events every client gets), so
  // that nothing of ours piles up at the server.
  void Drain();

 private:
  enum class State { kClosed, kConnecting, kSetUp, kWelcomed, kRefused };
  void Connect();
  void Close();
  // Takes everything waiting; whether anything came. The end of the
  // connection closes it.
  bool Take();

  Server server_;
  size_t address_ = 0;  // the address being connected to
  int fd_ = -1;
  State state_ = State::kClosed;
};

}  // namespace zv::platform
