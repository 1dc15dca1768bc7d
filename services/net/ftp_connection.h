#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/clock/clock.h"
#include "platform/ftp/ftp_client.h"
#include "services/net/part_file.h"

namespace zv {

// The one FTP connection a program has: connect, change folder, list a
// folder entry by entry, upload, delete, and download either at once or in
// steps of a few kilobytes that a game takes between frames, with a
// progress percentage and a watchdog that ends a stalled download. The
// first failure's server reply is kept until the program asks for it.
// The calls a game makes between frames (a step of a download, ending one)
// never wait on the server for more than a fraction of a second; the
// others wait for its answer, at most the client's timeout.
class FtpConnection {
 public:
  using ClientFactory = std::function<std::unique_ptr<platform::FtpClient>()>;

  static constexpr uint32_t kDefaultStepBytes = 3072;
  static constexpr uint32_t kReadBytes = 1024;
  static constexpr uint32_t kStallLimitMs = 10000;
  // How long a step may wait to learn whether the server still answers.
  static constexpr uint32_t kStepCheckMs = 250;
  static constexpr size_t kMaxTextChars = 255;

  // `port` is where servers are reached (21 but in tests).
  FtpConnection(ClientFactory factory, platform::Clock& clock, uint16_t port = 21);
  ~FtpConnection();
  FtpConnection(const FtpConnection&) = delete;
  FtpConnection& operator=(const FtpConnection&) = delete;

  bool Connect(std::string_view server, std::string_view user, std::string_view password);
  // Also when the program ends (`hang_up` 1: a dialled line would be hung
  // up, but this system never dials).
  void Disconnect(bool hang_up);
  bool SetDirectory(std::string_view directory);
  bool FindFirst();
  bool FindNext();
  // `total` 0 downloads at once; otherwise the download is opened and
  // moved by Proceed, its progress measured against `total` bytes.
  bool GetFile(std::string_view remote, std::string_view local, int32_t total);
  // One step of a stepwise download: up to `budget` bytes (0: 3072).
  void Proceed(uint32_t budget);
  // Abandons a stepwise download; nothing of its file remains.
  void Terminate();
  // Uploads the file at `local` (a path of this machine: what the program
  // reads under `name`, which in a built game may be a file it carries;
  // empty: the file the path helper finds) to the server as `name`.
  bool PutFile(std::string_view name, const std::string& local = {});
  bool DeleteFile(std::string_view name);

  int32_t Status() const { return status_; }
  // Whether a reply was kept since the last call; reading clears it.
  int32_t TakeFailure();
  const std::string& ResponseText() const { return response_; }
  // Why the last call that failed did, for its warning: its own reason,
  // where ResponseText keeps the first since the program last asked.
  const std::string& LastCause() const { return last_cause_; }
  int32_t EntryType() const { return entry_type_; }
  const std::string& EntryName() const { return entry_name_; }
  int32_t EntrySize() const { return entry_size_; }
  int32_t Progress() const { return progress_; }
  // The current remote folder; empty while not connected.
  std::string Directory() const;

 private:
  bool Connected() const { return client_ && status_ == 1; }
  void FetchResponse(std::string_view reason = {});
  void CheckConnection(uint32_t within_ms = 0);
  // Stores the listing's next entry from listing_next_ that the program can
  // be given; false when none is left. An entry whose name no program text
  // of kMaxTextChars characters spells is passed over, and the reply says so.
  bool StoreNextEntry();
  void StoreEntry(const platform::FtpEntry& entry, std::string name);
  // Asks `request` with the server's name for the program's `name`, and,
  // where the server has no such file and the program's bytes differ, with
  // those bytes, as builds before the UTF-8 names sent them (to a server
  // whose names are Latin-1). RemoteName refuses a name first.
  template <class Request>
  bool WithRemoteName(std::string_view name, const Request& request);
  bool MayAskAsBefore(const std::string& sent, std::string_view name) const;
  void ClearEntry();
  void Reset();
  void Watchdog();
  // Why a download that broke off failed: the bytes that did arrive.
  static std::string BrokeOff(uint64_t received, int32_t total);

  ClientFactory factory_;
  platform::Clock& clock_;
  uint16_t port_;
  std::unique_ptr<platform::FtpClient> client_;  // while connected

  // The directory listing being walked.
  std::optional<std::vector<platform::FtpEntry>> listing_;
  size_t listing_next_ = 0;
  std::string entry_name_;
  int32_t entry_type_ = -1;  // 1 folder, 0 file, -1 none
  int32_t entry_size_ = 0;

  // The stepwise download.
  std::unique_ptr<platform::FtpDownload> remote_;
  std::unique_ptr<PartFile> local_;
  uint32_t bytes_written_ = 0;
  uint32_t bytes_seen_ = 0;  // what the watchdog last saw
  int32_t progress_ = -1;
  int32_t progress_at_change_ = -1;
  uint32_t change_time_ = 0;
  int32_t bytes_done_ = 0;
  int32_t total_bytes_ = 0;

  int32_t status_ = 0;
  int32_t failure_ = 0;
  std::string response_;
  std::string last_cause_;
};

}  // namespace zv
