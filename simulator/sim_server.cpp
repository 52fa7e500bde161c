#include "simulator/sim_server.h"

#include <memory>
#include <utility>

#include "simulator/listen_backlog.h"
#include "simulator/sim_session.h"

namespace pcpos::sim {
namespace {

// The words operators have read from this program so far.
std::string ListenError(const std::error_code& error) {
  if (error == asio::error::address_in_use) return "The bound address is already in use";
  if (error == asio::error::access_denied) return "The address is protected";
  if (error == std::errc::address_not_available) return "The address is not available";
  return error.message();
}
}  // namespace

SimServer::SimServer(asio::io_context& io, ServerOptions options)
    : io_(io),
      options_(std::move(options)),
      answers_(options_.identity),
      acceptor_(io),
      accept_retry_(io) {}

SimServer::~SimServer() {
  Stop();
  for (SimSession* session : sessions_) session->Detach();
}

bool SimServer::Listen(const asio::ip::address_v4& address, std::uint16_t port,
                       std::string& error) {
  std::error_code ec;
  const asio::ip::tcp::endpoint endpoint(address, port);
  acceptor_.open(endpoint.protocol(), ec);
#ifndef _WIN32
  // A restarted simulator takes its port back at once, past the old one's
  // closing connections. On Windows the same option would let a second
  // process share the port, so there it stays off.
  if (!ec) acceptor_.set_option(asio::ip::tcp::acceptor::reuse_address(true), ec);
#endif
  if (!ec) acceptor_.bind(endpoint, ec);
  if (!ec) acceptor_.listen(LargestListenBacklog(), ec);
  if (ec) {
    error = ListenError(ec);
    std::error_code ignored;
    acceptor_.close(ignored);
    return false;
  }
  Accept();
  return true;
}

asio::ip::address_v4 SimServer::address() const {
  std::error_code ec;
  return acceptor_.local_endpoint(ec).address().to_v4();
}

std::uint16_t SimServer::port() const {
  std::error_code ec;
  return acceptor_.local_endpoint(ec).port();
}

void SimServer::Stop() {
  if (stopped_) return;
  stopped_ = true;
  std::error_code ignored;
  acceptor_.close(ignored);
  accept_retry_.cancel();
  // Abort may end a session, which forgets itself: walk a copy.
  const auto open = sessions_;
  for (SimSession* session : open) session->Abort();
}

std::optional<Step> SimServer::TakeStep() {
  if (!options_.script) return std::nullopt;
  const auto& steps = options_.script->steps;
  if (next_step_ == steps.size()) {
    if (!options_.script->repeat) return std::nullopt;
    next_step_ = 0;
  }
  return steps[next_step_++];
}

void SimServer::Accept() {
  acceptor_.async_accept([this](const std::error_code& error, asio::ip::tcp::socket socket) {
    if (stopped_ || error == asio::error::operation_aborted) return;
    if (error) {
      // Out of descriptors, most likely: let some connections end first.
      accept_retry_.expires_after(std::chrono::milliseconds(50));
      accept_retry_.async_wait([this](const std::error_code& waited) {
        if (!waited && !stopped_) Accept();
      });
      return;
    }
    auto session = std::make_shared<SimSession>(std::move(socket), *this, TakeStep());
    sessions_.insert(session.get());
    session->Start();
    Accept();
  });
}

void SimServer::Log(const std::string& line) const {
  if (log_sink_) log_sink_(line);
}

}  // namespace pcpos::sim
