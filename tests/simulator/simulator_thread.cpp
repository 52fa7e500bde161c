#include "tests/simulator/simulator_thread.h"

#include <thread>

namespace pcpos::sim::test_support {

SimulatorThread::SimulatorThread(ServerOptions options) : context_(std::make_unique<QObject>()) {
  context_->moveToThread(&thread_);
  thread_.start();
  QMetaObject::invokeMethod(
      context_.get(),
      [this, options] {
        server_ = new SimServer(options, context_.get());
        QObject::connect(server_, &SimServer::logLine, server_, [this](const QString& line) {
          std::lock_guard lock(mutex_);
          log_.push_back(line.toStdString());
        }, Qt::DirectConnection);
        if (server_->listen(QHostAddress(QHostAddress::LocalHost), 0)) port_ = server_->serverPort();
      },
      Qt::BlockingQueuedConnection);
}

SimulatorThread::~SimulatorThread() {
  QMetaObject::invokeMethod(context_.get(), [this] { delete server_; }, Qt::BlockingQueuedConnection);
  thread_.quit();
  thread_.wait();
}

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
