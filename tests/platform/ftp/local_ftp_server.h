#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>

namespace zv::test {

// A pyftpdlib server on a free loopback port, serving a fresh folder to the
// user "user" with the password "secret", for as long as the object lives.
// Running() is false where python3-pyftpdlib is not installed (the tests
// skip) or where the server did not start (they fail); Problem() says which.
// Given `stop_on`, the server stops itself as Pause does, once:
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
  // Whether this machine has what the server needs: where it has, a server
  // that is not running is a fault, not a reason to skip.
  bool Installed() const { return installed_; }
  // Why the server is not running.
  const std::string& Problem() const { return problem_; }
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
  bool installed_ = false;
  std::string problem_;
};

}  // namespace zv::test

// In a test: skips where this machine cannot run the server, and fails
// where it can but the server did not start, saying why.
#define ZV_SKIP_WITHOUT_FTP_SERVER(server)                    \
  do {                                                        \
    if (!(server).Running()) {                                \
      if ((server).Installed()) FAIL() << (server).Problem(); \
      GTEST_SKIP() << (server).Problem();                     \
    }                                                         \
  } while (false)
