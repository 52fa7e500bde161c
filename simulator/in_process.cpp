#include "simulator/in_process.h"

#include <asio/post.hpp>

#include <exception>
#include <thread>
#include <utility>

namespace pcpos::sim {
namespace {

std::string MessageOf(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return "unknown error";
  }
}

}  // namespace

struct InProcessSimulator::State {
  explicit State(ServerOptions options) : server(io, std::move(options)) {}

  // The simulator's thread. An error that escapes a handler must not end the
  // program it runs in (a window in the middle of a payment): the reader closes
  // every connection, so that a payment waiting on one ends now, as an open
  // outcome, rather than at its limit, and stops serving, saying why.
  void Serve() {
    try {
      io.run();
      return;
    } catch (...) {
      const std::string line = "simulator stopped: " + MessageOf(std::current_exception());
      try {
        if (log_sink) log_sink(line);
      } catch (...) {  // the sink may be what failed; the stop goes on without it
      }
    }
    // A handler that throws during the stop ends it as well: the rest is closed
    // by the destructors.
    try {
      server.Stop();
      io.restart();
      io.run();
    } catch (...) {
      io.stop();
    }
  }

  // Declared first, destroyed last: the server and its sessions use it.
  asio::io_context io{1};
  SimServer server;
  SimServer::LogSink log_sink;
  std::thread thread;
};

InProcessSimulator::InProcessSimulator(ServerOptions options)
    : state_(std::make_unique<State>(std::move(options))) {}

InProcessSimulator::~InProcessSimulator() { Stop(); }

void InProcessSimulator::SetLogSink(SimServer::LogSink sink) {
  state_->log_sink = sink;
  state_->server.SetLogSink(std::move(sink));
}

bool InProcessSimulator::Start(std::uint16_t port, std::string& error) {
  if (state_->thread.joinable()) {
    error = "already started";
    return false;
  }
  if (!state_->server.Listen(asio::ip::address_v4::loopback(), port, error)) return false;
  port_ = state_->server.port();
  state_->thread = std::thread([state = state_.get()] { state->Serve(); });
  return true;
}

void InProcessSimulator::Stop() {
  if (!state_->thread.joinable()) return;
  // run() returns once the stopped server's last handlers have run.
  asio::post(state_->io, [state = state_.get()] { state->server.Stop(); });
  state_->thread.join();
}

}  // namespace pcpos::sim
