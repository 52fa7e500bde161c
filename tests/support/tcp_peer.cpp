// The peer's logic, the same on both platforms; the socket calls come from
// tcp_peer_posix.cpp or tcp_peer_win32.cpp.
#include "tests/support/tcp_peer.h"

#include "tests/support/tcp_peer_platform.h"

namespace pcpos::testing {
namespace {

thread_local TcpPeer* current_peer = nullptr;

}  // namespace

std::string PeerSocket::ReadLine(std::chrono::milliseconds timeout) {
  std::string line;
  auto deadline = std::chrono::steady_clock::now() + timeout;
  char c;
  while (line.empty() || line.back() != '\n') {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0 || !platform::WaitReadable(fd_, left)) break;
    if (platform::ReceiveSome(fd_, &c, 1) != 1) break;
    line.push_back(c);
  }
  if (current_peer) {
    std::lock_guard lock(current_peer->mutex_);
    current_peer->received_ += line;
  }
  return line;
}

void PeerSocket::Close() {
  if (fd_ < 0) return;
  platform::CloseSocket(fd_);
  fd_ = -1;
}

bool PeerSocket::WaitForClose(std::chrono::milliseconds timeout) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  char buffer[4096];
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0 || !platform::WaitReadable(fd_, left)) return false;
    if (platform::ReceiveSome(fd_, buffer, sizeof buffer) <= 0) return true;
  }
}

TcpPeer::TcpPeer(Script script, int connections) : TcpPeer(std::move(script), connections, 0) {}

TcpPeer::TcpPeer(Script script, int connections, std::uint16_t port)
    : script_(std::move(script)), port_(port) {
  listen_fd_ = platform::ListenLoopback(port_);
  thread_ = std::thread([this, connections] { Serve(connections); });
}

TcpPeer::~TcpPeer() {
  stopping_ = true;
  Join();
  if (listen_fd_ >= 0) platform::CloseSocket(listen_fd_);
}

void TcpPeer::Serve(int connections) {
  current_peer = this;
  for (int i = 0; i < connections && !stopping_; ++i) {
    // Polls so that a test that never connects does not leave the thread stuck.
    while (!stopping_ && !platform::WaitReadable(listen_fd_, std::chrono::milliseconds(50))) {
    }
    if (stopping_) break;
    const int fd = platform::Accept(listen_fd_);
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

RefusingPort::RefusingPort() { fd_ = platform::BindLoopback(port_); }

RefusingPort::~RefusingPort() { platform::CloseSocket(fd_); }

}  // namespace pcpos::testing
