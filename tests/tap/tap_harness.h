// The tap on a thread of its own in front of a reader's port, and an ECR
// that talks to it with real sockets, for the relay's and the replay's tests.
#pragma once

#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "tap/exchange.h"
#include "tap/relay.h"

namespace pcpos::tap::test_support {

class TapThread {
 public:
  explicit TapThread(std::uint16_t reader_port,
                     std::chrono::milliseconds connect_limit = std::chrono::seconds(10));
  ~TapThread();
  TapThread(const TapThread&) = delete;
  TapThread& operator=(const TapThread&) = delete;

  std::uint16_t port() const { return port_; }
  // Waits until `count` exchanges have ended; empty on time-out.
  std::vector<Exchange> WaitFor(std::size_t count,
                                std::chrono::milliseconds timeout = std::chrono::seconds(10));

 private:
  asio::io_context io_{1};
  TapServer server_;
  std::uint16_t port_ = 0;
  std::mutex mutex_;
  std::condition_variable ended_;
  std::vector<Exchange> exchanges_;
  ApprovalHistory approvals_;
  std::thread thread_;
};

// What an ECR got back: the pieces as its reads returned them, and how the
// connection ended (eof, connection_reset, or timed_out when it gave up).
struct EcrResult {
  std::vector<std::string> pieces;
  std::string all;
  std::error_code end;
};

struct EcrPlan {
  std::vector<std::string> sends;  // written one by one with `pause` between
  std::chrono::milliseconds pause{0};
  bool half_close = false;                  // shut down sending after the last one
  std::chrono::milliseconds read_after{0};  // a slow ECR: starts reading only then
  std::chrono::milliseconds give_up{std::chrono::seconds(5)};  // then close
};

EcrResult RunEcr(std::uint16_t port, const EcrPlan& plan);

}  // namespace pcpos::tap::test_support
