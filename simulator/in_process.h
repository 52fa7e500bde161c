// The simulated reader inside another program (a window's demo mode, the
// tests): a server on a loopback port, on a thread of its own.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "simulator/sim_server.h"

namespace pcpos::sim {

class InProcessSimulator {
 public:
  explicit InProcessSimulator(ServerOptions options = {});
  ~InProcessSimulator();  // stops and joins
  InProcessSimulator(const InProcessSimulator&) = delete;
  InProcessSimulator& operator=(const InProcessSimulator&) = delete;

  // Called on the simulator's thread, one line per request; set before Start.
  // An error that stops the simulator comes last, as "simulator stopped: <why>".
  void SetLogSink(SimServer::LogSink sink);

  // Listens on 127.0.0.1:`port` (0: a free one) and starts serving; false,
  // with the reason in `error`, when it cannot listen.
  bool Start(std::uint16_t port, std::string& error);
  // The port served; 0 before Start or after a failed one.
  std::uint16_t port() const { return port_; }

  // Closes the listener and every connection, and joins the thread. Safe to
  // call twice.
  void Stop();

 private:
  struct State;
  std::unique_ptr<State> state_;
  std::uint16_t port_ = 0;
};

}  // namespace pcpos::sim
