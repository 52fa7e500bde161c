#include "bench/answer_peer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

#include <cerrno>
#include <stdexcept>
#include <system_error>

#include "simulator/answer_builder.h"

namespace pcpos::bench {
namespace {

[[noreturn]] void Fail(const char* what) {
  throw std::system_error(errno, std::generic_category(), what);
}

// Waits for `fd` to become readable or the stop pipe to be written; false on stop or time-out.
bool WaitReadable(int fd, int stop_fd, int timeout_ms) {
  pollfd fds[2] = {{fd, POLLIN, 0}, {stop_fd, POLLIN, 0}};
  for (;;) {
    int ready = ::poll(fds, 2, timeout_ms);
    if (ready < 0 && errno == EINTR) continue;
    return ready > 0 && (fds[1].revents == 0) && (fds[0].revents != 0);
  }
}

}  // namespace

AnswerPeer::AnswerPeer(std::string code) : code_(std::move(code)) {
  if (::pipe(stop_pipe_) != 0) Fail("pipe");
  listen_fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listen_fd_ < 0) Fail("socket");
  int yes = 1;
  ::setsockopt(listen_fd_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  if (::bind(listen_fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) Fail("bind");
  if (::listen(listen_fd_, 16) != 0) Fail("listen");
  socklen_t size = sizeof address;
  if (::getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&address), &size) != 0)
    Fail("getsockname");
  port_ = ntohs(address.sin_port);
  thread_ = std::thread([this] { Serve(); });
}

AnswerPeer::~AnswerPeer() {
  const char stop = 's';
  [[maybe_unused]] auto written = ::write(stop_pipe_[1], &stop, 1);
  if (thread_.joinable()) thread_.join();
  ::close(listen_fd_);
  ::close(stop_pipe_[0]);
  ::close(stop_pipe_[1]);
}

std::optional<Clock::time_point> AnswerPeer::TakeSendTime(std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  if (!sent_cv_.wait_for(lock, timeout, [this] { return !sent_.empty(); })) return std::nullopt;
  const Clock::time_point when = sent_.front();
  sent_.pop_front();
  return when;
}

void AnswerPeer::Serve() {
  while (WaitReadable(listen_fd_, stop_pipe_[0], -1)) {
    const int fd = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    Answer(fd);
    ::close(fd);
  }
}

void AnswerPeer::Answer(int fd) {
  std::string request;
  char buffer[512];
  while (request.find('\n') == std::string::npos) {
    if (!WaitReadable(fd, stop_pipe_[0], 5000)) return;
    const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
    if (got <= 0) return;
    request.append(buffer, static_cast<std::size_t>(got));
  }
  static sim::AnswerBuilder builder;
  const std::string answer = builder.Build(code_, sim::LocalTime(std::chrono::system_clock::now()));

  // Taken before the send: the figure then includes the kernel's hand-over on
  // loopback, which a reader's answer also goes through.
  const Clock::time_point sent = Clock::now();
  const ssize_t put = ::send(fd, answer.data(), answer.size(), MSG_NOSIGNAL);
  if (put != static_cast<ssize_t>(answer.size())) return;
  {
    std::lock_guard lock(mutex_);
    sent_.push_back(sent);
  }
  sent_cv_.notify_one();
}

}  // namespace pcpos::bench
