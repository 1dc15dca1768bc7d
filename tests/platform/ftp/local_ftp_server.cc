#include "tests/platform/ftp/local_ftp_server.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
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

// How long the server may take to start.
constexpr int kStartWaitMs = 10000;

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
  if (python.empty()) return;
  std::string pattern = (fs::temp_directory_path() / "zv-ftp-XXXXXX").string();
  if (!mkdtemp(pattern.data())) return;
  root_ = pattern;

  int pipe_fds[2];
  if (pipe(pipe_fds) != 0) return;
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
    return;
  }

  std::string line;
  pollfd p{pipe_fds[0], POLLIN, 0};
  while (line.find('\n') == std::string::npos && poll(&p, 1, kStartWaitMs) > 0) {
    char buffer[64];
    const ssize_t n = read(pipe_fds[0], buffer, sizeof buffer);
    if (n <= 0) break;
    line.append(buffer, static_cast<size_t>(n));
  }
  close(pipe_fds[0]);
  const int port = std::atoi(line.c_str());
  if (port > 0 && port < 65536) port_ = static_cast<uint16_t>(port);
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
