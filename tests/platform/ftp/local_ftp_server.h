#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>

namespace zv::test {

// A pyftpdlib server on a free loopback port, serving a fresh folder to the
// user "user" with the password "secret", for as long as the object lives.
// Running() is false (and the tests skip) where python3-pyftpdlib is not
// installed. Given `stop_on`, the server stops itself as Pause does, once:
// on receiving that command ("QUIT"), or with "data" once a transfer has
// moved its first bytes. The reply that ends a transfer ("226") comes
// `late_reply_ms` after the transfer's data, as from a server further away.
class LocalFtpServer {
 public:
  explicit LocalFtpServer(const std::string& stop_on = "", int late_reply_ms = 0);
  ~LocalFtpServer();
  LocalFtpServer(const LocalFtpServer&) = delete;
  LocalFtpServer& operator=(const LocalFtpServer&) = delete;

  bool Running() const { return port_ != 0; }
  uint16_t Port() const { return port_; }
  // The folder the server serves, as this machine names it.
  const std::string& Root() const { return root_; }

  // Writes a file into the served folder (`name` may hold subfolders).
  void PutFile(const std::string& name, const std::string& contents) const;
  std::string ReadFile(const std::string& name) const;
  bool Exists(const std::string& name) const;

  // Stops the server's process, which keeps its connections open but
  // answers nothing, until Resume.
  void Pause() const;
  void Resume() const;

  static constexpr const char* kUser = "user";
  static constexpr const char* kPassword = "secret";

 private:
  std::string root_;
  pid_t pid_ = 0;
  uint16_t port_ = 0;
};

}  // namespace zv::test
