// socket.h over POSIX sockets. Every failure becomes the Windows Sockets number
// of the table in socket_errors.cpp, so the messages match Windows.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>

#include "link/errors.h"
#include "link/socket.h"

#ifndef MSG_NOSIGNAL
#define MSG_NOSIGNAL 0  // where it is missing, SO_NOSIGPIPE is set on the socket
#endif

namespace pcpos::net {
namespace {

using Clock = std::chrono::steady_clock;

// A handle that cannot be a descriptor is not a socket (Winsock's 10038).
int Fd(SocketHandle s) {
  if (s < 0 || s > INT_MAX) throw NotSocketError();
  return static_cast<int>(s);
}

// An error of a call that was handed a socket: a bad descriptor (EBADF) is,
// as on Windows, an operation on something that is not a socket.
[[noreturn]] void ThrowForSocket(int err) {
  if (err == EBADF || err == ENOTSOCK) throw NotSocketError();
  ThrowSocketError(SocketErrorFromErrno(err));
}

[[noreturn]] void ThrowErrno(int err) { ThrowSocketError(SocketErrorFromErrno(err)); }

// Milliseconds left until the deadline, for poll: -1 without a deadline, never
// below 0 with one.
int RemainingMs(bool limited, Clock::time_point deadline) {
  if (!limited) return -1;
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  if (left <= 0) return 0;
  return left > INT_MAX ? INT_MAX : static_cast<int>(left);
}

int WakerFd(const Waker* waker) { return waker ? static_cast<int>(waker->Handle()) : -1; }

// Sleeps until the socket has one of `events` (or an error or hang-up, which
// make the next call return at once, as select's sets do), the waker fires, or
// timeout_ms passes (negative: no limit). An interrupted sleep goes on with the
// time that is left. Readable stands for "the socket is ready".
Readiness PollSocket(int fd, short events, int timeout_ms, const Waker* waker) {
  const bool limited = timeout_ms >= 0;
  const Clock::time_point deadline =
      Clock::now() + std::chrono::milliseconds(limited ? timeout_ms : 0);
  pollfd fds[2] = {{fd, events, 0}, {WakerFd(waker), POLLIN, 0}};
  const nfds_t count = waker ? 2 : 1;
  for (;;) {
    fds[0].revents = 0;
    fds[1].revents = 0;
    const int n = ::poll(fds, count, RemainingMs(limited, deadline));
    if (n < 0) {
      if (errno == EINTR) continue;
      ThrowErrno(errno);
    }
    if (waker && fds[1].revents != 0) return Readiness::Woken;
    if (fds[0].revents & POLLNVAL) throw NotSocketError();
    if (fds[0].revents != 0) return Readiness::Readable;
    if (n == 0) return Readiness::TimedOut;
  }
}

// Puts the socket into non-blocking mode for the time of a connect and back
// into blocking mode on every way out.
class NonBlockingScope {
 public:
  explicit NonBlockingScope(int fd) : fd_(fd) {
    flags_ = ::fcntl(fd_, F_GETFL, 0);
    if (flags_ < 0 || ::fcntl(fd_, F_SETFL, flags_ | O_NONBLOCK) < 0) ThrowForSocket(errno);
  }
  ~NonBlockingScope() { ::fcntl(fd_, F_SETFL, flags_ & ~O_NONBLOCK); }
  NonBlockingScope(const NonBlockingScope&) = delete;
  NonBlockingScope& operator=(const NonBlockingScope&) = delete;

 private:
  int fd_;
  int flags_ = 0;
};

}  // namespace

// ---------------------------------------------------------------------------
// Waker: a self-pipe. Wake writes one byte that is never read, so the read end
// stays readable for good: once woken, always woken.

Waker::Waker() : read_end_(-1), write_end_(-1) {
  int fds[2];
#if defined(__linux__) || defined(__FreeBSD__) || defined(__NetBSD__) || defined(__OpenBSD__)
  if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) ThrowErrno(errno);
#else
  if (::pipe(fds) != 0) ThrowErrno(errno);
  for (int fd : fds) {
    ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL, 0) | O_NONBLOCK);
  }
#endif
  read_end_ = fds[0];
  write_end_ = fds[1];
}

Waker::~Waker() {
  ::close(static_cast<int>(read_end_));
  ::close(static_cast<int>(write_end_));
}

void Waker::Wake() noexcept {
  const char byte = 1;
  // Non-blocking: a full pipe (EAGAIN) is woken already. Async-signal-safe.
  for (;;) {
    const ssize_t n = ::write(static_cast<int>(write_end_), &byte, 1);
    if (n >= 0 || errno != EINTR) break;
  }
}

bool Waker::IsWoken() const noexcept {
  pollfd p{static_cast<int>(read_end_), POLLIN, 0};
  for (;;) {
    const int n = ::poll(&p, 1, 0);
    if (n >= 0) return n > 0 && (p.revents & POLLIN) != 0;
    if (errno != EINTR) return false;
  }
}

std::intptr_t Waker::Handle() const noexcept { return read_end_; }

// ---------------------------------------------------------------------------

void StartSocketLibrary() {}

SocketHandle CreateTcpSocket() {
#if defined(SOCK_CLOEXEC)
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) ThrowErrno(errno);
#else
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) ThrowErrno(errno);
  ::fcntl(fd, F_SETFD, FD_CLOEXEC);
#endif
#if defined(SO_NOSIGPIPE)
  const int one = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_NOSIGPIPE, &one, sizeof one);
#endif
  return fd;
}

void BindAny(SocketHandle s) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_ANY);
  address.sin_port = 0;
  if (s < 0 || s > INT_MAX ||
      ::bind(static_cast<int>(s), reinterpret_cast<const sockaddr*>(&address), sizeof address) !=
          0) {
    throw ConnectionError(kBindFailedText);
  }
}

void SetNoDelay(SocketHandle s, bool on) {
  const int value = on ? 1 : 0;
  if (::setsockopt(Fd(s), IPPROTO_TCP, TCP_NODELAY, &value, sizeof value) != 0) {
    ThrowForSocket(errno);
  }
}

std::uint32_t LookupIPv4(const std::string& host) {
  // A name with a zero byte in it cannot be passed on whole; it names no host.
  if (host.find('\0') != std::string::npos) ThrowSocketError(wsa::kHostNotFound);
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* result = nullptr;
  errno = 0;
  const int rc = ::getaddrinfo(host.c_str(), nullptr, &hints, &result);
  const int saved_errno = errno;
  if (rc != 0) ThrowSocketError(SocketErrorFromLookup(rc, saved_errno));
  std::uint32_t address = 0;
  bool found = false;
  for (const addrinfo* ai = result; ai != nullptr; ai = ai->ai_next) {
    if (ai->ai_family == AF_INET && ai->ai_addr != nullptr &&
        ai->ai_addrlen >= static_cast<socklen_t>(sizeof(sockaddr_in))) {
      sockaddr_in in{};
      std::memcpy(&in, ai->ai_addr, sizeof in);
      address = ntohl(in.sin_addr.s_addr);
      found = true;
      break;
    }
  }
  ::freeaddrinfo(result);
  if (!found) ThrowSocketError(wsa::kNoData);
  return address;
}

void Connect(SocketHandle s, std::uint32_t address, std::uint16_t port, int timeout_ms,
             const Waker* waker) {
  const int fd = Fd(s);
  if (waker && waker->IsWoken()) throw Canceled();

  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = htonl(address);
  to.sin_port = htons(port);

  NonBlockingScope non_blocking(fd);
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0) return;
  // EINTR: the connect goes on in the background, as with EINPROGRESS.
  if (errno != EINPROGRESS && errno != EINTR) ThrowForSocket(errno);

  switch (PollSocket(fd, POLLOUT, timeout_ms > 0 ? timeout_ms : -1, waker)) {
    case Readiness::Woken:
      throw Canceled();
    case Readiness::TimedOut:
      ThrowSocketError(wsa::kTimedOut);
    case Readiness::Readable:
      break;
  }

  int error = 0;
  socklen_t length = sizeof error;
  if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) ThrowForSocket(errno);
  if (error != 0) ThrowForSocket(error);
}

void SendAll(SocketHandle s, const char* data, std::size_t size) {
  const int fd = Fd(s);
  while (size > 0) {
    // The whole remaining tail is offered each time. MSG_NOSIGNAL: a peer that
    // reset the connection gives an error, never SIGPIPE.
    const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
    if (n < 0) {
      if (errno == EINTR) continue;
      ThrowForSocket(errno);
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
}

Readiness WaitReadable(SocketHandle s, int timeout_ms, const Waker* waker) {
  const int fd = Fd(s);
  if (waker && waker->IsWoken()) return Readiness::Woken;
  return PollSocket(fd, POLLIN, timeout_ms, waker);
}

std::size_t Receive(SocketHandle s, char* buffer, std::size_t size) {
  const int fd = Fd(s);
  for (;;) {
    const ssize_t n = ::recv(fd, buffer, size, 0);
    if (n >= 0) return static_cast<std::size_t>(n);
    if (errno != EINTR) ThrowForSocket(errno);
  }
}

void ShutdownSend(SocketHandle s) noexcept {
  if (s < 0 || s > INT_MAX) return;
  ::shutdown(static_cast<int>(s), SHUT_WR);
}

void Close(SocketHandle s) noexcept {
  if (s < 0 || s > INT_MAX) return;
  // Not retried on EINTR: the descriptor is gone either way on Linux.
  ::close(static_cast<int>(s));
}

}  // namespace pcpos::net
