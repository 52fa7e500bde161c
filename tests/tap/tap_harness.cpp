#include "tests/tap/tap_harness.h"

#include <asio/post.hpp>
#include <asio/steady_timer.hpp>
#include <asio/write.hpp>

#include <array>
#include <functional>

namespace pcpos::tap::test_support {

TapThread::TapThread(std::uint16_t reader_port, std::chrono::milliseconds connect_limit)
    : server_(io_,
              RelayOptions{asio::ip::tcp::endpoint(asio::ip::address_v4::loopback(), 0),
                           asio::ip::tcp::endpoint(asio::ip::address_v4::loopback(), reader_port),
                           connect_limit},
              [this](ExchangeLog log) {
                std::lock_guard lock(mutex_);
                exchanges_.push_back(log.Finish(approvals_));
                ended_.notify_all();
              }) {
  std::string error;
  if (server_.Listen(error)) port_ = server_.local_endpoint().port();
  thread_ = std::thread([this] { io_.run(); });
}

TapThread::~TapThread() {
  asio::post(io_, [this] { server_.Stop(std::chrono::milliseconds(0), nullptr); });
  thread_.join();
}

std::vector<Exchange> TapThread::WaitFor(std::size_t count, std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  if (!ended_.wait_for(lock, timeout, [&] { return exchanges_.size() >= count; })) return {};
  return exchanges_;
}

EcrResult RunEcr(std::uint16_t port, const EcrPlan& plan) {
  asio::io_context io(1);
  asio::ip::tcp::socket socket(io);
  EcrResult result;
  socket.connect({asio::ip::address_v4::loopback(), port}, result.end);
  if (result.end) return result;
  for (std::size_t i = 0; i < plan.sends.size(); ++i) {
    if (i > 0) std::this_thread::sleep_for(plan.pause);
    asio::write(socket, asio::buffer(plan.sends[i]), result.end);
    if (result.end) return result;
  }
  std::error_code ignored;
  if (plan.half_close) socket.shutdown(asio::socket_base::shutdown_send, ignored);
  std::this_thread::sleep_for(plan.read_after);

  asio::steady_timer give_up(io);
  give_up.expires_after(plan.give_up);
  give_up.async_wait([&](const std::error_code& error) {
    if (error) return;
    result.end = asio::error::timed_out;
    socket.close(ignored);
  });
  std::array<char, 65536> buffer{};
  std::function<void()> read = [&] {
    socket.async_read_some(asio::buffer(buffer), [&](const std::error_code& error, std::size_t n) {
      if (error) {
        if (result.end != asio::error::timed_out) result.end = error;
        give_up.cancel();
        return;
      }
      result.pieces.emplace_back(buffer.data(), n);
      result.all.append(buffer.data(), n);
      read();
    });
  };
  read();
  io.run();
  return result;
}

}  // namespace pcpos::tap::test_support
