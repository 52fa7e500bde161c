// A loopback listener whose connects hang: its accept queue is full and it
// never accepts, so the kernel drops further SYNs and a connect to it neither
// succeeds nor fails until the platform's own time-out. Only 127.0.0.1 is used.
#pragma once

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <winsock2.h>
#else
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <cstdint>
#include <stdexcept>
#include <vector>

namespace pcpos::testing {

class HangingListener {
 public:
  HangingListener() {
#ifdef _WIN32
    WSADATA data{};
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) throw std::runtime_error("WSAStartup");
    started_ = true;
#endif
    listen_fd_ = NewSocket(false);
    if (listen_fd_ == kNone) throw std::runtime_error("socket");
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    Length len = sizeof addr;
    if (::bind(listen_fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(listen_fd_, 0) != 0 ||
        ::getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
      CloseSocket(listen_fd_);
      throw std::runtime_error("bind/listen");
    }
    port_ = ntohs(addr.sin_port);
    // Fill the accept queue: the first connects complete into it, the ones
    // after are left hanging. Each is given a moment to get its place.
    for (int i = 0; i < kFillers; ++i) {
      const Handle fd = NewSocket(true);
      if (fd == kNone) break;
      fillers_.push_back(fd);
      ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
      WaitWritable(fd, 50);
    }
  }
  ~HangingListener() {
    for (const Handle fd : fillers_) CloseSocket(fd);
    CloseSocket(listen_fd_);
#ifdef _WIN32
    if (started_) WSACleanup();
#endif
  }
  HangingListener(const HangingListener&) = delete;
  HangingListener& operator=(const HangingListener&) = delete;

  std::uint16_t port() const { return port_; }

 private:
#ifdef _WIN32
  using Handle = SOCKET;
  using Length = int;
  static constexpr Handle kNone = INVALID_SOCKET;
  static Handle NewSocket(bool non_blocking) {
    const Handle s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    u_long on = non_blocking ? 1 : 0;
    if (s != INVALID_SOCKET) ::ioctlsocket(s, static_cast<long>(FIONBIO), &on);
    return s;
  }
  static void CloseSocket(Handle s) { ::closesocket(s); }
  static void WaitWritable(Handle s, int ms) {
    fd_set writable;
    FD_ZERO(&writable);
    FD_SET(s, &writable);
    timeval tv{0, ms * 1000};
    ::select(0, nullptr, &writable, nullptr, &tv);
  }
  bool started_ = false;
#else
  using Handle = int;
  using Length = socklen_t;
  static constexpr Handle kNone = -1;
  static Handle NewSocket(bool non_blocking) {
    return ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | (non_blocking ? SOCK_NONBLOCK : 0), 0);
  }
  static void CloseSocket(Handle s) { ::close(s); }
  static void WaitWritable(Handle s, int ms) {
    pollfd p{s, POLLOUT, 0};
    ::poll(&p, 1, ms);
  }
#endif

  static constexpr int kFillers = 3;
  Handle listen_fd_ = kNone;
  std::uint16_t port_ = 0;
  std::vector<Handle> fillers_;
};

}  // namespace pcpos::testing
