// A simulator serving on a loopback port from a thread of its own, so a test
// can drive it with the core's blocking transaction on the test's thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "simulator/in_process.h"

namespace pcpos::sim::test_support {

class SimulatorThread {
 public:
  explicit SimulatorThread(ServerOptions options = {});
  ~SimulatorThread();
  SimulatorThread(const SimulatorThread&) = delete;
  SimulatorThread& operator=(const SimulatorThread&) = delete;

  std::uint16_t port() const { return simulator_.port(); }
  std::string port_text() const { return std::to_string(port()); }

  std::vector<std::string> log() const;
  // Waits until at least `count` log lines are there; false on time-out.
  bool WaitForLog(std::size_t count,
                  std::chrono::milliseconds timeout = std::chrono::seconds(5)) const;

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> log_;
  InProcessSimulator simulator_;  // last: stopped before the log goes
};

}  // namespace pcpos::sim::test_support
