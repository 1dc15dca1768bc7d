// The libcurl FTP client against a local pyftpdlib server.
#include <gtest/gtest.h>

#include <filesystem>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>

#include "platform/ftp/ftp_client.h"
#include "tests/platform/ftp/local_ftp_server.h"
#include "tests/support/thread_times.h"

namespace zv::platform {
namespace {

namespace fs = std::filesystem;

class FtpClientTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ZV_SKIP_WITHOUT_FTP_SERVER(server);
    client = CreateCurlFtpClient(FtpClientOptions{2000, 3000});
  }

  bool Connect() { return client->Connect(FtpServer{"127.0.0.1", server.Port(), "user", "secret"}); }

  std::string DownloadText(std::string_view name) {
    std::string text;
    if (!client->Download(name, [&](std::span<const uint8_t> b) {
          text.append(b.begin(), b.end());
          return true;
        }))
      return "<failed>";
    return text;
  }

  test::LocalFtpServer server;
  std::unique_ptr<FtpClient> client;
};

TEST_F(FtpClientTest, ConnectsAndStartsInTheServersFolder) {
  ASSERT_TRUE(Connect());
  EXPECT_EQ(client->Directory(), "/");
}

TEST_F(FtpClientTest, AWrongPasswordFailsWithTheServersReply) {
  EXPECT_FALSE(client->Connect(FtpServer{"127.0.0.1", server.Port(), "user", "wrong"}));
  EXPECT_EQ(client->LastResponse().substr(0, 3), "530");
  EXPECT_EQ(client->Directory(), "");
}

TEST_F(FtpClientTest, NoServerFailsWithAReason) {
  auto quick = CreateCurlFtpClient(FtpClientOptions{500, 500});
  EXPECT_FALSE(quick->Connect(FtpServer{"127.0.0.1", 1, "user", "secret"}));
  EXPECT_FALSE(quick->LastResponse().empty());
  EXPECT_FALSE(quick->Connect(FtpServer{"host/../x", 21, "", ""}));
}

TEST_F(FtpClientTest, ListsTheCurrentFolderSortedWithFoldersMarked) {
  server.PutFile("b.txt", "12345");
  server.PutFile("A.txt", "1");
  server.PutFile("sub/inner.txt", "x");
  ASSERT_TRUE(Connect());
  auto entries = client->List();
  ASSERT_TRUE(entries);
  ASSERT_EQ(entries->size(), 3u);
  EXPECT_EQ((*entries)[0].name, "A.txt");
  EXPECT_EQ((*entries)[1].name, "b.txt");
  EXPECT_EQ((*entries)[1].size, 5u);
  EXPECT_FALSE((*entries)[1].directory);
  EXPECT_EQ((*entries)[2].name, "sub");
  EXPECT_TRUE((*entries)[2].directory);
}

TEST_F(FtpClientTest, ChangesFolderRelativelyAbsolutelyAndBackUp) {
  server.PutFile("one/two three/deep.txt", "deep");
  ASSERT_TRUE(Connect());
  ASSERT_TRUE(client->SetDirectory("one"));
  ASSERT_TRUE(client->SetDirectory("two three"));
  EXPECT_EQ(client->Directory(), "/one/two three");
  EXPECT_EQ(DownloadText("deep.txt"), "deep");
  ASSERT_TRUE(client->SetDirectory(".."));
  EXPECT_EQ(client->Directory(), "/one");
  EXPECT_FALSE(client->SetDirectory("missing"));
  EXPECT_EQ(client->LastResponse().substr(0, 3), "550");
  EXPECT_EQ(client->Directory(), "/one");
  ASSERT_TRUE(client->SetDirectory("/"));
  auto entries = client->List();
  ASSERT_TRUE(entries);
  ASSERT_EQ(entries->size(), 1u);
  EXPECT_EQ((*entries)[0].name, "one");
}

TEST_F(FtpClientTest, DownloadsWholeAndRefusesWhatIsMissing) {
  server.PutFile("data.bin", std::string("a\0b\r\nc", 6));
  ASSERT_TRUE(Connect());
  EXPECT_EQ(DownloadText("data.bin"), std::string("a\0b\r\nc", 6));
  EXPECT_EQ(DownloadText("nothing.bin"), "<failed>");
  EXPECT_EQ(client->LastResponse().substr(0, 3), "550");
}

TEST_F(FtpClientTest, ReadsADownloadPieceByPiece) {
  std::string big(10000, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7);
  server.PutFile("big.bin", big);
  ASSERT_TRUE(Connect());
  EXPECT_EQ(client->OpenDownload("missing.bin"), nullptr);
  auto download = client->OpenDownload("big.bin");
  ASSERT_NE(download, nullptr);
  std::string got;
  std::vector<uint8_t> buffer(1024);
  for (;;) {
    std::optional<FtpPiece> piece = download->Read(buffer);
    ASSERT_TRUE(piece);
    got.append(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(piece->bytes));
    if (piece->ended) break;
  }
  EXPECT_EQ(got, big);
  // The session's own connection stays usable meanwhile.
  EXPECT_TRUE(client->List());
}

TEST_F(FtpClientTest, UploadsAndDeletes) {
  const fs::path local = fs::path(server.Root()).parent_path() / (fs::path(server.Root()).filename().string() + ".up");
  std::ofstream(local, std::ios::binary) << "uploaded";
  ASSERT_TRUE(Connect());
  ASSERT_TRUE(client->Upload(local.string(), "new.txt"));
  EXPECT_EQ(server.ReadFile("new.txt"), "uploaded");
  EXPECT_TRUE(client->Delete("new.txt"));
  EXPECT_FALSE(server.Exists("new.txt"));
  EXPECT_FALSE(client->Delete("new.txt"));
  EXPECT_EQ(client->LastResponse().substr(0, 3), "550");
  EXPECT_FALSE(client->Upload("/nonexistent/file", "x.txt"));
  fs::remove(local);
}

TEST_F(FtpClientTest, NamesCannotCarryFurtherCommands) {
  server.PutFile("keep.txt", "k");
  ASSERT_TRUE(Connect());
  EXPECT_FALSE(client->Delete("x\r\nDELE keep.txt"));
  EXPECT_TRUE(server.Exists("keep.txt"));
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// How long a call kept its thread blocked (tests/support/thread_times.h:
// the time a loaded machine keeps it from running is not counted), against
// its bound: each bound lies between what the client's own waits allow and
// what the fault it guards takes, far enough from both.
void ExpectWithin(double seconds, double bound, const std::string& what) {
  std::printf("%s: waited %.3f s (bound %.3f s)\n", what.c_str(), seconds, bound);
  EXPECT_LT(seconds, bound) << what;
}

// The server's process is stopped mid-download: its connections stay open
// and nothing answers. A read still comes back within its wait, the
// transfer fails once the stall timeout has passed, and asking, saying
// goodbye and connecting anew are all bounded.
TEST_F(FtpClientTest, AServerThatStopsAnsweringHoldsNoCallLong) {
  server.PutFile("big.bin", std::string(16u << 20, 'q'));
  const FtpServer login{"127.0.0.1", server.Port(), "user", "secret"};
  auto loading = CreateCurlFtpClient(FtpClientOptions{1000, 3000, 50});
  auto idle = CreateCurlFtpClient(FtpClientOptions{1000, 5000, 50});
  ASSERT_TRUE(loading->Connect(login));
  ASSERT_TRUE(idle->Connect(login));
  ASSERT_TRUE(idle->List());
  auto download = loading->OpenDownload("big.bin");
  ASSERT_NE(download, nullptr);
  std::vector<uint8_t> buffer(1024);
  server.Pause();

  const auto paused = std::chrono::steady_clock::now();
  const test::ThreadTimer since_paused;
  double longest = 0;
  std::optional<FtpPiece> piece;
  do {
    longest = std::max(longest, test::BlockedSecondsOf([&] { piece = download->Read(buffer); }));
  } while (piece && !piece->ended && SecondsSince(paused) < 20);
  EXPECT_FALSE(piece) << "the silent transfer did not fail";
  // A read waits 50 ms; one held by the silence would wait the 3 s stall.
  ExpectWithin(longest, 1.5, "the longest read");
  // libcurl judges the speed over its last five seconds; a transfer that
  // never failed would run on to the loop's 20 s.
  ExpectWithin(since_paused.BlockedSeconds(), 3 + 5 + 5, "the silent transfer's failure");

  // A farewell takes 0.3 s at most, a reply the 3 s stall (5 s when idle).
  ExpectWithin(test::BlockedSecondsOf([&] { download.reset(); }), 1.5, "closing the download");
  ExpectWithin(test::BlockedSecondsOf([&] { idle->Disconnect(); }), 1.5, "the idle client's goodbye");
  bool answered = true;
  ExpectWithin(test::BlockedSecondsOf([&] { answered = loading->Responds(250); }), 1.5, "asking within 250 ms");
  EXPECT_FALSE(answered);
  ExpectWithin(test::BlockedSecondsOf([&] { loading->Disconnect(); }), 1.5, "the goodbye");
  ExpectWithin(test::BlockedSecondsOf([&] { EXPECT_FALSE(loading->Connect(login)); }), 3.0, "connecting again");

  server.Resume();
  ASSERT_TRUE(loading->Connect(login));
  EXPECT_TRUE(loading->Responds(0));
}

// A server that stops answering in the middle of a call that waits for
// it: the call gives up once the server has been silent for the stall
// timeout, whether it stopped inside a transfer or before answering a
// goodbye (which is kept short like any farewell).
TEST(FtpClientSilence, ACallThatWaitsGivesUpAfterTheStallTimeout) {
  constexpr uint32_t kStallMs = 2000;
  const std::string big(16u << 20, 'q');
  struct Case {
    const char* stop_on;
    std::function<void(FtpClient&, const std::string& folder)> call;
    double at_most_seconds;
  };
  const Case cases[] = {
      {"data",
       [](FtpClient& c, const std::string&) {
         EXPECT_FALSE(c.Download("big.bin", [](std::span<const uint8_t>) { return true; }));
       },
       kStallMs / 1000.0 + 3},
      {"data",
       [](FtpClient& c, const std::string& folder) { EXPECT_FALSE(c.Upload(folder + "/up.bin", "up.bin")); },
       kStallMs / 1000.0 + 3},
      // A farewell takes 0.3 s at most; held by the silence, the 2 s stall.
      {"QUIT", [](FtpClient& c, const std::string&) { c.Disconnect(); }, 1.0},
  };
  for (const Case& one : cases) {
    test::LocalFtpServer server(one.stop_on);
    ZV_SKIP_WITHOUT_FTP_SERVER(server);
    server.PutFile("big.bin", big);
    server.PutFile("local/up.bin", big);
    auto client = CreateCurlFtpClient(FtpClientOptions{1000, kStallMs, 50});
    ASSERT_TRUE(client->Connect(FtpServer{"127.0.0.1", server.Port(), "user", "secret"}));
    const double waited = test::BlockedSecondsOf([&] { one.call(*client, server.Root() + "/local"); });
    ExpectWithin(waited, one.at_most_seconds, std::string("silent at ") + one.stop_on);
  }
}

TEST_F(FtpClientTest, NothingWorksBeforeConnecting) {
  EXPECT_FALSE(client->List());
  EXPECT_FALSE(client->SetDirectory("x"));
  EXPECT_EQ(client->OpenDownload("x"), nullptr);
  EXPECT_EQ(client->LastResponse(), "Not connected");
  EXPECT_FALSE(client->Responds(0));
}

}  // namespace
}  // namespace zv::platform
