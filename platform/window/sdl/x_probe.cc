#include "platform/window/sdl/x_probe.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>

// Last: their macros (None, Success ...) clash with names in other headers.
#include <X11/X.h>

#include "platform/window/sdl/x11_library.h"

namespace zv::platform {
namespace {

constexpr int kFirstTcpPort = 6000;
constexpr int kLookMs = 100;
constexpr unsigned char kSetUpSuccess = 1;
constexpr char kCookieName[] = "MIT-MAGIC-COOKIE-1";
// GetInputFocus: the smallest request that has a reply.
constexpr unsigned char kAskFocus[4] = {43, 0, 1, 0};

XProbe::Address UnixAddress(const std::string& path, bool abstract) {
  XProbe::Address a;
  sockaddr_un un{};
  un.sun_family = AF_UNIX;
  const size_t offset = abstract ? 1 : 0;  // an abstract name begins with a zero byte
  std::memcpy(un.sun_path + offset, path.data(), std::min(path.size(), sizeof(un.sun_path) - 1 - offset));
  std::memcpy(&a.address, &un, sizeof(un));
  a.length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset + path.size());
  return a;
}

// The addresses where a server listens on the network, `host` looked up as
// Xlib looks it up: a numeric address, or a name (localhost, this
// machine's own, another's); IPv6 alone for the protocol "inet6".
std::vector<XProbe::Address> TcpAddresses(const std::string& host, int display_number, bool ipv6_only) {
  addrinfo hints{};
  hints.ai_family = ipv6_only ? AF_INET6 : AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const std::string port = std::to_string(kFirstTcpPort + display_number);
  std::vector<XProbe::Address> addresses;
  if (::getaddrinfo(host.c_str(), port.c_str(), &hints, &found) != 0) return addresses;
  for (const addrinfo* a = found; a; a = a->ai_next) {
    if (a->ai_addrlen > sizeof(sockaddr_storage)) continue;
    XProbe::Address address;
    std::memcpy(&address.address, a->ai_addr, a->ai_addrlen);
    address.length = a->ai_addrlen;
    addresses.push_back(address);
  }
  ::freeaddrinfo(found);
  // IPv4 first, where a server listens most often.
  std::stable_partition(addresses.begin(), addresses.end(),
                        [](const XProbe::Address& a) { return a.address.ss_family == AF_INET; });
  return addresses;
}

// The user's cookie for the display, where the authority file holds one,
// looked up as Xlib does: by this machine's name for a local display (the
// loopback address included), else by the server's address.
void LookUpAuthorisation(XProbe::Server& server, const XProbe::Address* tcp, const std::string& number) {
  char host[256] = {};
  std::string address;
  unsigned family = FamilyLocal;
  sockaddr_in in{};
  sockaddr_in6 in6{};
  if (tcp && tcp->address.ss_family == AF_INET) std::memcpy(&in, &tcp->address, sizeof(in));
  if (tcp && tcp->address.ss_family == AF_INET6) std::memcpy(&in6, &tcp->address, sizeof(in6));
  if (tcp && tcp->address.ss_family == AF_INET && in.sin_addr.s_addr != htonl(INADDR_LOOPBACK)) {
    family = FamilyInternet;
    address.assign(reinterpret_cast<const char*>(&in.sin_addr), sizeof(in.sin_addr));
  } else if (tcp && tcp->address.ss_family == AF_INET6 && !IN6_IS_ADDR_LOOPBACK(&in6.sin6_addr)) {
    family = FamilyInternet6;
    address.assign(reinterpret_cast<const char*>(&in6.sin6_addr), sizeof(in6.sin6_addr));
  } else if (::gethostname(host, sizeof(host) - 1) == 0) {
    address = host;
  } else {
    return;
  }
  char* names[] = {const_cast<char*>(kCookieName)};
  const int name_lengths[] = {static_cast<int>(std::strlen(kCookieName))};
  // Without the authority library there is no cookie to show, as where
  // the authority file holds none.
  const XauLibrary* library = nullptr;
  try {
    library = &Xau();
  } catch (const LibraryMissing&) {
    return;
  }
  Xauth* auth =
      library->XauGetBestAuthByAddr(family, static_cast<unsigned>(address.size()), address.data(),
                                    static_cast<unsigned>(number.size()), number.data(), 1, names, name_lengths);
  if (!auth) return;
  server.auth_name.assign(auth->name, auth->name_length);
  server.auth_data.assign(auth->data, auth->data_length);
  library->XauDisposeAuth(auth);
}

// The opening of a connection in the X protocol (version 11.0, least
// significant byte first), with the authorisation padded to whole words.
std::string SetUpMessage(const XProbe::Server& server) {
  const auto u16 = [](size_t n) { return std::string{static_cast<char>(n & 0xFF), static_cast<char>(n >> 8)}; };
  const auto padded = [](const std::string& s) { return s + std::string((4 - s.size() % 4) % 4, '\0'); };
  return std::string{'l', 0} + u16(11) + u16(0) + u16(server.auth_name.size()) + u16(server.auth_data.size()) +
         u16(0) + padded(server.auth_name) + padded(server.auth_data);
}

}  // namespace

std::optional<XProbe::NameParts> XProbe::Parse(const std::string& name) {
  // [protocol/][host]:number[.screen]; "host::number" is DECnet, which
  // nothing here speaks.
  const size_t colon = name.rfind(':');
  if (colon == std::string::npos || (colon > 0 && name[colon - 1] == ':' && name[0] != '[')) return std::nullopt;
  NameParts parsed;
  std::string host = name.substr(0, colon);
  if (const size_t slash = host.find('/'); slash != std::string::npos) {
    parsed.protocol = host.substr(0, slash);
    host.erase(0, slash + 1);
  }
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
  parsed.host = host;
  parsed.number = name.substr(colon + 1, name.find('.', colon) - colon - 1);
  if (parsed.number.empty() || parsed.number.size() > 4 ||
      parsed.number.find_first_not_of("0123456789") != std::string::npos)
    return std::nullopt;
  const std::string& p = parsed.protocol;
  const bool local = p == "unix" || p == "local" || (p.empty() && (host.empty() || host == "unix"));
  if (!local && !p.empty() && p != "tcp" && p != "inet" && p != "inet6") return std::nullopt;
  parsed.local = local;
  return parsed;
}

std::optional<XProbe::Server> XProbe::Named() {
  // With a Wayland compositor named, SDL may not use the X server at all.
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  const char* display = std::getenv("DISPLAY");
  if (!display || (wayland && *wayland)) return std::nullopt;
  const std::optional<NameParts> parsed = Parse(display);
  if (!parsed) return std::nullopt;
  Server server;
  server.display = display;
  if (parsed->local) {
    const std::string path = "/tmp/.X11-unix/X" + parsed->number;
    server.addresses = {UnixAddress(path, true), UnixAddress(path, false)};
  } else {
    server.addresses = TcpAddresses(parsed->host, std::atoi(parsed->number.c_str()), parsed->protocol == "inet6");
    if (server.addresses.empty()) return std::nullopt;
  }
  LookUpAuthorisation(server, parsed->local ? nullptr : &server.addresses.front(), parsed->number);
  return server;
}

bool XProbe::Answers(Clock::time_point until, const std::function<bool()>& stop) {
  // A refused connection is at its end: the next question needs another.
  if (state_ == State::kRefused) Close();
  if (state_ == State::kClosed) Connect();
  if (state_ == State::kWelcomed) {
    Take();  // what came before the question is no answer to it
    if (state_ == State::kWelcomed &&
        ::send(fd_, kAskFocus, sizeof(kAskFocus), MSG_NOSIGNAL) != static_cast<ssize_t>(sizeof(kAskFocus)))
      Close();
  }
  while (state_ != State::kClosed) {
    pollfd p{fd_, static_cast<short>(state_ == State::kConnecting ? POLLOUT : POLLIN), 0};
    const int ready = ::poll(&p, 1, kLookMs);
    if (ready > 0 && state_ == State::kConnecting) {
      int error = 0;
      socklen_t length = sizeof error;
      ::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &length);
      const std::string message = SetUpMessage(server_);
      if (error != 0 ||
          ::send(fd_, message.data(), message.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(message.size())) {
        // Nobody listens at that address (a name's IPv6 one, say): the
        // next is tried at once, as Xlib tries them.
        Close();
        ++address_;
        Connect();
        continue;
      }
      state_ = State::kSetUp;
    } else if (ready > 0) {
      return Take();
    } else if (ready < 0 && errno != EINTR) {
      break;
    }
    if (stop() || Clock::now() >= until) return false;
  }
  Close();
  return false;
}

void XProbe::Drain() {
  if (state_ == State::kSetUp || state_ == State::kWelcomed) Take();
}

void XProbe::Connect() {
  for (; address_ < server_.addresses.size(); ++address_) {
    const Address& a = server_.addresses[address_];
    const int fd = ::socket(a.address.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) continue;
    // Where the connection is made the server was reached: its silence is
    // the answer, and the other addresses are not tried.
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&a.address), a.length) == 0 || errno == EINPROGRESS) {
      fd_ = fd;
      state_ = State::kConnecting;
      return;
    }
    ::close(fd);
  }
  address_ = 0;  // the next question begins with the first again
}

void XProbe::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  state_ = State::kClosed;
}

bool XProbe::Take() {
  bool came = false;
  for (;;) {
    unsigned char buffer[4096];
    const ssize_t n = ::recv(fd_, buffer, sizeof(buffer), MSG_DONTWAIT);
    if (n > 0) {
      if (state_ == State::kSetUp) state_ = buffer[0] == kSetUpSuccess ? State::kWelcomed : State::kRefused;
      came = true;
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      // The server ended the connection, or it failed.
      if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) Close();
      return came;
    }
  }
}

}  // namespace zv::platform
