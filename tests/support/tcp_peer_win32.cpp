// tcp_peer.h over Windows Sockets: the same peer as tcp_peer.cpp, so that the
// core's tests meet a real reader on loopback on Windows too.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <winsock2.h>
#include <ws2tcpip.h>

#include <stdexcept>

#include "tests/support/tcp_peer.h"

namespace pcpos::testing {
namespace {

thread_local TcpPeer* current_peer = nullptr;

// Winsock stays started for the life of the test program.
void StartWinsock() {
  static const bool started = [] {
    WSADATA data{};
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  if (!started) throw std::runtime_error("WSAStartup");
}

// Winsock handles fit in 32 bits, which is what PeerSocket keeps.
SOCKET Sock(int fd) { return static_cast<SOCKET>(static_cast<unsigned>(fd)); }
int Fd(SOCKET s) { return static_cast<int>(static_cast<unsigned>(s)); }

int ListenLoopback(std::uint16_t& port) {
  StartWinsock();
  SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) throw std::runtime_error("socket");
  // Exclusive: on Windows SO_REUSEADDR would let two listeners share a port.
  const BOOL exclusive = TRUE;
  ::setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive),
               sizeof exclusive);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(port);
  if (::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(s, 64) != 0) {
    ::closesocket(s);
    throw std::runtime_error("bind/listen");
  }
  int len = sizeof addr;
  ::getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len);
  port = ntohs(addr.sin_port);
  return Fd(s);
}

bool WaitReadable(int fd, std::chrono::milliseconds timeout) {
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(Sock(fd), &readable);
  const auto us = std::chrono::duration_cast<std::chrono::microseconds>(timeout).count();
  timeval tv{static_cast<long>(us / 1000000), static_cast<long>(us % 1000000)};
  return ::select(0, &readable, nullptr, nullptr, &tv) > 0;
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
    if (::recv(Sock(fd_), &c, 1, 0) != 1) break;
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
    const int n = ::send(Sock(fd_), bytes.data(), static_cast<int>(bytes.size()), 0);
    if (n <= 0) return;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
}

void PeerSocket::Reset() {
  if (fd_ < 0) return;
  linger l{1, 0};
  ::setsockopt(Sock(fd_), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&l), sizeof l);
  ::closesocket(Sock(fd_));
  fd_ = -1;
}

void PeerSocket::Close() {
  if (fd_ < 0) return;
  ::closesocket(Sock(fd_));
  fd_ = -1;
}

bool PeerSocket::WaitForClose(std::chrono::milliseconds timeout) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  char buffer[4096];
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0 || !WaitReadable(fd_, left)) return false;
    if (::recv(Sock(fd_), buffer, sizeof buffer, 0) <= 0) return true;
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
  if (listen_fd_ >= 0) ::closesocket(Sock(listen_fd_));
}

void TcpPeer::Serve(int connections) {
  current_peer = this;
  for (int i = 0; i < connections && !stopping_; ++i) {
    while (!stopping_ && !WaitReadable(listen_fd_, std::chrono::milliseconds(50))) {
    }
    if (stopping_) break;
    const SOCKET s = ::accept(Sock(listen_fd_), nullptr, nullptr);
    if (s == INVALID_SOCKET) continue;
    ++accepted_;
    PeerSocket socket(Fd(s));
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
  ::closesocket(Sock(ListenLoopback(port)));
  return port;
}

}  // namespace pcpos::testing
