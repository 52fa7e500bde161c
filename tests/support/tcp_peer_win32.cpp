// The peer's socket calls over Windows Sockets, so that the core's tests meet
// a real reader on loopback on Windows too.
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
#include "tests/support/tcp_peer_platform.h"

namespace pcpos::testing {
namespace {

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

}  // namespace

namespace platform {

namespace {

// Bound on loopback to `port` (0: a free one), which is set to the port taken.
// Exclusive: on Windows SO_REUSEADDR would let two listeners share a port.
SOCKET BoundLoopback(std::uint16_t& port) {
  StartWinsock();
  SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) throw std::runtime_error("socket");
  const BOOL exclusive = TRUE;
  ::setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive),
               sizeof exclusive);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(port);
  int len = sizeof addr;
  if (::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      ::getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    ::closesocket(s);
    throw std::runtime_error("bind");
  }
  port = ntohs(addr.sin_port);
  return s;
}

}  // namespace

int ListenLoopback(std::uint16_t& port) {
  const SOCKET s = BoundLoopback(port);
  if (::listen(s, 64) != 0) {
    ::closesocket(s);
    throw std::runtime_error("listen");
  }
  return Fd(s);
}

int BindLoopback(std::uint16_t& port) {
  port = 0;
  return Fd(BoundLoopback(port));
}

bool WaitReadable(int fd, std::chrono::milliseconds timeout) {
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(Sock(fd), &readable);
  const auto us = std::chrono::duration_cast<std::chrono::microseconds>(timeout).count();
  timeval tv{static_cast<long>(us / 1000000), static_cast<long>(us % 1000000)};
  return ::select(0, &readable, nullptr, nullptr, &tv) > 0;
}

long ReceiveSome(int fd, char* buffer, std::size_t size) {
  return ::recv(Sock(fd), buffer, static_cast<int>(size), 0);
}

int Accept(int listen_fd) {
  const SOCKET s = ::accept(Sock(listen_fd), nullptr, nullptr);
  return s == INVALID_SOCKET ? -1 : Fd(s);
}

void CloseSocket(int fd) { ::closesocket(Sock(fd)); }

}  // namespace platform

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
  Close();
}

}  // namespace pcpos::testing
