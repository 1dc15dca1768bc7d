#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zv::platform {

// One entry of a remote directory listing.
struct FtpEntry {
  std::string name;
  bool directory = false;
  uint64_t size = 0;
};

struct FtpServer {
  std::string host;
  uint16_t port = 21;
  std::string user;
  std::string password;
};

// What one read of a download found.
struct FtpPiece {
  size_t bytes = 0;    // copied into the buffer
  bool ended = false;  // the whole file has arrived: no further byte comes
};

// A download read piece by piece, so the caller decides how much moves per
// call.
class FtpDownload {
 public:
  virtual ~FtpDownload() = default;
  // Copies what has arrived into `buffer`, waiting for more only until the
  // buffer is full, the file has ended or the client's read wait has
  // passed, so a silent server holds the caller no longer than that.
  // Nothing once the transfer has failed.
  virtual std::optional<FtpPiece> Read(std::span<uint8_t> buffer) = 0;
};

// Takes each piece of a download in order; false stops the transfer.
using FtpSink = std::function<bool(std::span<const uint8_t>)>;

// A connection to an FTP server in passive mode. Every call but a
// download's Read blocks until the server has answered, or has stayed
// silent for the client's timeout. Remote names are relative to the current
// directory unless they start with "/".
class FtpClient {
 public:
  virtual ~FtpClient() = default;

  // Logs in; the current directory becomes the one the server starts in.
  virtual bool Connect(const FtpServer& server) = 0;
  virtual void Disconnect() = 0;
  virtual bool SetDirectory(std::string_view directory) = 0;
  // The current remote directory ("/..."); empty when not connected.
  virtual std::string Directory() const = 0;
  // The entries of the current directory (without "." and "..").
  virtual std::optional<std::vector<FtpEntry>> List() = 0;
  virtual bool Download(std::string_view remote, const FtpSink& sink) = 0;
  // Starts a download to be read piece by piece; null when the server
  // refuses it.
  virtual std::unique_ptr<FtpDownload> OpenDownload(std::string_view remote) = 0;
  virtual bool Upload(const std::string& local_path, std::string_view remote) = 0;
  virtual bool Delete(std::string_view remote) = 0;
  // The server's last reply ("550 No such file."), or what went wrong when
  // there was none.
  virtual std::string LastResponse() const = 0;
  // Whether the server still answers on the session's connection within
  // `within_ms` (0: the client's own reply timeout); false at once when
  // the connection broke or timed out in the last request.
  virtual bool Responds(uint32_t within_ms) = 0;
};

struct FtpClientOptions {
  uint32_t connect_timeout_ms = 10000;
  // A reply or transfer that stays silent this long fails.
  uint32_t stall_timeout_ms = 10000;
  // The longest a download's Read waits for bytes to arrive.
  uint32_t read_wait_ms = 50;
};

// FTP through libcurl.
std::unique_ptr<FtpClient> CreateCurlFtpClient(const FtpClientOptions& options = {});

}  // namespace zv::platform
