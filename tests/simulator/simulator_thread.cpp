#include "tests/simulator/simulator_thread.h"

#include <thread>

namespace pcpos::sim::test_support {

SimulatorThread::SimulatorThread(ServerOptions options) : simulator_(std::move(options)) {
  simulator_.SetLogSink([this](const std::string& line) {
    std::lock_guard lock(mutex_);
    log_.push_back(line);
  });
  std::string error;
  simulator_.Start(0, error);  // a port of 0 tells the test it did not start
}

SimulatorThread::~SimulatorThread() { simulator_.Stop(); }

std::vector<std::string> SimulatorThread::log() const {
  std::lock_guard lock(mutex_);
  return log_;
}

bool SimulatorThread::WaitForLog(std::size_t count, std::chrono::milliseconds timeout) const {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    {
      std::lock_guard lock(mutex_);
      if (log_.size() >= count) return true;
    }
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

}  // namespace pcpos::sim::test_support
