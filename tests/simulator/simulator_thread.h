// A simulator serving on a loopback port from a thread of its own, so a test
// can drive it with the core's blocking transaction on the test's thread.
#pragma once

#include <QThread>

#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "simulator/sim_server.h"

namespace pcpos::sim::test_support {

class SimulatorThread {
 public:
  explicit SimulatorThread(ServerOptions options = {});
  ~SimulatorThread();
  SimulatorThread(const SimulatorThread&) = delete;
  SimulatorThread& operator=(const SimulatorThread&) = delete;

  quint16 port() const { return port_; }
  std::string port_text() const { return std::to_string(port_); }

  std::vector<std::string> log() const;
  // Waits until at least `count` log lines are there; false on time-out.
  bool WaitForLog(std::size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(5)) const;

 private:
  QThread thread_;
  std::unique_ptr<QObject> context_;
  SimServer* server_ = nullptr;
  quint16 port_ = 0;
  mutable std::mutex mutex_;
  std::vector<std::string> log_;
};

}  // namespace pcpos::sim::test_support
