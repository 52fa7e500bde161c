// A card reader on loopback for the latency probes: it reads each request line,
// builds the simulator's answer, notes the time just before it hands the answer
// (last byte included, in one send) to the kernel, sends it and closes.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "bench/bench_clock.h"

namespace pcpos::bench {

class AnswerPeer {
 public:
  // Listens on 127.0.0.1 on a port of the system's choice; answers with `code`.
  explicit AnswerPeer(std::string code = "00");
  ~AnswerPeer();
  AnswerPeer(const AnswerPeer&) = delete;
  AnswerPeer& operator=(const AnswerPeer&) = delete;

  std::uint16_t port() const { return port_; }

  // The send time of the oldest answer not taken yet; nullopt when none is
  // sent within `timeout`.
  std::optional<Clock::time_point> TakeSendTime(std::chrono::milliseconds timeout);

 private:
  void Serve();
  void Answer(int fd);

  std::string code_;
  int listen_fd_ = -1;
  int stop_pipe_[2] = {-1, -1};
  std::uint16_t port_ = 0;
  std::mutex mutex_;
  std::condition_variable sent_cv_;
  std::deque<Clock::time_point> sent_;
  std::thread thread_;
};

}  // namespace pcpos::bench
