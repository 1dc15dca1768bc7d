// FTP through libcurl. One easy handle carries the session: libcurl keeps
// its control connection open between requests and logs in again by itself
// if the server dropped it. The client keeps the current directory itself
// and names every remote file by its absolute path, so nothing depends on
// where the server's working directory happens to be. A download read piece
// by piece runs on a handle of its own through the multi interface, so a
// read takes what has arrived and never waits long for more.
#include <sys/socket.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "platform/ftp/curl/curl_library.h"
#include "platform/ftp/ftp_client.h"
#include "platform/ftp/ftp_listing.h"
#include "platform/signals/stop_signals.h"

namespace zv::platform {
namespace {

using SteadyClock = std::chrono::steady_clock;

constexpr size_t kMaxListingBytes = 16u << 20;
constexpr size_t kMaxBufferedBytes = 256u << 10;  // a piecewise download pauses beyond this
constexpr long kPollSliceMs = 50;
// A request that waits looks this often whether it is done and whether
// the process was asked to end. libcurl's own wait can miss a reply it has
// already read and sit out a whole second before it looks again.
constexpr int kRequestSliceMs = 5;
// The longest a farewell to the server may take: one that has stopped
// answering would otherwise hold the caller for the whole reply timeout.
constexpr uint32_t kFarewellMs = 300;

struct EasyDeleter {
  void operator()(CURL* c) const { Curl().curl_easy_cleanup(c); }
};
using EasyHandle = std::unique_ptr<CURL, EasyDeleter>;

struct MultiDeleter {
  void operator()(CURLM* m) const { Curl().curl_multi_cleanup(m); }
};
using MultiHandle = std::unique_ptr<CURLM, MultiDeleter>;

struct SlistDeleter {
  void operator()(curl_slist* l) const { Curl().curl_slist_free_all(l); }
};
using Slist = std::unique_ptr<curl_slist, SlistDeleter>;

void InitCurlOnce() {
  static std::once_flag once;
  std::call_once(once, [] { Curl().curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// The server's replies, line by line: a reply ends on a line of three
// digits and a blank; multi-line replies ("550-...") are kept whole.
class ReplyLog {
 public:
  void Line(std::string_view line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
    if (!partial_.empty()) partial_ += "\r\n";
    partial_ += line;
    const bool last = line.size() >= 4 && std::isdigit(static_cast<unsigned char>(line[0])) &&
                      std::isdigit(static_cast<unsigned char>(line[1])) &&
                      std::isdigit(static_cast<unsigned char>(line[2])) && line[3] == ' ';
    const bool alone = line.size() == 3 && std::all_of(line.begin(), line.end(), [](char c) {
                         return std::isdigit(static_cast<unsigned char>(c));
                       });
    if (last || alone) {
      last_ = std::move(partial_);
      partial_.clear();
      ++count_;
    }
  }
  const std::string& Last() const { return last_; }
  uint64_t Count() const { return count_; }

 private:
  std::string partial_;
  std::string last_;
  uint64_t count_ = 0;
};

size_t RecordReply(char* data, size_t size, size_t count, void* log) {
  static_cast<ReplyLog*>(log)->Line(std::string_view(data, size * count));
  return size * count;
}

// Characters a host name may hold; anything else could change the URL.
bool PlainHost(std::string_view host) {
  return !host.empty() && std::all_of(host.begin(), host.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || std::strchr(".-_:[]", c) != nullptr;
  });
}

// A remote name may not smuggle a further command onto the control line.
bool PlainName(std::string_view name) {
  return name.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

// Failures after which the control connection is gone (libcurl has closed
// it), as opposed to a refusal the server answered.
bool LostConnection(CURLcode result) {
  return result == CURLE_OPERATION_TIMEDOUT || result == CURLE_ABORTED_BY_CALLBACK ||
         result == CURLE_COULDNT_CONNECT || result == CURLE_RECV_ERROR || result == CURLE_SEND_ERROR ||
         result == CURLE_GOT_NOTHING;
}

SteadyClock::time_point After(uint32_t ms) { return SteadyClock::now() + std::chrono::milliseconds(ms); }

// `path` joined onto `directory` ("/a"), with "." and ".." worked out.
std::string JoinPath(const std::string& directory, std::string_view path) {
  std::vector<std::string> parts;
  auto add = [&](std::string_view p) {
    while (!p.empty()) {
      const size_t slash = p.find('/');
      const std::string_view part = p.substr(0, slash);
      if (part == "..") {
        if (!parts.empty()) parts.pop_back();
      } else if (!part.empty() && part != ".") {
        parts.emplace_back(part);
      }
      if (slash == std::string_view::npos) break;
      p.remove_prefix(slash + 1);
    }
  };
  if (path.empty() || path[0] != '/') add(directory);
  add(path);
  std::string joined;
  for (const std::string& part : parts) joined += "/" + part;
  return joined.empty() ? "/" : joined;
}

class CurlFtpClient;

// A download read piece by piece.
class CurlDownload final : public FtpDownload {
 public:
  CurlDownload(EasyHandle easy, const FtpClientOptions& options, std::shared_ptr<ReplyLog> replies)
      : easy_(std::move(easy)), options_(options), replies_(std::move(replies)), multi_(Curl().curl_multi_init()) {
    Curl().curl_easy_setopt(easy_.get(), CURLOPT_WRITEFUNCTION, &CurlDownload::Take);
    Curl().curl_easy_setopt(easy_.get(), CURLOPT_WRITEDATA, this);
    Curl().curl_easy_setopt(easy_.get(), CURLOPT_HEADERFUNCTION, &CurlDownload::Reply);
    Curl().curl_easy_setopt(easy_.get(), CURLOPT_HEADERDATA, this);
    Curl().curl_multi_add_handle(multi_, easy_.get());
  }
  ~CurlDownload() override {
    Curl().curl_multi_remove_handle(multi_, easy_.get());
    Curl().curl_multi_cleanup(multi_);
  }

  // Runs until the server has started sending the file or refused it.
  bool Start() {
    const auto deadline = After(options_.stall_timeout_ms);
    while (!started_ && !done_) {
      if (!Pump(deadline)) return false;
      if (SteadyClock::now() >= deadline || platform::StopSignal() != 0) return false;
    }
    return started_ || result_ == CURLE_OK;
  }

  // A server that stops sending is found out by libcurl's own limit on
  // slow transfers, which fails the transfer; until then a read comes back
  // with what there is.
  std::optional<FtpPiece> Read(std::span<uint8_t> buffer) override {
    const auto deadline = After(options_.read_wait_ms);
    while (Available() < buffer.size() && !done_) {
      Resume();
      if (!Pump(deadline) || SteadyClock::now() >= deadline) break;
    }
    const size_t n = std::min(buffer.size(), Available());
    if (n == 0 && done_ && result_ != CURLE_OK) return std::nullopt;
    std::memcpy(buffer.data(), data_.data() + read_, n);
    read_ += n;
    if (read_ == data_.size()) {
      data_.clear();
      read_ = 0;
    }
    return FtpPiece{n, done_ && result_ == CURLE_OK && Available() == 0};
  }

 private:
  static size_t Take(char* data, size_t size, size_t count, void* self_pointer) {
    auto* self = static_cast<CurlDownload*>(self_pointer);
    if (self->Available() >= kMaxBufferedBytes) {
      self->paused_ = true;
      return CURL_WRITEFUNC_PAUSE;
    }
    self->started_ = true;
    self->data_.insert(self->data_.end(), data, data + size * count);
    return size * count;
  }
  static size_t Reply(char* data, size_t size, size_t count, void* self_pointer) {
    auto* self = static_cast<CurlDownload*>(self_pointer);
    const std::string_view line(data, size * count);
    self->replies_->Line(line);
    // 125 and 150: the data connection is open and the file is coming.
    if (line.starts_with("125") || line.starts_with("150")) self->started_ = true;
    return size * count;
  }

  size_t Available() const { return data_.size() - read_; }

  void Resume() {
    if (!paused_ || Available() >= kMaxBufferedBytes) return;
    paused_ = false;
    Curl().curl_easy_pause(easy_.get(), CURLPAUSE_CONT);
  }

  // One round of the transfer, waiting for the network no later than
  // `deadline`; false when libcurl itself failed.
  bool Pump(SteadyClock::time_point deadline) {
    int running = 0;
    if (Curl().curl_multi_perform(multi_, &running) != CURLM_OK) {
      done_ = true;
      result_ = CURLE_RECV_ERROR;
      return false;
    }
    int queued = 0;
    while (CURLMsg* message = Curl().curl_multi_info_read(multi_, &queued))
      if (message->msg == CURLMSG_DONE) {
        done_ = true;
        result_ = message->data.result;
      }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now()).count();
    if (!done_ && running && left > 0)
      Curl().curl_multi_poll(multi_, nullptr, 0, static_cast<int>(std::min<long long>(left, kPollSliceMs)), nullptr);
    return true;
  }

  EasyHandle easy_;
  FtpClientOptions options_;
  std::shared_ptr<ReplyLog> replies_;
  CURLM* multi_;
  std::vector<uint8_t> data_;
  size_t read_ = 0;
  bool started_ = false;
  bool paused_ = false;
  bool done_ = false;
  CURLcode result_ = CURLE_OK;
};

class CurlFtpClient final : public FtpClient {
 public:
  explicit CurlFtpClient(const FtpClientOptions& options) : options_(options) {
    InitCurlOnce();
    multi_.reset(Curl().curl_multi_init());
    easy_.reset(Curl().curl_easy_init());
  }
  ~CurlFtpClient() override { Disconnect(); }

  bool Connect(const FtpServer& server) override {
    Disconnect();
    if (!easy_) return Failed("libcurl could not start");
    if (!PlainHost(server.host)) return Failed("Bad server name");
    server_ = server;
    base_ = "ftp://" + server.host + ":" + std::to_string(server.port);
    Prepare(base_ + "/");
    Curl().curl_easy_setopt(easy_.get(), CURLOPT_NOBODY, 1L);
    if (!Perform()) {
      base_.clear();
      return false;
    }
    const char* entry = nullptr;
    Curl().curl_easy_getinfo(easy_.get(), CURLINFO_FTP_ENTRY_PATH, &entry);
    directory_ = entry && entry[0] == '/' ? JoinPath("/", entry) : "/";
    return true;
  }

  void Disconnect() override {
    if (!base_.empty()) {
      // Closing the handle would say goodbye on a connection it still
      // holds and wait for the answer as long as any reply may take; the
      // goodbye is said here instead, with a short wait, so a server that
      // has stopped answering has its connection dropped.
      if (const curl_socket_t held = HeldSocket(); held != CURL_SOCKET_BAD) {
        Ask("QUIT", kFarewellMs);
        // libcurl says goodbye again as it lets the connection go, and
        // waits for the answer as long as any reply may take: the
        // connection, which has had its goodbye, ends here instead.
        if (HeldSocket() == held) shutdown(held, SHUT_RDWR);
      }
      easy_.reset(Curl().curl_easy_init());
      multi_.reset(Curl().curl_multi_init());
    }
    base_.clear();
    directory_.clear();
    lost_ = false;
  }

  bool SetDirectory(std::string_view directory) override {
    if (!Usable(directory)) return false;
    const std::string target = JoinPath(directory_, directory);
    Prepare(DirectoryUrl(target));
    Curl().curl_easy_setopt(easy_.get(), CURLOPT_NOBODY, 1L);
    if (!Perform()) return false;
    directory_ = target;
    return true;
  }

  std::string Directory() const override { return directory_; }

  std::optional<std::vector<FtpEntry>> List() override {
    if (base_.empty()) return Failed("Not connected"), std::nullopt;
    std::string text;
    Prepare(DirectoryUrl(directory_));
    Curl().curl_easy_setopt(easy_.get(), CURLOPT_CUSTOMREQUEST, "MLSD");
    CollectInto(text);
    std::vector<FtpEntry> entries;
    if (Perform()) {
      entries = ParseMlsdListing(text);
    } else {
      // Servers without the machine-readable listing get the plain one.
      long code = 0;
      Curl().curl_easy_getinfo(easy_.get(), CURLINFO_RESPONSE_CODE, &code);
      if (code != 500 && code != 501 && code != 502 && code != 504) return std::nullopt;
      text.clear();
      Prepare(DirectoryUrl(directory_));
      CollectInto(text);
      if (!Perform()) return std::nullopt;
      entries = ParseListListing(text);
    }
    SortEntries(entries);
    return entries;
  }

  bool Download(std::string_view remote, const FtpSink& sink) override {
    if (!Usable(remote)) return false;
    Prepare(FileUrl(remote));
    const FtpSink* target = &sink;
    Curl().curl_easy_setopt(easy_.get(), CURLOPT_WRITEFUNCTION, &CurlFtpClient::ToSink);
    Curl().curl_easy_setopt(easy_.get(), CURLOPT_WRITEDATA, target);
    return Perform();
  }

  std::unique_ptr<FtpDownload> OpenDownload(std::string_view remote) override {
    if (!Usable(remote)) return nullptr;
    Prepare(FileUrl(remote));
    EasyHandle copy(Curl().curl_easy_duphandle(easy_.get()));
    if (!copy) return Failed("libcurl could not start"), nullptr;
    // Its reads are bounded by themselves; the caller judges its stalls.
    Curl().curl_easy_setopt(copy.get(), CURLOPT_NOPROGRESS, 1L);
    const uint64_t replies_before = replies_->Count();
    auto download = std::make_unique<CurlDownload>(std::move(copy), options_, replies_);
    if (!download->Start()) {
      const bool refused = RefusedSince(replies_before);
      last_response_ = refused ? replies_->Last() : "The server did not start the download";
      // A server that gave no answer in time is taken to be gone (though
      // the session's own connection is still held).
      lost_ = !refused;
      return nullptr;
    }
    return download;
  }

  bool Upload(const std::string& local_path, std::string_view remote) override {
    if (!Usable(remote)) return false;
    std::FILE* file = std::fopen(local_path.c_str(), "rb");
    if (!file) return Failed("Cannot open the local file");
    struct stat info{};
    const bool sized = fstat(fileno(file), &info) == 0 && S_ISREG(info.st_mode);
    Prepare(FileUrl(remote));
    Curl().curl_easy_setopt(easy_.get(), CURLOPT_UPLOAD, 1L);
    Curl().curl_easy_setopt(easy_.get(), CURLOPT_READDATA, file);
    if (sized) Curl().curl_easy_setopt(easy_.get(), CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(info.st_size));
    const bool ok = sized ? Perform() : Failed("Cannot open the local file");
    std::fclose(file);
    return ok;
  }

  bool Delete(std::string_view remote) override {
    if (!Usable(remote)) return false;
    Slist commands(Curl().curl_slist_append(nullptr, ("DELE " + JoinPath(directory_, remote)).c_str()));
    Prepare(DirectoryUrl(directory_));
    Curl().curl_easy_setopt(easy_.get(), CURLOPT_NOBODY, 1L);
    Curl().curl_easy_setopt(easy_.get(), CURLOPT_QUOTE, commands.get());
    const bool ok = Perform();
    Curl().curl_easy_setopt(easy_.get(), CURLOPT_QUOTE, nullptr);
    return ok;
  }

  std::string LastResponse() const override { return last_response_; }

  bool Responds(uint32_t within_ms) override { return !base_.empty() && !lost_ && Ask("NOOP", within_ms); }

 private:
  // Sends the server a command that moves no file; whether it answered
  // within `within_ms` (0: the reply timeout).
  bool Ask(const char* command, uint32_t within_ms) {
    Slist commands(Curl().curl_slist_append(nullptr, command));
    Prepare(DirectoryUrl(directory_));
    Curl().curl_easy_setopt(easy_.get(), CURLOPT_NOBODY, 1L);
    Curl().curl_easy_setopt(easy_.get(), CURLOPT_QUOTE, commands.get());
    if (within_ms > 0) Curl().curl_easy_setopt(easy_.get(), CURLOPT_TIMEOUT_MS, static_cast<long>(within_ms));
    const bool ok = Perform();
    Curl().curl_easy_setopt(easy_.get(), CURLOPT_QUOTE, nullptr);
    return ok;
  }

  // The control connection's socket, while there is one.
  curl_socket_t HeldSocket() {
    curl_socket_t socket = CURL_SOCKET_BAD;
    return Curl().curl_easy_getinfo(easy_.get(), CURLINFO_ACTIVESOCKET, &socket) == CURLE_OK ? socket : CURL_SOCKET_BAD;
  }

  // libcurl's own limit on slow transfers judges the speed averaged over
  // its last seconds, so a transfer that stops dead runs on for several
  // seconds past the timeout; a request instead fails once neither a reply
  // nor a byte of data has come or gone for the stall timeout.
  static int CheckSilence(void* self_pointer, curl_off_t, curl_off_t received, curl_off_t, curl_off_t sent) {
    auto* self = static_cast<CurlFtpClient*>(self_pointer);
    Silence& s = self->silence_;
    const auto now = SteadyClock::now();
    if (received + sent != s.moved || self->replies_->Count() != s.replies) {
      s = Silence{self->replies_->Count(), received + sent, now};
      return 0;
    }
    return now - s.since > std::chrono::milliseconds(self->options_.stall_timeout_ms) ? 1 : 0;
  }

  static size_t ToSink(char* data, size_t size, size_t count, void* sink) {
    const auto& take = *static_cast<const FtpSink*>(sink);
    return take(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(data), size * count)) ? size * count : 0;
  }
  static size_t Discard(char*, size_t size, size_t count, void*) { return size * count; }
  static size_t Collect(char* data, size_t size, size_t count, void* text_pointer) {
    auto* text = static_cast<std::string*>(text_pointer);
    if (text->size() + size * count > kMaxListingBytes) return 0;
    text->append(data, size * count);
    return size * count;
  }

  bool Failed(std::string reason) {
    last_response_ = std::move(reason);
    return false;
  }

  bool Usable(std::string_view name) {
    if (base_.empty()) return Failed("Not connected");
    if (!PlainName(name)) return Failed("Bad file name");
    return true;
  }

  void CollectInto(std::string& text) {
    Curl().curl_easy_setopt(easy_.get(), CURLOPT_WRITEFUNCTION, &CurlFtpClient::Collect);
    Curl().curl_easy_setopt(easy_.get(), CURLOPT_WRITEDATA, &text);
  }

  std::string Escaped(std::string_view part) {
    char* escaped = Curl().curl_easy_escape(easy_.get(), part.data(), static_cast<int>(part.size()));
    std::string result = escaped ? escaped : "";
    Curl().curl_free(escaped);
    return result;
  }

  // "/a/b" as a URL whose path libcurl turns into "CWD /a/b".
  std::string DirectoryUrl(const std::string& path) {
    std::string url = base_ + "/%2F";
    std::string_view rest(path);
    bool first = true;
    while (!rest.empty()) {
      const size_t slash = rest.find('/');
      const std::string_view part = rest.substr(0, slash);
      if (!part.empty()) {
        url += (first ? "" : "%2F") + Escaped(part);
        first = false;
      }
      if (slash == std::string_view::npos) break;
      rest.remove_prefix(slash + 1);
    }
    return url + "/";
  }

  std::string FileUrl(std::string_view remote) {
    const std::string path = JoinPath(directory_, remote);
    const size_t slash = path.rfind('/');
    return DirectoryUrl(path.substr(0, slash)) + Escaped(path.substr(slash + 1));
  }

  void Prepare(const std::string& url) {
    CURL* c = easy_.get();
    Curl().curl_easy_reset(c);
    Curl().curl_easy_setopt(c, CURLOPT_URL, url.c_str());
    Curl().curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "ftp");
    Curl().curl_easy_setopt(c, CURLOPT_USERNAME, server_.user.c_str());
    Curl().curl_easy_setopt(c, CURLOPT_PASSWORD, server_.password.c_str());
    Curl().curl_easy_setopt(c, CURLOPT_FTP_FILEMETHOD, static_cast<long>(CURLFTPMETHOD_SINGLECWD));
    Curl().curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    Curl().curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(options_.connect_timeout_ms));
    Curl().curl_easy_setopt(c, CURLOPT_SERVER_RESPONSE_TIMEOUT,
                            static_cast<long>((options_.stall_timeout_ms + 999) / 1000));
    Curl().curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
    Curl().curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, static_cast<long>((options_.stall_timeout_ms + 999) / 1000));
    silence_ = Silence{replies_->Count(), 0, SteadyClock::now()};
    Curl().curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
    Curl().curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, &CurlFtpClient::CheckSilence);
    Curl().curl_easy_setopt(c, CURLOPT_XFERINFODATA, this);
    Curl().curl_easy_setopt(c, CURLOPT_HEADERFUNCTION, &RecordReply);
    Curl().curl_easy_setopt(c, CURLOPT_HEADERDATA, replies_.get());
    Curl().curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, &Discard);
    Curl().curl_easy_setopt(c, CURLOPT_ERRORBUFFER, error_);
    error_[0] = 0;
  }

  // Whether the server's last reply, given after the reply numbered
  // `before`, refused something.
  bool RefusedSince(uint64_t before) const {
    return replies_->Count() != before && !replies_->Last().empty() && replies_->Last()[0] >= '4';
  }

  // Runs the prepared request. On failure the reason is the server's reply
  // when it gave one, else libcurl's account of what went wrong.
  bool Perform() {
    const uint64_t replies_before = replies_->Count();
    const CURLcode result = Run();
    if (result == CURLE_ABORTED_BY_CALLBACK && platform::StopSignal() != 0) {
      lost_ = true;
      return Failed("The program is ending");
    }
    lost_ = LostConnection(result);
    if (result == CURLE_OK) {
      last_response_ = replies_->Last();
      return true;
    }
    if (RefusedSince(replies_before))
      last_response_ = replies_->Last();
    else if (result == CURLE_ABORTED_BY_CALLBACK)
      last_response_ = "The server stopped answering";
    else
      last_response_ = error_[0] ? error_ : Curl().curl_easy_strerror(result);
    return false;
  }

  // The prepared request to its end, or until a stop signal. Between
  // requests the handle stays with the multi handle, which keeps the
  // connection for the next one (and knows whether it holds one).
  CURLcode Run() {
    CURLM* multi = multi_.get();
    if (!multi) return CURLE_OUT_OF_MEMORY;
    Curl().curl_multi_remove_handle(multi, easy_.get());
    if (Curl().curl_multi_add_handle(multi, easy_.get()) != CURLM_OK) return CURLE_OUT_OF_MEMORY;
    for (;;) {
      int running = 0;
      if (Curl().curl_multi_perform(multi, &running) != CURLM_OK) return CURLE_RECV_ERROR;
      int queued = 0;
      while (CURLMsg* message = Curl().curl_multi_info_read(multi, &queued))
        if (message->msg == CURLMSG_DONE) return message->data.result;
      if (!running) return CURLE_OK;
      if (platform::StopSignal() != 0) {
        Curl().curl_multi_remove_handle(multi, easy_.get());  // drops the connection mid-request
        return CURLE_ABORTED_BY_CALLBACK;
      }
      Curl().curl_multi_poll(multi, nullptr, 0, kRequestSliceMs, nullptr);
    }
  }

  FtpClientOptions options_;
  MultiHandle multi_;  // before the handle it serves, so it outlives it
  EasyHandle easy_;
  FtpServer server_;
  std::string base_;       // "ftp://host:port" while connected
  std::string directory_;  // the current remote directory
  std::shared_ptr<ReplyLog> replies_ = std::make_shared<ReplyLog>();
  std::string last_response_;
  bool lost_ = false;  // the server is taken to be gone: the last request lost it or went unanswered
  // When the running request last heard or moved anything.
  struct Silence {
    uint64_t replies = 0;
    curl_off_t moved = 0;
    SteadyClock::time_point since;
  } silence_;
  char error_[CURL_ERROR_SIZE] = {};
};

}  // namespace

std::unique_ptr<FtpClient> CreateCurlFtpClient(const FtpClientOptions& options) {
  return std::make_unique<CurlFtpClient>(options);
}

}  // namespace zv::platform
