// A slow lossy link for one process, preloaded (LD_PRELOAD): every UDP
// datagram it sends or receives through sendmsg, recvmsg and poll (as ENet
// does) is held back ZV_LOSSY_DELAY_MS, and of the datagrams it sends on
// ENet links, ZV_LOSSY_DROP says which are lost, as a link that loses many
// may lose them:
//   handshake   every one that acknowledges the handshake's last step
//               (sequence 1 of ENet's own channel), its first answer too
//   messages:N  the first N that carry a guaranteed message of a channel of
//               the game's (a joiner's Join, and the Join sent again)
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <poll.h>
#include <pthread.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <time.h>

enum { kMaxHeld = 512, kMaxBytes = 4096 };

typedef struct {
  int fd;
  uint64_t due;
  struct sockaddr_storage address;
  socklen_t address_length;
  size_t length;
  unsigned char bytes[kMaxBytes];
} Held;

static Held outgoing[kMaxHeld], incoming[kMaxHeld];
static int outgoing_count, incoming_count;
static pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
static ssize_t (*real_sendmsg)(int, const struct msghdr*, int);
static ssize_t (*real_recvmsg)(int, struct msghdr*, int);
static int (*real_poll)(struct pollfd*, nfds_t, int);
static uint64_t delay_ms;
static int drop_handshake;
static long drop_messages;

static uint64_t NowMs(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return (uint64_t)t.tv_sec * 1000 + (uint64_t)t.tv_nsec / 1000000;
}

static void Start(void) {
  if (real_sendmsg) return;
  real_sendmsg = dlsym(RTLD_NEXT, "sendmsg");
  real_recvmsg = dlsym(RTLD_NEXT, "recvmsg");
  real_poll = dlsym(RTLD_NEXT, "poll");
  const char* delay = getenv("ZV_LOSSY_DELAY_MS");
  const char* drop = getenv("ZV_LOSSY_DROP");
  delay_ms = delay ? strtoull(delay, NULL, 10) : 0;
  drop_handshake = drop && strcmp(drop, "handshake") == 0;
  drop_messages = drop && strncmp(drop, "messages:", 9) == 0 ? strtol(drop + 9, NULL, 10) : 0;
}

static int IsUdp(int fd) {
  int type = 0;
  socklen_t length = sizeof type;
  return getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &length) == 0 && type == SOCK_DGRAM;
}

// Whether ZV_LOSSY_DROP loses this datagram: one of an ENet link that is
// up (its header names a link, not 0xFFF, and it is none of the game's
// own), by the commands it carries.
static int Lost(const unsigned char* bytes, size_t length) {
  static const size_t kSize[13] = {0, 8, 48, 44, 8, 4, 6, 8, 24, 8, 12, 16, 24};
  if (length < 4 || memcmp(bytes, "ZVN", 3) == 0 || ((bytes[0] << 8 | bytes[1]) & 0x0FFF) == 0x0FFF) return 0;
  int acknowledges = 0, message = 0;
  for (size_t at = bytes[0] & 0x80 ? 4 : 2; at + 4 <= length;) {
    const unsigned command = bytes[at] & 0x0F;
    if (command == 0 || command > 12 || at + kSize[command] > length) break;
    if (command == 1 && bytes[at + 1] == 0xFF && bytes[at + 4] == 0 && bytes[at + 5] == 1) acknowledges = 1;
    if (command == 6 && bytes[at + 1] != 0xFF) message = 1;
    size_t data = 0;
    if (command == 6) data = (size_t)(bytes[at + 4] << 8 | bytes[at + 5]);
    if (command == 7 || command == 8 || command == 9 || command == 12) data = (size_t)(bytes[at + 6] << 8 | bytes[at + 7]);
    at += kSize[command] + data;
  }
  if (drop_handshake && acknowledges) return 1;
  if (drop_messages > 0 && message) return drop_messages-- > 0;
  return 0;
}

static void Remove(Held* queue, int* count, int i) {
  memmove(&queue[i], &queue[i + 1], (size_t)(*count - i - 1) * sizeof(Held));
  --*count;
}

static void SendDue(void) {
  const uint64_t now = NowMs();
  while (outgoing_count > 0 && outgoing[0].due <= now) {
    Held* h = &outgoing[0];
    struct iovec io = {h->bytes, h->length};
    struct msghdr m = {&h->address, h->address_length, &io, 1, NULL, 0, 0};
    real_sendmsg(h->fd, &m, MSG_NOSIGNAL);
    Remove(outgoing, &outgoing_count, 0);
  }
}

static void TakeIn(int fd) {
  while (incoming_count < kMaxHeld) {
    Held* h = &incoming[incoming_count];
    struct iovec io = {h->bytes, sizeof h->bytes};
    struct msghdr m = {&h->address, sizeof h->address, &io, 1, NULL, 0, 0};
    const ssize_t n = real_recvmsg(fd, &m, MSG_DONTWAIT);
    if (n < 0) return;
    h->fd = fd;
    h->address_length = m.msg_namelen;
    h->length = (size_t)n;
    h->due = NowMs() + delay_ms;
    ++incoming_count;
  }
}

static int DueIn(int fd) {
  const uint64_t now = NowMs();
  for (int i = 0; i < incoming_count; ++i)
    if (incoming[i].fd == fd && incoming[i].due <= now) return i;
  return -1;
}

ssize_t sendmsg(int fd, const struct msghdr* message, int flags) {
  pthread_mutex_lock(&lock);
  Start();
  if (!IsUdp(fd) || outgoing_count == kMaxHeld || !message->msg_name) {
    pthread_mutex_unlock(&lock);
    return real_sendmsg(fd, message, flags);
  }
  Held* h = &outgoing[outgoing_count];
  size_t length = 0;
  for (size_t i = 0; i < message->msg_iovlen && length < kMaxBytes; ++i) {
    size_t n = message->msg_iov[i].iov_len;
    if (n > kMaxBytes - length) n = kMaxBytes - length;
    memcpy(h->bytes + length, message->msg_iov[i].iov_base, n);
    length += n;
  }
  if (!Lost(h->bytes, length)) {
    h->fd = fd;
    h->length = length;
    h->due = NowMs() + delay_ms;
    memcpy(&h->address, message->msg_name, message->msg_namelen);
    h->address_length = message->msg_namelen;
    ++outgoing_count;
  }
  SendDue();
  pthread_mutex_unlock(&lock);
  return (ssize_t)length;
}

ssize_t recvmsg(int fd, struct msghdr* message, int flags) {
  pthread_mutex_lock(&lock);
  Start();
  if (!IsUdp(fd)) {
    pthread_mutex_unlock(&lock);
    return real_recvmsg(fd, message, flags);
  }
  SendDue();
  TakeIn(fd);
  const int i = DueIn(fd);
  if (i < 0) {
    pthread_mutex_unlock(&lock);
    errno = EAGAIN;
    return -1;
  }
  Held* h = &incoming[i];
  size_t at = 0;
  for (size_t k = 0; k < message->msg_iovlen && at < h->length; ++k) {
    size_t n = message->msg_iov[k].iov_len;
    if (n > h->length - at) n = h->length - at;
    memcpy(message->msg_iov[k].iov_base, h->bytes + at, n);
    at += n;
  }
  if (message->msg_name) {
    socklen_t n = message->msg_namelen < h->address_length ? message->msg_namelen : h->address_length;
    memcpy(message->msg_name, &h->address, n);
    message->msg_namelen = h->address_length;
  }
  message->msg_flags = at < h->length ? MSG_TRUNC : 0;
  Remove(incoming, &incoming_count, i);
  pthread_mutex_unlock(&lock);
  return (ssize_t)at;
}

// Waits as asked, but a datagram held back counts as arriving when it is
// due, and one that came is not there until then.
int poll(struct pollfd* fds, nfds_t count, int timeout_ms) {
  pthread_mutex_lock(&lock);
  Start();
  pthread_mutex_unlock(&lock);
  const uint64_t end = timeout_ms < 0 ? UINT64_MAX : NowMs() + (uint64_t)timeout_ms;
  for (;;) {
    pthread_mutex_lock(&lock);
    SendDue();
    uint64_t next = end;
    int ready = 0;
    for (nfds_t i = 0; i < count; ++i) {
      fds[i].revents = 0;
      if (!(fds[i].events & POLLIN) || !IsUdp(fds[i].fd)) continue;
      TakeIn(fds[i].fd);
      if (DueIn(fds[i].fd) >= 0) {
        fds[i].revents = POLLIN;
        ++ready;
      }
    }
    for (int i = 0; i < incoming_count; ++i)
      if (incoming[i].due < next) next = incoming[i].due;
    if (outgoing_count > 0 && outgoing[0].due < next) next = outgoing[0].due;
    pthread_mutex_unlock(&lock);
    if (ready > 0) return ready;
    const uint64_t now = NowMs();
    const int wait = next <= now ? 0 : (int)(next - now > 1000 ? 1000 : next - now);
    const int n = real_poll(fds, count, wait);
    if (n < 0) return n;
    // What else is ready (a pipe, or a socket's room to send) counts now.
    int other = 0;
    for (nfds_t i = 0; i < count; ++i) {
      if (IsUdp(fds[i].fd)) fds[i].revents &= (short)~POLLIN;
      if (fds[i].revents) ++other;
    }
    if (other > 0) return other;
    if (NowMs() >= end) return 0;
  }
}
