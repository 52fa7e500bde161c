// The load client for the simulator's throughput: N exchanges in flight at
// all times from one thread (epoll, non-blocking sockets), each a new
// connection that sends the purchase request line and reads until the reader
// closes. Used unchanged against pcpos-sim and the reference epoll peer.
//
//   pcpos-bench-load --port P --clients N --seconds S   exchanges/s over S s, and the
//                                                        median exchange's time
//   pcpos-bench-load --port P --idle N --hold S          N idle connections
//
// Sources are spread over 127.0.0.2-201 so that a long run does not use up
// one address's ephemeral ports. Loopback only.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::string_view kRequest = "@@ZRM@@011000410000000020000000530000011\r\n";
constexpr std::size_t kSources = 200;

struct Connection {
  int fd = -1;
  bool connecting = false;
  std::string answer;
  Clock::time_point opened;
};

int Open(std::uint16_t port, std::size_t index) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  int one = 1;
  ::setsockopt(fd, IPPROTO_IP, IP_BIND_ADDRESS_NO_PORT, &one, sizeof one);
  sockaddr_in source{};
  source.sin_family = AF_INET;
  source.sin_addr.s_addr = htonl(0x7F000002u + static_cast<std::uint32_t>(index % kSources));
  ::bind(fd, reinterpret_cast<sockaddr*>(&source), sizeof source);
  sockaddr_in target{};
  target.sin_family = AF_INET;
  target.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  target.sin_port = htons(port);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&target), sizeof target) != 0 &&
      errno != EINPROGRESS) {
    ::close(fd);
    return -1;
  }
  return fd;
}

bool IsApproval(const std::string& answer) {
  // The header, then the terminal number's prefix, and response code 00
  // behind its prefix somewhere after the fifth field.
  return answer.size() >= 80 && answer.starts_with("@@ZRM@@08") &&
         answer.find("0200", 40) != std::string::npos;
}

int Load(std::uint16_t port, std::size_t clients, double seconds) {
  const int set = ::epoll_create1(EPOLL_CLOEXEC);
  std::vector<Connection> slots(clients);
  long exchanges = 0, failures = 0;
  std::size_t opened = 0;
  const auto warm = Clock::now() + std::chrono::milliseconds(500);
  const auto end =
      warm + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
  bool counting = false;
  std::vector<double> latencies_us;  // of the exchanges counted, from connect to close

  auto start = [&](std::size_t slot) {
    Connection& c = slots[slot];
    c.answer.clear();
    c.opened = Clock::now();
    c.fd = Open(port, opened++);
    if (c.fd < 0) {
      if (counting) ++failures;
      return false;
    }
    c.connecting = true;
    epoll_event event{};
    event.events = EPOLLOUT | EPOLLIN | EPOLLRDHUP;
    event.data.u64 = slot;
    ::epoll_ctl(set, EPOLL_CTL_ADD, c.fd, &event);
    return true;
  };
  auto finish = [&](std::size_t slot, bool ok) {
    Connection& c = slots[slot];
    ::close(c.fd);
    c.fd = -1;
    if (counting) (ok ? exchanges : failures) += 1;
    if (counting && ok) {
      latencies_us.push_back(
          std::chrono::duration<double, std::micro>(Clock::now() - c.opened).count());
    }
  };

  for (std::size_t i = 0; i < clients; ++i) start(i);
  std::vector<epoll_event> ready(512);
  char buffer[4096];
  for (;;) {
    const auto now = Clock::now();
    if (now >= end) break;
    counting = now >= warm;
    const int count = ::epoll_wait(set, ready.data(), static_cast<int>(ready.size()), 50);
    for (int i = 0; i < count; ++i) {
      const auto slot = static_cast<std::size_t>(ready[static_cast<std::size_t>(i)].data.u64);
      Connection& c = slots[slot];
      if (c.fd < 0) continue;
      if (c.connecting) {
        int error = 0;
        socklen_t size = sizeof error;
        ::getsockopt(c.fd, SOL_SOCKET, SO_ERROR, &error, &size);
        if (error != 0) {
          finish(slot, false);
          start(slot);
          continue;
        }
        c.connecting = false;
        ::send(c.fd, kRequest.data(), kRequest.size(), MSG_NOSIGNAL);
        epoll_event event{};
        event.events = EPOLLIN | EPOLLRDHUP;
        event.data.u64 = slot;
        ::epoll_ctl(set, EPOLL_CTL_MOD, c.fd, &event);
        continue;
      }
      for (;;) {
        const auto n = ::recv(c.fd, buffer, sizeof buffer, 0);
        if (n > 0) {
          c.answer.append(buffer, static_cast<std::size_t>(n));
          continue;
        }
        if (n == 0) {
          finish(slot, IsApproval(c.answer));
          start(slot);
        } else if (errno != EAGAIN && errno != EWOULDBLOCK) {
          finish(slot, false);
          start(slot);
        }
        break;
      }
    }
  }
  for (auto& c : slots) {
    if (c.fd >= 0) ::close(c.fd);
  }
  ::close(set);
  double median_us = 0;
  if (!latencies_us.empty()) {
    const auto middle = latencies_us.begin() + static_cast<long>(latencies_us.size() / 2);
    std::nth_element(latencies_us.begin(), middle, latencies_us.end());
    median_us = *middle;
  }
  std::printf("exchanges %ld failures %ld seconds %.3f rate %.1f median_us %.1f\n", exchanges,
              failures, seconds, static_cast<double>(exchanges) / seconds, median_us);
  return 0;
}

int Idle(std::uint16_t port, std::size_t count, double hold) {
  std::vector<int> fds;
  for (std::size_t i = 0; i < count; ++i) {
    const int fd = Open(port, i);
    if (fd >= 0) fds.push_back(fd);
  }
  // Give the non-blocking connects time to complete and the server to accept.
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  std::printf("idle_connected %zu\n", fds.size());
  std::fflush(stdout);
  std::this_thread::sleep_for(std::chrono::duration<double>(hold));
  for (const int fd : fds) ::close(fd);
  return fds.size() == count ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  std::uint16_t port = 0;
  std::size_t clients = 8, idle = 0;
  double seconds = 3, hold = 3;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string_view name = argv[i];
    const char* value = argv[i + 1];
    if (name == "--port")
      port = static_cast<std::uint16_t>(std::atoi(value));
    else if (name == "--clients")
      clients = static_cast<std::size_t>(std::atol(value));
    else if (name == "--seconds")
      seconds = std::atof(value);
    else if (name == "--idle")
      idle = static_cast<std::size_t>(std::atol(value));
    else if (name == "--hold")
      hold = std::atof(value);
    else {
      std::fprintf(stderr, "pcpos-bench-load: unknown option %s\n", argv[i]);
      return 2;
    }
  }
  if (port == 0) {
    std::fprintf(stderr, "pcpos-bench-load: --port is needed\n");
    return 2;
  }
  return idle > 0 ? Idle(port, idle, hold) : Load(port, clients, seconds);
}
