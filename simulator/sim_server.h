// The simulated card reader: a TCP server that, on each connection, reads one
// request line, answers it as the chosen scenario says, and closes, as a reader
// does. Event driven on one asio io_context, so any number of connections are
// served at once by one thread.
#pragma once

#include <asio/io_context.hpp>
#include <asio/ip/address_v4.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/steady_timer.hpp>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <unordered_set>

#include "simulator/answer_builder.h"
#include "simulator/scenario.h"
#include "simulator/script.h"

namespace pcpos::sim {

struct ServerOptions {
  std::optional<Scenario> scenario;  // none: chosen by the amount
  std::optional<Script> script;      // steps taken before the scenarios
  std::chrono::milliseconds delay = std::chrono::seconds(3);
  // Between the two segments; shorter than the client's quiet time, so the split
  // answer is read whole.
  std::chrono::milliseconds pause = std::chrono::milliseconds(300);
  std::chrono::milliseconds request_timeout =
      std::chrono::seconds(30);  // for a peer that never sends
  std::chrono::milliseconds silence_max = std::chrono::minutes(10);
  std::size_t max_request = 64 * 1024;
  ReaderIdentity identity;
};

class SimSession;

// Lives on the thread that runs its io_context, and is used only there.
class SimServer {
 public:
  using LogSink = std::function<void(const std::string& line)>;

  SimServer(asio::io_context& io, ServerOptions options);
  ~SimServer();
  SimServer(const SimServer&) = delete;
  SimServer& operator=(const SimServer&) = delete;

  // False, with the reason in `error`, when the address cannot be listened on.
  bool Listen(const asio::ip::address_v4& address, std::uint16_t port, std::string& error);
  asio::ip::address_v4 address() const;
  std::uint16_t port() const;

  // One line per request: time, peer, request, scenario, answer.
  void SetLogSink(LogSink sink) { log_sink_ = std::move(sink); }

  // Closes the listener and every open connection; the io_context's run()
  // then returns once their handlers have run.
  void Stop();

  const ServerOptions& options() const { return options_; }
  AnswerBuilder& answers() { return answers_; }

  // The script's step for the next connection; none when there is no script
  // or it has run out.
  std::optional<Step> TakeStep();

 private:
  friend class SimSession;
  void Accept();
  void Log(const std::string& line) const;
  void Forget(SimSession* session) { sessions_.erase(session); }

  asio::io_context& io_;
  ServerOptions options_;
  AnswerBuilder answers_;
  asio::ip::tcp::acceptor acceptor_;
  asio::steady_timer accept_retry_;  // after an accept error such as too many open files
  std::unordered_set<SimSession*> sessions_;
  LogSink log_sink_;
  std::size_t next_step_ = 0;
  bool stopped_ = false;
};

}  // namespace pcpos::sim
