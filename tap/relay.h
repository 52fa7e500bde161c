// The relay: listens for the ECR, and for each of its connections connects to
// the reader and passes the bytes both ways as they come, with every close,
// half close and reset passed on as it was made. Event driven on one asio
// io_context: one thread serves every connection, and a slow peer only ever
// holds up its own.
#pragma once

#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/steady_timer.hpp>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_set>
#include <vector>

#include "tap/exchange.h"

namespace pcpos::tap {

struct RelayOptions {
  asio::ip::tcp::endpoint listen{asio::ip::address_v4::loopback(), 9053};
  asio::ip::tcp::endpoint reader;
  // A reader that has not taken the connection by then counts as unreachable.
  std::chrono::milliseconds connect_limit = std::chrono::seconds(10);
};

class TapSession;

// Lives on the thread that runs its io_context, and is used only there.
class TapServer {
 public:
  // Called on the io_context's thread as each exchange ends, in the order they
  // end. Decoding it (ExchangeLog::Finish) is left to the sink, so that it can
  // be done off the relay's thread; the order matters to ApprovalHistory.
  using Sink = std::function<void(ExchangeLog exchange)>;

  TapServer(asio::io_context& io, RelayOptions options, Sink sink);
  ~TapServer();
  TapServer(const TapServer&) = delete;
  TapServer& operator=(const TapServer&) = delete;

  // False, with the reason in `error`, when the address cannot be listened on.
  bool Listen(std::string& error);
  asio::ip::tcp::endpoint local_endpoint() const;

  // Stops taking connections; the exchanges under way may end by themselves
  // for `grace`, then the rest are cut and written down as they stand.
  // `done` is called once no exchange is left.
  void Stop(std::chrono::milliseconds grace, std::function<void()> done);
  // Cuts every exchange under way now.
  void CutAll();

  std::size_t open_exchanges() const { return sessions_.size(); }
  const RelayOptions& options() const { return options_; }
  // The shared read buffer: a read takes what is waiting into it, so an idle
  // connection holds no buffer of its own.
  std::vector<char>& scratch() { return scratch_; }

 private:
  friend class TapSession;
  void Accept();
  void Ended(TapSession* session, ExchangeLog exchange);

  asio::io_context& io_;
  RelayOptions options_;
  Sink sink_;
  asio::ip::tcp::acceptor acceptor_;
  asio::ip::tcp::endpoint peer_;  // of the connection being accepted
  asio::steady_timer accept_retry_;
  asio::steady_timer stop_timer_;
  std::unordered_set<TapSession*> sessions_;
  std::vector<char> scratch_;
  std::function<void()> stopped_;
  bool stopping_ = false;
};

}  // namespace pcpos::tap
