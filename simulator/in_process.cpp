#include "simulator/in_process.h"

#include <asio/post.hpp>

#include <thread>
#include <utility>

namespace pcpos::sim {

struct InProcessSimulator::State {
  explicit State(ServerOptions options) : server(io, std::move(options)) {}
  // Declared first, destroyed last: the server and its sessions use it.
  asio::io_context io{1};
  SimServer server;
  std::thread thread;
};

InProcessSimulator::InProcessSimulator(ServerOptions options)
    : state_(std::make_unique<State>(std::move(options))) {}

InProcessSimulator::~InProcessSimulator() { Stop(); }

void InProcessSimulator::SetLogSink(SimServer::LogSink sink) {
  state_->server.SetLogSink(std::move(sink));
}

bool InProcessSimulator::Start(std::uint16_t port, std::string& error) {
  if (state_->thread.joinable()) {
    error = "already started";
    return false;
  }
  if (!state_->server.Listen(asio::ip::address_v4::loopback(), port, error)) return false;
  port_ = state_->server.port();
  state_->thread = std::thread([state = state_.get()] { state->io.run(); });
  return true;
}

void InProcessSimulator::Stop() {
  if (!state_->thread.joinable()) return;
  // run() returns once the stopped server's last handlers have run.
  asio::post(state_->io, [state = state_.get()] { state->server.Stop(); });
  state_->thread.join();
}

}  // namespace pcpos::sim
