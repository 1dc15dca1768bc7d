// A slow lossy link for one process, preloaded (LD_PRELOAD): each UDP
// datagram it sends with sendmsg (as ENet does) goes ZV_LOSSY_DELAY_MS
// later, on the process's next send or receive, and of those on ENet links
// ZV_LOSSY_DROP says which are lost, as a link that loses many may lose them
// (the game's networking is the main thread's alone):
//   handshake   every one that acknowledges the handshake's last step
//               (sequence 1 of ENet's own channel)
//   messages:N  the first N that carry a guaranteed message of a channel of
//               the game's (a joiner's Join, and the Join sent again)
//   random:P    P % of them, any (connection requests included), drawn
//               from ZV_LOSSY_SEED where it is given, so that a scenario
//               meets the same losses every time
// Where ZV_LOSSY_MARK names a file, it is made as a connection request
// leaves, so that a test can act the moment the host takes it; where
// ZV_LOSSY_JOIN_MARK does, as the first datagram that carries a guaranteed
// message of the game's (a joiner's Join) leaves or is lost. With
// ZV_LOSSY_STOP=1 the process stops itself (SIGSTOP) once that datagram
// left, so that a test can stop a joiner part-way through its join.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

enum { kMaxHeld = 512, kMaxBytes = 4096 };

static struct Held {
  int fd;
  uint64_t due;
  struct sockaddr_storage address;
  socklen_t address_length;
  size_t length;
  unsigned char bytes[kMaxBytes];
} held[kMaxHeld];
static int held_count;
static ssize_t (*real_sendmsg)(int, const struct msghdr*, int);
static ssize_t (*real_recvmsg)(int, struct msghdr*, int);

static uint64_t NowMs(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return (uint64_t)t.tv_sec * 1000 + (uint64_t)t.tv_nsec / 1000000;
}

// What a datagram of an ENet link that is up (its header names a link, not
// 0xFFF; not one of the game's own "ZVN") carries: an acknowledgement of
// the handshake's last step (1), a guaranteed message of a channel of the
// game's (2).
enum { kAcknowledges = 1, kMessage = 2 };
static int Carries(const unsigned char* bytes, size_t length) {
  static const size_t kSize[13] = {0, 8, 48, 44, 8, 4, 6, 8, 24, 8, 12, 16, 24};
  if (length < 4 || memcmp(bytes, "ZVN", 3) == 0 || ((bytes[0] << 8 | bytes[1]) & 0x0FFF) == 0x0FFF) return 0;
  int carries = 0;
  for (size_t at = bytes[0] & 0x80 ? 4 : 2; at + 4 <= length;) {
    const unsigned command = bytes[at] & 0x0F;
    if (command == 0 || command > 12 || at + kSize[command] > length) break;
    if (command == 1 && bytes[at + 1] == 0xFF && bytes[at + 4] == 0 && bytes[at + 5] == 1) carries |= kAcknowledges;
    if (command == 6 && bytes[at + 1] != 0xFF) carries |= kMessage;
    size_t data = command == 6 ? (size_t)(bytes[at + 4] << 8 | bytes[at + 5]) : 0;
    if (command == 7 || command == 8 || command == 9 || command == 12) data = (size_t)(bytes[at + 6] << 8 | bytes[at + 7]);
    at += kSize[command] + data;
  }
  return carries;
}

// Where `carries` holds a guaranteed message: makes the file
// ZV_LOSSY_JOIN_MARK names, once; and once it was `sent`, with
// ZV_LOSSY_STOP=1, stops the process.
static void FirstMessage(int carries, int sent) {
  static int marked, stopped;
  if (!(carries & kMessage)) return;
  const char* mark = getenv("ZV_LOSSY_JOIN_MARK");
  if (mark && !marked) close(open(mark, O_WRONLY | O_CREAT | O_CLOEXEC, 0600));
  marked = 1;
  const char* stop = getenv("ZV_LOSSY_STOP");
  if (!sent || stopped || !stop || strcmp(stop, "1") != 0) return;
  stopped = 1;
  raise(SIGSTOP);
}

// Whether ZV_LOSSY_DROP loses this datagram of an ENet link that is up, by
// the commands it carries, or any of ENet's at random.
static int Lost(const unsigned char* bytes, size_t length) {
  static long messages = -1;
  const char* drop = getenv("ZV_LOSSY_DROP");
  if (messages < 0) messages = drop && strncmp(drop, "messages:", 9) == 0 ? strtol(drop + 9, NULL, 10) : 0;
  if (length < 4 || memcmp(bytes, "ZVN", 3) == 0) return 0;
  static unsigned seed;
  if (!seed) {
    const char* fixed = getenv("ZV_LOSSY_SEED");
    seed = fixed ? (unsigned)atoi(fixed) : (unsigned)getpid();
  }
  if (drop && strncmp(drop, "random:", 7) == 0) return rand_r(&seed) % 100 < atoi(drop + 7);
  const int carries = Carries(bytes, length);
  if (drop && strcmp(drop, "handshake") == 0 && (carries & kAcknowledges)) return 1;
  const int lost = (carries & kMessage) && messages > 0 && messages-- > 0;
  if (lost) FirstMessage(carries, 0);
  return lost;
}

// Whether the datagram is ENet's connection request: no link yet, and a
// CONNECT after the header with its sent time.
static int ConnectRequest(const unsigned char* b, size_t length) {
  return length > 4 && b[0] == 0x8F && b[1] == 0xFF && (b[4] & 0x0F) == 2;
}

static void SendDue(void) {
  int sent = 0;
  for (const uint64_t now = NowMs(); sent < held_count && held[sent].due <= now; ++sent) {
    struct iovec io = {held[sent].bytes, held[sent].length};
    struct msghdr m = {&held[sent].address, held[sent].address_length, &io, 1, NULL, 0, 0};
    real_sendmsg(held[sent].fd, &m, MSG_NOSIGNAL);
    const char* mark = getenv("ZV_LOSSY_MARK");
    if (mark && ConnectRequest(held[sent].bytes, held[sent].length)) close(open(mark, O_WRONLY | O_CREAT | O_CLOEXEC, 0600));
    FirstMessage(Carries(held[sent].bytes, held[sent].length), 1);
  }
  memmove(held, held + sent, (size_t)(held_count - sent) * sizeof held[0]);
  held_count -= sent;
}

ssize_t sendmsg(int fd, const struct msghdr* message, int flags) {
  if (!real_sendmsg) real_sendmsg = dlsym(RTLD_NEXT, "sendmsg");
  int type = 0;
  socklen_t type_length = sizeof type;
  if (getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &type_length) != 0 || type != SOCK_DGRAM || !message->msg_name ||
      held_count == kMaxHeld) {
    return real_sendmsg(fd, message, flags);
  }
  struct Held* h = &held[held_count];
  size_t length = 0;
  for (size_t i = 0; i < message->msg_iovlen && length < kMaxBytes; ++i) {
    size_t n = message->msg_iov[i].iov_len < kMaxBytes - length ? message->msg_iov[i].iov_len : kMaxBytes - length;
    memcpy(h->bytes + length, message->msg_iov[i].iov_base, n);
    length += n;
  }
  if (!Lost(h->bytes, length)) {
    const char* delay = getenv("ZV_LOSSY_DELAY_MS");
    h->fd = fd;
    h->due = NowMs() + (delay ? strtoull(delay, NULL, 10) : 0);
    h->length = length;
    h->address_length = message->msg_namelen;
    memcpy(&h->address, message->msg_name, message->msg_namelen);
    ++held_count;
  }
  SendDue();
  return (ssize_t)length;
}

ssize_t recvmsg(int fd, struct msghdr* message, int flags) {
  if (!real_recvmsg) real_recvmsg = dlsym(RTLD_NEXT, "recvmsg");
  if (real_sendmsg) SendDue();
  return real_recvmsg(fd, message, flags);
}
