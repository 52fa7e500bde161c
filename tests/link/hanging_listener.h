// A loopback listener whose connects hang: its accept queue is full and it
// never accepts, so the kernel drops further SYNs and a connect to it neither
// succeeds nor fails until the platform's own time-out. Only 127.0.0.1 is used.
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <stdexcept>
#include <vector>

namespace pcpos::testing {

class HangingListener {
 public:
  HangingListener() {
    listen_fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listen_fd_ < 0) throw std::runtime_error("socket");
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (::bind(listen_fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(listen_fd_, 0) != 0 ||
        ::getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
      ::close(listen_fd_);
      throw std::runtime_error("bind/listen");
    }
    port_ = ntohs(addr.sin_port);
    // Fill the accept queue: the first connects complete into it, the ones
    // after are left hanging. Each is given a moment to get its place.
    for (int i = 0; i < kFillers; ++i) {
      int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
      if (fd < 0) break;
      fillers_.push_back(fd);
      ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
      pollfd p{fd, POLLOUT, 0};
      ::poll(&p, 1, 50);
    }
  }
  ~HangingListener() {
    for (int fd : fillers_) ::close(fd);
    ::close(listen_fd_);
  }
  HangingListener(const HangingListener&) = delete;
  HangingListener& operator=(const HangingListener&) = delete;

  std::uint16_t port() const { return port_; }

 private:
  static constexpr int kFillers = 3;
  int listen_fd_ = -1;
  std::uint16_t port_ = 0;
  std::vector<int> fillers_;
};

}  // namespace pcpos::testing
