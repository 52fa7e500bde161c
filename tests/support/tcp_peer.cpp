#include "tests/support/tcp_peer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

namespace pcpos::testing {
namespace {

thread_local TcpPeer* current_peer = nullptr;

// Listens on 127.0.0.1:port; port 0 asks the system for one, which is stored in port.
int ListenLoopback(std::uint16_t& port) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
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
  if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 64) != 0) {
    ::close(fd);
    throw std::runtime_error("bind/listen");
  }
  socklen_t len = sizeof addr;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  port = ntohs(addr.sin_port);
  return fd;
}

bool WaitReadable(int fd, std::chrono::milliseconds timeout) {
  pollfd p{fd, POLLIN, 0};
  return ::poll(&p, 1, static_cast<int>(timeout.count())) > 0;
}

}  // namespace

std::string PeerSocket::ReadLine(std::chrono::milliseconds timeout) {
  std::string line;
  auto deadline = std::chrono::steady_clock::now() + timeout;
  char c;
  while (line.empty() || line.back() != '\n') {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0 || !WaitReadable(fd_, left)) break;
    if (::recv(fd_, &c, 1, 0) != 1) break;
    line.push_back(c);
  }
  if (current_peer) {
    std::lock_guard lock(current_peer->mutex_);
    current_peer->received_ += line;
  }
  return line;
}

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
  ::close(fd_);
  fd_ = -1;
}

void PeerSocket::Close() {
  if (fd_ < 0) return;
  ::close(fd_);
  fd_ = -1;
}

bool PeerSocket::WaitForClose(std::chrono::milliseconds timeout) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  char buffer[4096];
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0 || !WaitReadable(fd_, left)) return false;
    ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
    if (n <= 0) return true;
  }
}

TcpPeer::TcpPeer(Script script, int connections) : script_(std::move(script)) {
  listen_fd_ = ListenLoopback(port_);
  thread_ = std::thread([this, connections] { Serve(connections); });
}

TcpPeer::TcpPeer(Script script, int connections, std::uint16_t port)
    : script_(std::move(script)), port_(port) {
  listen_fd_ = ListenLoopback(port_);
  thread_ = std::thread([this, connections] { Serve(connections); });
}

TcpPeer::~TcpPeer() {
  stopping_ = true;
  Join();
  if (listen_fd_ >= 0) ::close(listen_fd_);
}

void TcpPeer::Serve(int connections) {
  current_peer = this;
  for (int i = 0; i < connections && !stopping_; ++i) {
    // Polls so that a test that never connects does not leave the thread stuck.
    while (!stopping_ && !WaitReadable(listen_fd_, std::chrono::milliseconds(50))) {
    }
    if (stopping_) break;
    int fd = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    ++accepted_;
    PeerSocket socket(fd);
    script_(socket);
    socket.Close();
  }
}

std::string TcpPeer::received() const {
  std::lock_guard lock(mutex_);
  return received_;
}

void TcpPeer::Join() {
  if (thread_.joinable()) thread_.join();
}

std::uint16_t UnusedPort() {
  std::uint16_t port = 0;
  int fd = ListenLoopback(port);
  ::close(fd);
  return port;
}

}  // namespace pcpos::testing
