// One connection to the simulated reader, from the request line to the close.
#pragma once

#include <asio/ip/tcp.hpp>
#include <asio/steady_timer.hpp>

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "simulator/scenario.h"

namespace pcpos::sim {

class SimServer;

// Owned by its pending operations (shared_from_this); the server only knows
// it to close it on a stop.
class SimSession : public std::enable_shared_from_this<SimSession> {
 public:
  // `scripted`: the script's step for this connection, played whatever the request.
  SimSession(asio::ip::tcp::socket socket, SimServer& server, std::optional<Step> scripted);
  ~SimSession();
  SimSession(const SimSession&) = delete;
  SimSession& operator=(const SimSession&) = delete;

  void Start();
  // The server stops: close at once, log nothing.
  void Abort();
  // The server is gone before this session's last handler.
  void Detach() { server_ = nullptr; }

 private:
  void Read();
  void OnRead(const std::error_code& error, std::size_t size);
  void OnRequestTimeout();
  void HandleRequest(std::string line);
  void Play(Step step, const std::string& request);
  void Act();
  void Answer();
  void SendNextPiece();
  void Finish();  // after the last piece
  void After(std::chrono::milliseconds wait, void (SimSession::*then)());
  void SilenceEnds();
  void Write(std::string bytes, bool then_close);
  void ResetConnection();
  void CloseConnection();
  void Log(const std::string& request, const std::string& scenario, const std::string& answer);

  asio::ip::tcp::socket socket_;
  SimServer* server_;
  // Waits for the request, then for a delay, a silence or the next piece.
  asio::steady_timer timer_;
  std::uint64_t timer_generation_ = 0;  // a wait that was replaced must not act
  std::string peer_;
  std::array<char, 1024> chunk_{};  // one read
  std::string buffer_;              // the request line so far, at most max_request plus a chunk
  std::string sending_;             // the piece being written
  bool answered_ = false;           // one request per connection; later bytes are dropped
  // A delayed or silent answer is logged when it ends, with what it was for.
  bool logged_ = false;
  bool closed_ = false;
  std::string request_;
  std::string scenario_;
  std::optional<Step> scripted_;
  Step step_;                        // the one being played
  std::vector<std::string> pieces_;  // of the answer, still to send
  std::size_t pieces_sent_ = 0;
};

}  // namespace pcpos::sim
