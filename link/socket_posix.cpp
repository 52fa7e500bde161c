// socket.h over POSIX sockets. Every failure becomes the Windows Sockets number
// of the table in socket_errors.cpp, so the messages match Windows.
#include <fcntl.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

#include "link/errors.h"
#include "link/socket_platform.h"

#ifndef MSG_NOSIGNAL
#define MSG_NOSIGNAL 0  // where it is missing, SO_NOSIGPIPE is set on the socket
#endif

namespace pcpos::net {
namespace detail {

// A handle that cannot be a descriptor is not a socket.
std::optional<NativeSocket> Native(SocketHandle s) noexcept {
  if (s < 0 || s > INT_MAX) return std::nullopt;
  return static_cast<int>(s);
}

}  // namespace detail

namespace {

// An error of a call that was handed a socket: a bad descriptor (EBADF) is,
// as on Windows, an operation on something that is not a socket.
[[noreturn]] void ThrowForSocket(int err) {
  if (err == EBADF || err == ENOTSOCK) throw NotSocketError();
  ThrowSocketError(SocketErrorFromErrno(err));
}

[[noreturn]] void ThrowErrno(int err) { ThrowSocketError(SocketErrorFromErrno(err)); }

int WakerFd(const Waker* waker) { return waker ? static_cast<int>(waker->Handle()) : -1; }

// Sleeps until the socket has one of `events` (or an error or hang-up, which
// make the next call return at once, as select's sets do), the waker fires, or
// timeout_ms passes (negative: no limit). An interrupted sleep goes on with the
// time that is left. Readable stands for "the socket is ready".
Readiness PollSocket(int fd, short events, int timeout_ms, const Waker* waker) {
  const detail::Deadline deadline(timeout_ms);
  pollfd fds[2] = {{fd, events, 0}, {WakerFd(waker), POLLIN, 0}};
  const nfds_t count = waker ? 2 : 1;
  for (;;) {
    fds[0].revents = 0;
    fds[1].revents = 0;
    const int n = ::poll(fds, count, deadline.RemainingMs());
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

// What a send or recv moved; nullopt when a signal interrupted it.
std::optional<std::size_t> Moved(ssize_t n) {
  if (n >= 0) return static_cast<std::size_t>(n);
  if (errno != EINTR) ThrowForSocket(errno);
  return std::nullopt;
}

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

Socket CreateTcpSocket() {
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
  return Socket(fd);
}

void SetNoDelay(SocketHandle s, bool on) {
  const int value = on ? 1 : 0;
  if (::setsockopt(detail::NativeOrThrow(s), IPPROTO_TCP, TCP_NODELAY, &value, sizeof value) != 0) {
    ThrowForSocket(errno);
  }
}

namespace detail {

std::optional<std::uint32_t> ResolveFirstIPv4(const std::string& host) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* result = nullptr;
  errno = 0;
  const int rc = ::getaddrinfo(host.c_str(), nullptr, &hints, &result);
  const int saved_errno = errno;
  if (rc != 0) ThrowSocketError(SocketErrorFromLookup(rc, saved_errno));
  const std::optional<std::uint32_t> address = FirstIPv4(result);
  ::freeaddrinfo(result);
  return address;
}

NonBlockingScope::NonBlockingScope(int fd) : s_(fd) {
  saved_flags_ = ::fcntl(s_, F_GETFL, 0);
  if (saved_flags_ < 0 || ::fcntl(s_, F_SETFL, saved_flags_ | O_NONBLOCK) < 0)
    ThrowForSocket(errno);
}

NonBlockingScope::~NonBlockingScope() { ::fcntl(s_, F_SETFL, saved_flags_ & ~O_NONBLOCK); }

void ThrowUnlessConnecting() {
  // EINTR: the connect goes on in the background, as with EINPROGRESS.
  if (errno != EINPROGRESS && errno != EINTR) ThrowForSocket(errno);
}

Readiness AwaitConnect(int fd, int timeout_ms, const Waker* waker) {
  const Readiness readiness = PollSocket(fd, POLLOUT, timeout_ms, waker);
  if (readiness != Readiness::Readable) return readiness;
  int error = 0;
  socklen_t length = sizeof error;
  if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) ThrowForSocket(errno);
  if (error != 0) ThrowForSocket(error);
  return readiness;
}

Readiness AwaitInput(int fd, int timeout_ms, const Waker* waker) {
  return PollSocket(fd, POLLIN, timeout_ms, waker);
}

std::optional<std::size_t> SendOnce(int fd, const char* data, std::size_t size) {
  // MSG_NOSIGNAL: a peer that reset the connection gives an error, never SIGPIPE.
  return Moved(::send(fd, data, size, MSG_NOSIGNAL));
}

std::optional<std::size_t> ReceiveOnce(int fd, char* buffer, std::size_t size) {
  return Moved(::recv(fd, buffer, size, 0));
}

}  // namespace detail

void Close(SocketHandle s) noexcept {
  // Not retried on EINTR: the descriptor is gone either way on Linux.
  if (const std::optional<int> fd = detail::Native(s)) ::close(*fd);
}

}  // namespace pcpos::net
