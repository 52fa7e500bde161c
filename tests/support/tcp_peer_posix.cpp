// The peer's socket calls on POSIX.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

#include "tests/support/tcp_peer.h"
#include "tests/support/tcp_peer_platform.h"

namespace pcpos::testing {
namespace platform {

namespace {

// Bound on loopback to `port` (0: a free one), which is set to the port taken.
int BoundLoopback(std::uint16_t& port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) throw std::runtime_error("socket");
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (port != 0) {
    // A fixed port may still have connections of an earlier run in TIME_WAIT.
    int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    addr.sin_port = htons(port);
  }
  socklen_t len = sizeof addr;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    ::close(fd);
    throw std::runtime_error("bind");
  }
  port = ntohs(addr.sin_port);
  return fd;
}

}  // namespace

int ListenLoopback(std::uint16_t& port) {
  const int fd = BoundLoopback(port);
  if (::listen(fd, 64) != 0) {
    ::close(fd);
    throw std::runtime_error("listen");
  }
  return fd;
}

int BindLoopback(std::uint16_t& port) {
  port = 0;
  return BoundLoopback(port);
}

bool WaitReadable(int fd, std::chrono::milliseconds timeout) {
  pollfd p{fd, POLLIN, 0};
  return ::poll(&p, 1, static_cast<int>(timeout.count())) > 0;
}

long ReceiveSome(int fd, char* buffer, std::size_t size) { return ::recv(fd, buffer, size, 0); }

int Accept(int listen_fd) { return ::accept4(listen_fd, nullptr, nullptr, SOCK_CLOEXEC); }

void CloseSocket(int fd) { ::close(fd); }

}  // namespace platform

void PeerSocket::Send(std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (n <= 0) return;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
}

void PeerSocket::Reset() {
  if (fd_ < 0) return;
  linger l{1, 0};
  ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &l, sizeof l);
  Close();
}

}  // namespace pcpos::testing
