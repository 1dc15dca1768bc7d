// The program's FTP connection: against the local pyftpdlib server for the
// transfers, and over a scripted client where a broken transfer is needed.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

#include "platform/clock/clock.h"
#include "platform/signals/stop_signals.h"
#include "services/net/ftp_connection.h"
#include "tests/platform/ftp/local_ftp_server.h"
#include "tests/support/thread_times.h"

namespace zv {
namespace {

namespace fs = std::filesystem;

std::string ReadLocal(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

class FtpConnectionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ZV_SKIP_WITHOUT_FTP_SERVER(server);
    local = fs::path(server.Root()).string() + ".local";
    fs::create_directories(local);
    ftp = std::make_unique<FtpConnection>(
        [] { return platform::CreateCurlFtpClient(platform::FtpClientOptions{2000, 3000}); }, clock, server.Port());
  }
  void TearDown() override {
    ftp.reset();
    if (!local.empty()) fs::remove_all(local);
  }

  bool Connect() { return ftp->Connect("127.0.0.1", "user", "secret"); }
  std::string Local(const std::string& name) const { return (fs::path(local) / name).string(); }
  // Every entry of the current folder as "name type size" (the size of
  // files only: what servers give for folders varies).
  std::vector<std::string> Walk() {
    std::vector<std::string> out;
    for (bool more = ftp->FindFirst(); more; more = ftp->FindNext())
      out.push_back(ftp->EntryName() + " " + std::to_string(ftp->EntryType()) + " " +
                    (ftp->EntryType() == 0 ? std::to_string(ftp->EntrySize()) : "-"));
    return out;
  }

  test::LocalFtpServer server;
  platform::ManualClock clock;
  std::string local;
  std::unique_ptr<FtpConnection> ftp;
};

TEST_F(FtpConnectionTest, ConnectsOnceAndDisconnectsToAFreshState) {
  EXPECT_EQ(ftp->Status(), 0);
  ASSERT_TRUE(Connect());
  EXPECT_EQ(ftp->Status(), 1);
  EXPECT_EQ(ftp->Directory(), "/");
  // A second connect leaves the first connection as it is.
  EXPECT_FALSE(Connect());
  EXPECT_EQ(ftp->Status(), 1);
  ftp->Disconnect(true);
  EXPECT_EQ(ftp->Status(), 0);
  EXPECT_EQ(ftp->Directory(), "");
  EXPECT_EQ(ftp->Progress(), -1);
  EXPECT_EQ(ftp->EntryType(), -1);
}

TEST_F(FtpConnectionTest, AFailureKeepsTheFirstReplyUntilAsked) {
  EXPECT_FALSE(ftp->Connect("127.0.0.1", "user", "wrong"));
  EXPECT_EQ(ftp->ResponseText().substr(0, 3), "530");
  ASSERT_TRUE(Connect());
  EXPECT_FALSE(ftp->PutFile(Local("missing.txt")));  // the second failure
  EXPECT_EQ(ftp->ResponseText().substr(0, 3), "530");
  EXPECT_EQ(ftp->TakeFailure(), 1);
  EXPECT_EQ(ftp->TakeFailure(), 0);
  EXPECT_FALSE(ftp->SetDirectory("nowhere"));
  EXPECT_EQ(ftp->ResponseText().substr(0, 3), "550");
  EXPECT_EQ(ftp->Status(), 1);  // the connection itself is fine
}

TEST_F(FtpConnectionTest, WalksAListingEntryByEntry) {
  server.PutFile("b.txt", "12345");
  server.PutFile("A.txt", "");
  server.PutFile("sub/x", "x");
  ASSERT_TRUE(Connect());
  EXPECT_EQ(Walk(), (std::vector<std::string>{"A.txt 0 0", "b.txt 0 5", "sub 1 -"}));
  EXPECT_EQ(ftp->EntryType(), -1);
  EXPECT_EQ(ftp->EntryName(), "");
  EXPECT_EQ(ftp->EntrySize(), 0);
  EXPECT_FALSE(ftp->FindNext());
  // An empty folder leaves no entry of the last listing behind.
  ASSERT_TRUE(ftp->FindFirst());
  ASSERT_TRUE(ftp->SetDirectory("sub"));
  ASSERT_TRUE(ftp->SetDirectory("/"));
  server.PutFile("empty/.keep", "");
  fs::remove(fs::path(server.Root()) / "empty/.keep");
  ASSERT_TRUE(ftp->SetDirectory("empty"));
  EXPECT_FALSE(ftp->FindFirst());
  EXPECT_EQ(ftp->EntryType(), -1);
  EXPECT_EQ(ftp->EntryName(), "");
}

// Cut, a name would name no file of the server's: an entry that no program
// text of 255 characters spells (50 CJK characters take 300; U+0085 has no
// mark) is left out of the listing, and the reply says which and why; so is
// one that is a path, which given back would reach another folder. A
// leading drive comes marked, and fetches that file.
TEST_F(FtpConnectionTest, AnEntryThatCannotBeGivenWholeIsLeftOutAndSaidSo) {
  std::string long_name;
  for (int i = 0; i < 50; ++i) long_name += "\xE6\x9D\xB1";
  for (const std::string& name : {std::string("a.txt"), long_name, std::string("c\xC2\x85"), std::string("z.txt"),
                                  std::string("..\\sibling.txt"), std::string("C:x\\settings.cfg"), std::string("C:x")})
    server.PutFile(name, "");
  ASSERT_TRUE(Connect());
  EXPECT_EQ(Walk(), (std::vector<std::string>{"a.txt 0 0", "C\x81" "003A\x81x 0 0", "z.txt 0 0"}));
  EXPECT_EQ(ftp->TakeFailure(), 1);
  // The first reply kept, the last one the cause.
  EXPECT_NE(ftp->ResponseText().find("leaves out \"..\\sibling.t...\": its name is a path"), std::string::npos)
      << ftp->ResponseText();
  EXPECT_NE(ftp->LastCause().find("its name takes more than 255 characters"), std::string::npos) << ftp->LastCause();
  ASSERT_TRUE(ftp->GetFile("C\x81" "003A\x81x", Local("C\x81" "003A\x81x"), 0));
  EXPECT_TRUE(fs::exists(Local("C:x")));
}

TEST_F(FtpConnectionTest, DownloadsAtOnceWithoutHarmingTheOldFileOnFailure) {
  server.PutFile("data.bin", "new contents");
  std::ofstream(Local("data.bin")) << "old";
  std::ofstream(Local("keep.bin")) << "keep";
  ASSERT_TRUE(Connect());
  ASSERT_TRUE(ftp->GetFile("data.bin", Local("data.bin"), 0));
  EXPECT_EQ(ReadLocal(Local("data.bin")), "new contents");
  EXPECT_FALSE(ftp->GetFile("missing.bin", Local("keep.bin"), 0));
  EXPECT_EQ(ReadLocal(Local("keep.bin")), "keep");
  EXPECT_EQ(std::distance(fs::directory_iterator(local), fs::directory_iterator()), 2);
}

TEST_F(FtpConnectionTest, StepsThroughADownloadWithItsProgress) {
  server.PutFile("big.bin", std::string(10000, 'z'));
  ASSERT_TRUE(Connect());
  ASSERT_TRUE(ftp->GetFile("big.bin", Local("big.bin"), 10000));
  EXPECT_EQ(ftp->Progress(), 0);
  std::vector<int32_t> seen;
  for (int step = 0; step < 5; ++step) {
    ftp->Proceed(0);
    seen.push_back(ftp->Progress());
  }
  EXPECT_EQ(seen, (std::vector<int32_t>{30, 61, 92, 100, -1}));
  EXPECT_EQ(ReadLocal(Local("big.bin")), std::string(10000, 'z'));
}

TEST_F(FtpConnectionTest, ADownloadWithoutASizeRunsAtOnce) {
  server.PutFile("small.txt", "small");
  ASSERT_TRUE(Connect());
  ASSERT_TRUE(ftp->GetFile("small.txt", Local("small.txt"), 0));
  EXPECT_EQ(ftp->Progress(), -1);
  EXPECT_EQ(ReadLocal(Local("small.txt")), "small");
}

TEST_F(FtpConnectionTest, TerminatingLeavesNothingOfTheFile) {
  server.PutFile("big.bin", std::string(10000, 'z'));
  std::ofstream(Local("big.bin")) << "earlier";
  ASSERT_TRUE(Connect());
  ASSERT_TRUE(ftp->GetFile("big.bin", Local("big.bin"), 10000));
  ftp->Proceed(0);
  // One transfer at a time: a second waits for the first to end.
  EXPECT_FALSE(ftp->GetFile("big.bin", Local("other.bin"), 10000));
  ftp->Terminate();
  EXPECT_EQ(ftp->Progress(), -1);
  EXPECT_EQ(ReadLocal(Local("big.bin")), "earlier");
  EXPECT_EQ(std::distance(fs::directory_iterator(local), fs::directory_iterator()), 1);
  // A step without a download moves nothing and ends nothing.
  ftp->Proceed(0);
  EXPECT_EQ(ftp->Status(), 1);
}

TEST_F(FtpConnectionTest, UploadsUnderTheSameNameAndDeletes) {
  std::ofstream(Local("up.txt")) << "up";
  ASSERT_TRUE(Connect());
  ASSERT_TRUE(ftp->SetDirectory("/"));
  const fs::path previous = fs::current_path();
  fs::current_path(local);
  EXPECT_TRUE(ftp->PutFile("up.txt"));
  fs::current_path(previous);
  EXPECT_EQ(server.ReadFile("up.txt"), "up");
  EXPECT_TRUE(ftp->DeleteFile("up.txt"));
  EXPECT_FALSE(server.Exists("up.txt"));
  EXPECT_FALSE(ftp->DeleteFile("up.txt"));
  EXPECT_EQ(ftp->TakeFailure(), 0);  // a failed delete keeps no reply
}

// A client whose downloads break after the first step.
class BrokenDownloadClient final : public platform::FtpClient {
 public:
  class BrokenDownload final : public platform::FtpDownload {
   public:
    std::optional<platform::FtpPiece> Read(std::span<uint8_t> buffer) override {
      if (pieces_++ >= 3) return std::nullopt;
      std::fill(buffer.begin(), buffer.end(), 1);
      return platform::FtpPiece{buffer.size(), false};
    }

   private:
    int pieces_ = 0;
  };
  bool Connect(const platform::FtpServer&) override { return true; }
  void Disconnect() override {}
  bool SetDirectory(std::string_view) override { return true; }
  std::string Directory() const override { return "/"; }
  std::optional<std::vector<platform::FtpEntry>> List() override { return std::nullopt; }
  bool Download(std::string_view, const platform::FtpSink&) override { return false; }
  std::unique_ptr<platform::FtpDownload> OpenDownload(std::string_view) override {
    return std::make_unique<BrokenDownload>();
  }
  bool Upload(const std::string&, std::string_view) override { return false; }
  bool Delete(std::string_view) override { return false; }
  std::string LastResponse() const override { return "426 Broken"; }
  bool Responds(uint32_t) override { return true; }
};

// A transfer that broke moves no more bytes: it ends at the step that finds
// it broken, saying how much arrived, and leaves no partial file.
TEST(FtpConnectionWatchdog, ABrokenDownloadEndsAtOnceAndSaysWhatArrived) {
  const fs::path folder = fs::temp_directory_path() / ("zv_ftp_watchdog_" + std::to_string(::getpid()));
  fs::create_directories(folder);
  platform::ManualClock clock(1000);
  FtpConnection ftp([] { return std::make_unique<BrokenDownloadClient>(); }, clock);
  ASSERT_TRUE(ftp.Connect("server", "", ""));
  ASSERT_TRUE(ftp.GetFile("file", (folder / "file").string(), 100000));
  ftp.Proceed(0);
  EXPECT_EQ(ftp.Progress(), 3);  // 3072 of 100000
  ftp.Proceed(0);                 // breaks
  EXPECT_EQ(ftp.Progress(), -1);
  EXPECT_EQ(ftp.TakeFailure(), 1);
  EXPECT_EQ(ftp.ResponseText(), "The download broke off after 3072 bytes of 100000");
  EXPECT_TRUE(fs::is_empty(folder));
  fs::remove_all(folder);
}

// A client whose whole downloads stop after 5,000 bytes: the connection
// broke, or a stop signal ended the wait (which the client says, as
// libcurl's does).
class CutShortClient final : public platform::FtpClient {
 public:
  bool Connect(const platform::FtpServer&) override { return true; }
  void Disconnect() override {}
  bool SetDirectory(std::string_view) override { return false; }
  std::string Directory() const override { return "/"; }
  std::optional<std::vector<platform::FtpEntry>> List() override { return std::nullopt; }
  bool Download(std::string_view, const platform::FtpSink& sink) override {
    const std::vector<uint8_t> piece(5000, 1);
    sink(piece);
    return false;
  }
  std::unique_ptr<platform::FtpDownload> OpenDownload(std::string_view) override { return nullptr; }
  bool Upload(const std::string&, std::string_view) override { return false; }
  bool Delete(std::string_view) override { return false; }
  std::string LastResponse() const override {
    return platform::StopSignal() != 0 ? "The program is ending" : "550 No such folder.";
  }
  bool Responds(uint32_t) override { return true; }
};

// Each failure's own cause, for the warning of the call that failed, while
// the program's `ftp error$()` keeps the first since it last asked; a
// whole download a stop signal ended failed for the signal, whatever bytes
// came before it.
TEST(FtpConnectionCauses, EachFailureSaysItsOwnCause) {
  const fs::path folder = fs::temp_directory_path() / ("zv_ftp_causes_" + std::to_string(::getpid()));
  fs::create_directories(folder);
  platform::ManualClock clock(1000);
  for (bool stopped : {false, true}) {
    SCOPED_TRACE(stopped ? "stopped" : "broken");
    FtpConnection ftp([] { return std::make_unique<CutShortClient>(); }, clock);
    ASSERT_TRUE(ftp.Connect("server", "", ""));
    EXPECT_FALSE(ftp.SetDirectory("nowhere"));
    EXPECT_EQ(ftp.LastCause(), "550 No such folder.");
    if (stopped) {
      platform::CatchStopSignals();
      std::raise(SIGTERM);
    }
    EXPECT_FALSE(ftp.GetFile("file", (folder / "file").string(), 0));
    EXPECT_EQ(ftp.LastCause(), stopped ? "The program is ending" : "The download broke off after 5000 bytes");
    EXPECT_EQ(ftp.ResponseText(), "550 No such folder.");
    EXPECT_TRUE(fs::is_empty(folder));
    platform::ClearStopSignal();
    std::signal(SIGTERM, SIG_DFL);
  }
  fs::remove_all(folder);
}

// The server's process is stopped mid-download, so it keeps the
// connections open and answers nothing. No step waits for the server
// longer than a fraction of a second, and ten seconds of the game's clock after the last
// byte arrived the watchdog ends the download: progress -1, a failure the
// program can read, no partial file, and a connection that is closed since
// the server no longer answers.
TEST(FtpConnectionStall, AStoppedServerHoldsNoStepAndTheWatchdogEndsTheDownload) {
  test::LocalFtpServer server;
  ZV_SKIP_WITHOUT_FTP_SERVER(server);
  server.PutFile("big.bin", std::string(16u << 20, 'q'));
  const fs::path folder = server.Root() + ".stall";
  fs::create_directories(folder);
  platform::ManualClock clock(1000);
  // libcurl's own stall limit lies far beyond the watchdog's.
  FtpConnection ftp([] { return platform::CreateCurlFtpClient(platform::FtpClientOptions{2000, 60000, 50}); }, clock,
                    server.Port());
  ASSERT_TRUE(ftp.Connect("127.0.0.1", "user", "secret"));
  // A small total makes every step that moves bytes change the progress.
  ASSERT_TRUE(ftp.GetFile("big.bin", (folder / "big.bin").string(), 3072 * 10));
  server.Pause();

  constexpr uint32_t kFrameMs = 250;
  double longest = 0;
  uint32_t last_change = clock.NowMs();
  for (int32_t progress = 0; ftp.Progress() != -1 && clock.NowMs() - last_change <= 20000;) {
    longest = std::max(longest, test::BlockedSecondsOf([&] { ftp.Proceed(0); }));
    if (ftp.Progress() != progress && ftp.Progress() != -1) {
      progress = ftp.Progress();
      last_change = clock.NowMs();
    }
    clock.Advance(kFrameMs);
  }
  // A step's own waits come to 0.6 s at most (a read's 50 ms, a question's
  // 250 ms, a farewell's 300 ms); one held by the silence waits for
  // libcurl's 60 s. The time a loaded machine keeps the step from running
  // is not counted.
  std::printf("the longest step waited %.3f s (bound 2 s)\n", longest);
  EXPECT_LT(longest, 2.0);
  EXPECT_EQ(ftp.Progress(), -1);
  EXPECT_GT(clock.NowMs() - last_change, FtpConnection::kStallLimitMs);
  EXPECT_LE(clock.NowMs() - last_change, FtpConnection::kStallLimitMs + 2 * kFrameMs);
  EXPECT_EQ(ftp.Status(), 0);
  EXPECT_EQ(ftp.ResponseText(), "The download stopped: nothing arrived for 10 seconds");
  EXPECT_EQ(ftp.TakeFailure(), 1);
  EXPECT_TRUE(fs::is_empty(folder));

  server.Resume();
  ASSERT_TRUE(ftp.Connect("127.0.0.1", "user", "secret"));
  EXPECT_EQ(ftp.Status(), 1);
  fs::remove_all(folder);
}

}  // namespace
}  // namespace zv
