#include "services/net/ftp_connection.h"

#include <algorithm>

#include "platform/ftp/ftp_listing.h"
#include "platform/paths/failure_cause.h"
#include "platform/paths/path_resolver.h"
#include "platform/signals/stop_signals.h"
#include "platform/text/system_text.h"

namespace zv {
namespace {

std::string Cut(std::string text) {
  if (text.size() > FtpConnection::kMaxTextChars) text.resize(FtpConnection::kMaxTextChars);
  return text;
}

std::string LocalPath(std::string_view name) { return platform::Paths().Resolve(name); }
// Servers name their files in UTF-8, as this system does; a name the
// server listed comes back as the bytes it listed, whatever they are.
std::string RemoteName(std::string_view name) { return platform::SystemNameOf(name); }

// How much of a name the reply shows when a listing leaves it out.
constexpr size_t kNamedCharacters = 12;

// Why the downloaded file could not be saved: the system's cause, from errno.
std::string LocalFileFailure() {
  const std::string cause = platform::CauseOf(errno);
  return "The local file cannot be written" + (cause.empty() ? std::string() : ": " + cause);
}

constexpr std::string_view kNoAnswer = "The server does not answer";
constexpr std::string_view kStalled = "The download stopped: nothing arrived for 10 seconds";

}  // namespace

FtpConnection::FtpConnection(ClientFactory factory, platform::Clock& clock, uint16_t port)
    : factory_(std::move(factory)), clock_(clock), port_(port) {
  change_time_ = clock_.NowMs();
}

FtpConnection::~FtpConnection() { Disconnect(false); }

// The reply behind the first failure since the program last asked: later
// failures keep it, so the program reads the reason that came first.
void FtpConnection::FetchResponse(std::string_view reason) {
  last_cause_ = Cut(!reason.empty() ? std::string(reason) : client_ ? platform::ProgramTextOf(client_->LastResponse()) : std::string());
  if (failure_ != 0) return;
  response_ = last_cause_;
  failure_ = 1;
}

// After a failed folder change, listing or transfer: a connection whose
// server no longer answers (within `within_ms`; 0: the client's timeout)
// has gone, and is closed. The program can still read why: a connection
// that broke is a failure, unlike one the program closed itself.
void FtpConnection::CheckConnection(uint32_t within_ms) {
  if (!Connected()) {
    Disconnect(false);
    return;
  }
  if (client_->Responds(within_ms)) return;
  FetchResponse(kNoAnswer);
  const int32_t failure = failure_;
  std::string response = std::move(response_);
  Disconnect(false);
  failure_ = failure;
  response_ = std::move(response);
}

bool FtpConnection::Connect(std::string_view server, std::string_view user, std::string_view password) {
  last_cause_.clear();
  if (Connected()) return false;
  status_ = 0;
  if (!client_) client_ = factory_ ? factory_() : nullptr;
  if (!client_) {
    FetchResponse("The network cannot be used");
    return false;
  }
  if (client_->Connect(platform::FtpServer{std::string(server), port_, std::string(user), std::string(password)})) {
    status_ = 1;
    return true;
  }
  FetchResponse();
  client_.reset();
  return false;
}

void FtpConnection::Disconnect(bool hang_up) {
  (void)hang_up;  // no line is ever dialled here, so none is hung up
  Terminate();
  if (client_) client_->Disconnect();
  client_.reset();
  Reset();
}

void FtpConnection::Reset() {
  listing_.reset();
  listing_next_ = 0;
  bytes_written_ = 0;
  entry_name_.clear();
  entry_type_ = -1;
  entry_size_ = 0;
  progress_ = -1;
  progress_at_change_ = -1;
  change_time_ = clock_.NowMs();
  status_ = 0;
  failure_ = 0;
  response_.clear();
}

bool FtpConnection::MayAskAsBefore(const std::string& sent, std::string_view name) const {
  return sent != name && Connected() && client_->LastResponse().starts_with("55");
}

template <class Request>
bool FtpConnection::WithRemoteName(std::string_view name, const Request& request) {
  const std::string sent = RemoteName(name);
  return request(sent) || (MayAskAsBefore(sent, name) && request(std::string(name)));
}

bool FtpConnection::SetDirectory(std::string_view directory) {
  last_cause_.clear();
  RemoteName(directory);
  if (Connected() && WithRemoteName(directory, [&](const std::string& remote) { return client_->SetDirectory(remote); }))
    return true;
  FetchResponse();
  CheckConnection();
  return false;
}

bool FtpConnection::StoreNextEntry() {
  while (listing_next_ < listing_->size()) {
    const platform::FtpEntry& entry = (*listing_)[listing_next_++];
    // An entry is one name of the folder: a path given back to a command
    // would reach another folder, here or on the server.
    const bool one_name = platform::NamesOneEntry(entry.name);
    std::optional<std::string> name = one_name ? platform::ProgramNameOf(entry.name) : std::nullopt;
    if (name && name->size() <= kMaxTextChars) {
      StoreEntry(entry, std::move(*name));
      return true;
    }
    // Cut, the name would lead to no file of the server's, or to another.
    FetchResponse("The listing leaves out \"" + platform::ProgramTextBeginning(entry.name, kNamedCharacters) +
                  "\": its name " +
                  (!one_name ? std::string("is a path, not one name of the folder")
                   : name    ? "takes more than " + std::to_string(kMaxTextChars) + " characters"
                             : std::string("holds a control character that program text cannot spell")));
  }
  return false;
}

void FtpConnection::StoreEntry(const platform::FtpEntry& entry, std::string name) {
  entry_type_ = entry.directory ? 1 : 0;
  entry_name_ = std::move(name);
  // Sizes of 4 GB and more do not fit; they read as 0.
  entry_size_ = entry.size > 0xFFFFFFFFull ? 0 : static_cast<int32_t>(static_cast<uint32_t>(entry.size));
}

void FtpConnection::ClearEntry() {
  entry_type_ = -1;
  entry_name_.clear();
  entry_size_ = 0;
}

bool FtpConnection::FindFirst() {
  listing_.reset();
  std::optional<std::vector<platform::FtpEntry>> listing;
  if (Connected()) listing = client_->List();
  if (!listing || listing->empty()) {
    // No stale entry of an earlier listing may pass for one of this folder.
    ClearEntry();
    FetchResponse(listing ? "The folder is empty" : "");
    CheckConnection();
    return false;
  }
  listing_ = std::move(listing);
  listing_next_ = 0;
  if (StoreNextEntry()) return true;
  listing_.reset();
  ClearEntry();
  return false;
}

bool FtpConnection::FindNext() {
  if (!listing_) return false;
  if (!StoreNextEntry()) {
    // Past the last entry the listing names none, as its type says.
    listing_.reset();
    ClearEntry();
    CheckConnection();
    return false;
  }
  return true;
}

bool FtpConnection::GetFile(std::string_view remote, std::string_view local, int32_t total) {
  last_cause_.clear();
  // Both names are judged before anything is asked of the server or made.
  RemoteName(remote);
  const std::string local_path = LocalPath(local);
  if (total == 0) {
    if (!Connected()) {
      FetchResponse();
      return false;
    }
    std::unique_ptr<PartFile> file = PartFile::Create(local_path);
    if (!file) {
      FetchResponse(LocalFileFailure());
      return false;
    }
    uint64_t received = 0;
    bool written = true;
    auto take = [&](std::span<const uint8_t> bytes) {
      received += bytes.size();
      return written = file->Write(bytes);
    };
    const std::string sent = RemoteName(remote);
    bool fetched = client_->Download(sent, take);
    if (!fetched && received == 0 && written && MayAskAsBefore(sent, remote))
      fetched = client_->Download(std::string(remote), take);
    if (!fetched) {
      // A stop signal that ends the wait is the cause, however many bytes
      // came before it (the client says so).
      if (!written)
        FetchResponse(LocalFileFailure());
      else if (received > 0 && Connected() && platform::StopSignal() == 0)
        FetchResponse(BrokeOff(received, 0));
      else
        FetchResponse();
      return false;
    }
    if (!file->Commit()) {
      FetchResponse(LocalFileFailure());
      return false;
    }
    return true;
  }

  // One transfer at a time, as the server allows: a running download stays.
  if (remote_) {
    FetchResponse("A download is running already");
    return false;
  }
  if (Connected()) {
    WithRemoteName(remote, [&](const std::string& name) {
      remote_ = client_->OpenDownload(name);
      return remote_ != nullptr;
    });
  }
  if (!remote_) {
    FetchResponse();
    CheckConnection();
    return false;
  }
  local_ = PartFile::Create(local_path);
  bytes_written_ = 0;
  // Without a local file nothing of the download could be kept: it ends
  // now, and says why.
  if (!local_) {
    FetchResponse(LocalFileFailure());
    remote_.reset();
    return false;
  }
  progress_ = 0;
  progress_at_change_ = 0;
  change_time_ = clock_.NowMs();
  bytes_done_ = 0;
  total_bytes_ = total;
  return true;
}

void FtpConnection::Proceed(uint32_t budget) {
  if (budget == 0) budget = kDefaultStepBytes;
  const uint32_t reads = std::max<uint32_t>(1, budget / kReadBytes);
  std::vector<uint8_t> buffer(size_t{reads} * kReadBytes);
  size_t got = 0;
  bool ended = false;
  bool failed = !remote_;
  for (uint32_t r = 0; r < reads && !failed; ++r) {
    std::optional<platform::FtpPiece> piece = remote_->Read(std::span<uint8_t>(buffer).subspan(got, kReadBytes));
    if (!piece) {
      failed = true;
      break;
    }
    got += piece->bytes;
    ended = piece->ended;
    if (piece->bytes < kReadBytes) break;
  }
  if (failed && remote_) {
    // The transfer broke (the server closed the data connection early or
    // went away): nothing more will come, so it ends now, with the cause.
    FetchResponse(BrokeOff(static_cast<uint64_t>(bytes_done_) + got, total_bytes_));
    Terminate();
    CheckConnection(kStepCheckMs);
    return;
  }
  if (failed) {
    CheckConnection(kStepCheckMs);
    return;
  }
  if (got > 0) {
    if (!local_ || !local_->Write(std::span<const uint8_t>(buffer.data(), got))) {
      FetchResponse(LocalFileFailure());
      Terminate();
      return;
    }
    bytes_written_ += static_cast<uint32_t>(got);
    bytes_done_ += static_cast<int32_t>(got);
    progress_ = total_bytes_ >= 1 ? static_cast<int32_t>(100.0 / total_bytes_ * bytes_done_) : 1;
  } else if (ended) {
    // The end: the file is complete and stays.
    remote_.reset();
    progress_ = -1;
    if (local_ && !local_->Commit()) FetchResponse(LocalFileFailure());
    local_.reset();
    bytes_written_ = 0;
  }
  // Otherwise nothing has arrived yet: the watchdog decides how long that
  // may go on.
  Watchdog();
}

std::string FtpConnection::BrokeOff(uint64_t received, int32_t total) {
  std::string text = "The download broke off after " + std::to_string(received) + " bytes";
  if (total > 0) text += " of " + std::to_string(total);
  return text;
}

void FtpConnection::Watchdog() {
  if (progress_ < 0) return;
  const uint32_t now = clock_.NowMs();
  if (bytes_written_ != bytes_seen_) {
    bytes_seen_ = bytes_written_;
    progress_at_change_ = progress_;
    change_time_ = now;
  } else if (platform::ElapsedMs(change_time_, now) > kStallLimitMs) {
    FetchResponse(kStalled);
    Terminate();
    CheckConnection(kStepCheckMs);
  }
}

void FtpConnection::Terminate() {
  if (local_) {
    local_.reset();  // discards the partial file
    bytes_written_ = 0;
  }
  if (remote_) {
    remote_.reset();
    progress_ = -1;
  }
}

bool FtpConnection::PutFile(std::string_view name, const std::string& local) {
  last_cause_.clear();
  const std::string sent = RemoteName(name);
  if (Connected() && client_->Upload(local.empty() ? LocalPath(name) : local, sent)) return true;
  FetchResponse();
  return false;
}

bool FtpConnection::DeleteFile(std::string_view name) {
  RemoteName(name);
  return Connected() && WithRemoteName(name, [&](const std::string& remote) { return client_->Delete(remote); });
}

int32_t FtpConnection::TakeFailure() {
  const int32_t failure = failure_;
  failure_ = 0;
  return failure;
}

std::string FtpConnection::Directory() const { return Connected() ? platform::ProgramTextOf(client_->Directory()) : std::string(); }

}  // namespace zv
