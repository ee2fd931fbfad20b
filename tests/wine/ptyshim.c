// Loaded into Wine's processes with LD_PRELOAD: answers the modem-line
// ioctls that a pseudo-terminal refuses, so that Wine's serial code works over
// one. Each pseudo-terminal descriptor keeps a modem word; CTS follows RTS and
// DSR follows DTR as on a loopback plug, the error counters stay zero, and a
// wait for a line change sleeps 100 ms. After a hang-up the line calls fail
// with EIO, as a removed adapter's do. Every RTS change is appended to the
// file named by TRELLUM_SHIM_LOG ("SETRTS" or "CLRRTS", one a line); with
// TRELLUM_SHIM_WRITES set, so is every write to a pseudo-terminal, by write
// or writev (ser2net's), as "DATA:" and the bytes in hex.
// Every open is made with O_NOCTTY: Wine's server, a session leader without a
// terminal, would otherwise make the first pseudo-terminal it opens its
// controlling terminal and get a SIGHUP whenever that one hangs up.
// Everything else passes through.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <pthread.h>
#include <stdarg.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <sys/sysmacros.h>
#include <time.h>
#include <unistd.h>

enum { kMaxFd = 4096 };
static int modem[kMaxFd];
static pthread_mutex_t modemLock = PTHREAD_MUTEX_INITIALIZER;

static int IsPseudoTerminal(int fd) {
  struct stat st;
  return fd >= 0 && fd < kMaxFd && fstat(fd, &st) == 0 && S_ISCHR(st.st_mode) && major(st.st_rdev) >= 136 &&
         major(st.st_rdev) <= 143;
}

static int HungUp(int fd) {
  struct pollfd p = {fd, 0, 0};
  return poll(&p, 1, 0) == 1 && (p.revents & POLLHUP);
}

typedef ssize_t (*WriteCall)(int, const void*, size_t);
typedef ssize_t (*WritevCall)(int, const struct iovec*, int);

static ssize_t RealWrite(int fd, const void* data, size_t size) {
  static WriteCall real;
  if (!real) real = (WriteCall)dlsym(RTLD_NEXT, "write");
  return real(fd, data, size);
}

static void LogRts(int before, int after) {
  const char* path = getenv("TRELLUM_SHIM_LOG");
  if (!path || ((before ^ after) & TIOCM_RTS) == 0) return;
  const int fd = open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return;
  const char* line = (after & TIOCM_RTS) ? "SETRTS\n" : "CLRRTS\n";
  ssize_t ignored = RealWrite(fd, line, strlen(line));
  (void)ignored;
  close(fd);
}

static void LogWrites(int fd, const struct iovec* parts, int count, ssize_t written) {
  const char* path = getenv("TRELLUM_SHIM_LOG");
  if (written <= 0 || !path || !getenv("TRELLUM_SHIM_WRITES") || !IsPseudoTerminal(fd)) return;
  static const char digits[] = "0123456789abcdef";
  char line[8192];
  size_t at = 0;
  memcpy(line, "DATA:", 5);
  at = 5;
  size_t left = (size_t)written;
  for (int i = 0; i < count && left > 0; ++i) {
    const unsigned char* bytes = parts[i].iov_base;
    for (size_t j = 0; j < parts[i].iov_len && left > 0 && at + 3 < sizeof line; ++j, --left) {
      line[at++] = digits[bytes[j] >> 4];
      line[at++] = digits[bytes[j] & 15];
    }
  }
  line[at++] = '\n';
  const int log = open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (log < 0) return;
  ssize_t ignored = RealWrite(log, line, at);
  (void)ignored;
  close(log);
}

ssize_t write(int fd, const void* data, size_t size) {
  const ssize_t n = RealWrite(fd, data, size);
  const int saved = errno;
  struct iovec part = {(void*)data, size};
  LogWrites(fd, &part, 1, n);
  errno = saved;
  return n;
}

ssize_t writev(int fd, const struct iovec* parts, int count) {
  static WritevCall real;
  if (!real) real = (WritevCall)dlsym(RTLD_NEXT, "writev");
  const ssize_t n = real(fd, parts, count);
  const int saved = errno;
  LogWrites(fd, parts, count, n);
  errno = saved;
  return n;
}

static int Loopback(int word) {
  word &= TIOCM_RTS | TIOCM_DTR;
  if (word & TIOCM_RTS) word |= TIOCM_CTS;
  if (word & TIOCM_DTR) word |= TIOCM_DSR;
  return word;
}

// Changes the modem word: request TIOCMSET, TIOCMBIS or TIOCMBIC.
static void Change(int fd, unsigned long request, int bits) {
  pthread_mutex_lock(&modemLock);
  const int before = modem[fd];
  int after = before;
  if (request == TIOCMSET) after = bits;
  if (request == TIOCMBIS) after = before | bits;
  if (request == TIOCMBIC) after = before & ~bits;
  modem[fd] = Loopback(after);
  pthread_mutex_unlock(&modemLock);
  LogRts(before, modem[fd]);
}

int ioctl(int fd, unsigned long request, ...) {
  static int (*real)(int, unsigned long, ...);
  if (!real) real = (int (*)(int, unsigned long, ...))dlsym(RTLD_NEXT, "ioctl");
  va_list args;
  va_start(args, request);
  void* arg = va_arg(args, void*);
  va_end(args);
  const int modemRequest = request == TIOCMGET || request == TIOCMSET || request == TIOCMBIS || request == TIOCMBIC ||
                           request == TIOCGICOUNT || request == TIOCMIWAIT;
  if (!modemRequest || !IsPseudoTerminal(fd)) return real(fd, request, arg);
  if (HungUp(fd)) {
    errno = EIO;
    return -1;
  }
  switch (request) {
    case TIOCMGET:
      pthread_mutex_lock(&modemLock);
      *(int*)arg = modem[fd];
      pthread_mutex_unlock(&modemLock);
      return 0;
    case TIOCGICOUNT: memset(arg, 0, sizeof(struct serial_icounter_struct)); return 0;
    case TIOCMIWAIT: {
      const struct timespec pause = {0, 100 * 1000 * 1000};
      nanosleep(&pause, NULL);
      return 0;
    }
    default: Change(fd, request, *(const int*)arg); return 0;
  }
}


// The open calls, each with O_NOCTTY added; the mode is there only when the
// flags create a file.
#define MODE_OF(flags)                                  \
  mode_t mode = 0;                                      \
  if ((flags) & (O_CREAT | O_TMPFILE)) {                \
    va_list args;                                       \
    va_start(args, flags);                              \
    mode = va_arg(args, mode_t);                        \
    va_end(args);                                       \
  }

typedef int (*OpenCall)(const char*, int, ...);
typedef int (*OpenAtCall)(int, const char*, int, ...);

int open(const char* path, int flags, ...) {
  static OpenCall real;
  if (!real) real = (OpenCall)dlsym(RTLD_NEXT, "open");
  MODE_OF(flags);
  return real(path, flags | O_NOCTTY, mode);
}

int open64(const char* path, int flags, ...) {
  static OpenCall real;
  if (!real) real = (OpenCall)dlsym(RTLD_NEXT, "open64");
  MODE_OF(flags);
  return real(path, flags | O_NOCTTY, mode);
}

int openat(int dir, const char* path, int flags, ...) {
  static OpenAtCall real;
  if (!real) real = (OpenAtCall)dlsym(RTLD_NEXT, "openat");
  MODE_OF(flags);
  return real(dir, path, flags | O_NOCTTY, mode);
}

int openat64(int dir, const char* path, int flags, ...) {
  static OpenAtCall real;
  if (!real) real = (OpenAtCall)dlsym(RTLD_NEXT, "openat64");
  MODE_OF(flags);
  return real(dir, path, flags | O_NOCTTY, mode);
}
