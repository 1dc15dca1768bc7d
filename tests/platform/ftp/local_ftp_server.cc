#include "tests/platform/ftp/local_ftp_server.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

extern char** environ;

namespace zv::test {
namespace {

namespace fs = std::filesystem;

// Serves `root` (argv 1) on a free loopback port and prints that port
// first. The process stops itself (as SIGSTOP from outside would) once, on
// the command named by argv 2, or on "data" once its first data transfer
// has moved bytes. The reply that ends a transfer comes argv 3
// milliseconds after its data.
constexpr const char* kServerScript = R"(
import logging, os, signal, sys, time
from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import DTPHandler, FTPHandler
from pyftpdlib.servers import FTPServer
logging.disable(logging.CRITICAL)
stop_on = [sys.argv[2]]
def halt(when):
    if stop_on[0] and stop_on[0] == when:
        stop_on[0] = ''
        os.kill(os.getpid(), signal.SIGSTOP)
class Data(DTPHandler):
    def send(self, data):
        sent = super().send(data)
        halt('data')
        return sent
    def recv(self, size):
        got = super().recv(size)
        halt('data')
        return got
late = int(sys.argv[3]) / 1000
class Control(FTPHandler):
    def pre_process_command(self, line, cmd, arg):
        halt(cmd)
        return super().pre_process_command(line, cmd, arg)
    def respond(self, resp, logfun=logging.debug):
        if late and resp.startswith('226'):
            time.sleep(late)
        return super().respond(resp, logfun)
authorizer = DummyAuthorizer()
authorizer.add_user('user', 'secret', sys.argv[1], perm='elradfmwMT')
Control.authorizer = authorizer
Control.auth_failed_timeout = 0
Control.dtp_handler = Data
Control.use_sendfile = False
server = FTPServer(("127.0.0.1", 0), Control)
print(server.address[1], flush=True)
server.serve_forever()
)";

// The server gives its port within a second; a machine busy with other
// work may hold its start far longer, which is no reason to skip a row.
// The wait ends at once if the server exits.
constexpr int kStartWaitMs = 180000;

// The Debian interpreter first: another python3 earlier on the PATH may
// not see the Debian package.
std::string FindPython() {
  for (const char* python : {"/usr/bin/python3", "python3"}) {
    const std::string probe = std::string(python) + " -c 'import pyftpdlib' >/dev/null 2>&1";
    if (std::system(probe.c_str()) == 0) return python;
  }
  return {};
}

}  // namespace

LocalFtpServer::LocalFtpServer(const std::string& stop_on, int late_reply_ms) {
  const std::string python = FindPython();
  if (python.empty()) {
    problem_ = "python3-pyftpdlib is not installed";
    return;
  }
  installed_ = true;
  std::string pattern = (fs::temp_directory_path() / "zv-ftp-XXXXXX").string();
  int pipe_fds[2];
  if (!mkdtemp(pattern.data()) || pipe(pipe_fds) != 0) {
    problem_ = std::string("no folder or pipe for the FTP server: ") + std::strerror(errno);
    return;
  }
  root_ = pattern;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, pipe_fds[0]);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  const std::string late = std::to_string(late_reply_ms);
  const char* argv[] = {python.c_str(), "-c", kServerScript, root_.c_str(), stop_on.c_str(), late.c_str(), nullptr};
  const int spawned =
      posix_spawnp(&pid_, python.c_str(), &actions, nullptr, const_cast<char* const*>(argv), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(pipe_fds[1]);
  if (spawned != 0) {
    pid_ = 0;
    close(pipe_fds[0]);
    problem_ = python + " could not start: " + std::strerror(spawned);
    return;
  }

  std::string line;
  pollfd p{pipe_fds[0], POLLIN, 0};
  const auto start = std::chrono::steady_clock::now();
  int waited_ms = 0;
  while (line.find('\n') == std::string::npos && waited_ms < kStartWaitMs) {
    const int ready = poll(&p, 1, kStartWaitMs - waited_ms);
    waited_ms = static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count());
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) break;
    char buffer[64];
    const ssize_t n = read(pipe_fds[0], buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    line.append(buffer, static_cast<size_t>(n));
  }
  close(pipe_fds[0]);
  const int port = std::atoi(line.c_str());
  if (port > 0 && port < 65536) {
    port_ = static_cast<uint16_t>(port);
    return;
  }
  int status = 0;
  if (waitpid(pid_, &status, WNOHANG) == pid_) {
    pid_ = 0;
    problem_ = "the FTP server exited before giving its port (" +
               (WIFEXITED(status) ? "status " + std::to_string(WEXITSTATUS(status))
                                  : "signal " + std::to_string(WTERMSIG(status))) +
               ")";
  } else {
    problem_ = "the FTP server gave no port in " + std::to_string(waited_ms / 1000) + " s";
  }
}

LocalFtpServer::~LocalFtpServer() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    kill(pid_, SIGCONT);  // a paused server acts on the SIGTERM only once it runs
    waitpid(pid_, nullptr, 0);
  }
  if (!root_.empty()) {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }
}

void LocalFtpServer::PutFile(const std::string& name, const std::string& contents) const {
  const fs::path path = fs::path(root_) / name;
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << contents;
}

std::string LocalFtpServer::ReadFile(const std::string& name) const {
  std::ifstream in(fs::path(root_) / name, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void LocalFtpServer::Pause() const {
  if (pid_ > 0) kill(pid_, SIGSTOP);
}

void LocalFtpServer::Resume() const {
  if (pid_ > 0) kill(pid_, SIGCONT);
}

bool LocalFtpServer::Exists(const std::string& name) const { return fs::exists(fs::path(root_) / name); }

}  // namespace zv::test
