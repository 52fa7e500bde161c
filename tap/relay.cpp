#include "tap/relay.h"

#include <asio/connect.hpp>
#include <asio/write.hpp>

#include <memory>
#include <utility>

#ifndef _WIN32
#include <sys/socket.h>

#include <cerrno>
#endif

#include "simulator/listen_backlog.h"

namespace pcpos::tap {
namespace {

// What one read takes at most; the socket keeps the rest for the next.
constexpr std::size_t kReadSize = 16 * 1024;

std::string ListenError(const std::error_code& error) {
  if (error == asio::error::address_in_use) return "The bound address is already in use";
  if (error == asio::error::access_denied) return "The address is protected";
  if (error == std::errc::address_not_available) return "The address is not available";
  return error.message();
}

bool IsOrderlyEnd(const std::error_code& error) { return error == asio::error::eof; }

// A non-blocking read or write that had nothing to do now.
bool WouldBlock(const std::error_code& error) {
  return error == asio::error::would_block || error == asio::error::try_again;
}

}  // namespace

// One ECR connection and the reader connection made for it. Owned by its
// pending operations; the server only knows it to cut it on a stop.
class TapSession : public std::enable_shared_from_this<TapSession> {
 public:
  TapSession(asio::ip::tcp::socket ecr, TapServer& server, ExchangeLog log)
      : server_(&server),
        ecr_(std::move(ecr)),
        reader_(ecr_.get_executor()),
        timer_(ecr_.get_executor()),
        log_(std::move(log)) {}

  ~TapSession() {
    if (server_) server_->sessions_.erase(this);
  }
  TapSession(const TapSession&) = delete;
  TapSession& operator=(const TapSession&) = delete;

  void Detach() { server_ = nullptr; }

  void Start() {
    const auto self = shared_from_this();
    std::error_code opened;
    reader_.open(server_->options().reader.protocol(), opened);
    // Set before the connect, which would otherwise set it once more for itself.
    if (!opened) reader_.non_blocking(true, opened);
    if (opened) {
      ReaderUnreachable(opened.message());
      return;
    }
    timer_.expires_after(server_->options().connect_limit);
    timer_.async_wait([self](const std::error_code& error) {
      if (!error && !self->connected_ && !self->finished_) {
        self->ReaderUnreachable("no connection within the connect limit (Connection timed out)");
      }
    });
    Connect();
  }

  // The tap stops: both connections close as they stand.
  void Cut() {
    if (finished_) return;
    CloseBoth(false);
    Finish();
  }

 private:
  // asio's connect asks poll() whether its wake-up was real before it reads
  // the socket's error; on POSIX a wait for writability tells as much, and
  // spares that system call for every exchange.
  void Connect() {
    const auto self = shared_from_this();
    const auto& to = server_->options().reader;
#ifdef _WIN32
    reader_.async_connect(to, [self](const std::error_code& error) { self->OnConnected(error); });
#else
    if (::connect(reader_.native_handle(), to.data(), static_cast<socklen_t>(to.size())) == 0) {
      OnConnected({});
      return;
    }
    if (errno != EINPROGRESS && errno != EINTR) {
      OnConnected(std::error_code(errno, asio::error::get_system_category()));
      return;
    }
    reader_.async_wait(asio::socket_base::wait_write, [self](std::error_code error) {
      if (!error) {
        asio::detail::socket_option::integer<SOL_SOCKET, SO_ERROR> result;
        self->reader_.get_option(result, error);
        if (!error && result.value() != 0) {
          error = std::error_code(result.value(), asio::error::get_system_category());
        }
      }
      self->OnConnected(error);
    });
#endif
  }

  void OnConnected(const std::error_code& error) {
    if (finished_) return;
    if (error) {
      ReaderUnreachable(error.message());
      return;
    }
    connected_ = true;
    timer_.cancel();
    log_.ReaderConnected(Clock::now());
    std::error_code ignored;
    // Each piece leaves as it came, not gathered with the next. Linux gives
    // the ECR's connection the listener's setting.
#ifndef __linux__
    ecr_.set_option(asio::ip::tcp::no_delay(true), ignored);
#endif
    reader_.set_option(asio::ip::tcp::no_delay(true), ignored);
    // A read after the wait takes what is there and never blocks the thread.
    ecr_.non_blocking(true, ignored);
    // The ECR's request has usually arrived while the reader was reached.
    Pump(up_);
    if (!finished_) Wait(down_);
  }

  // One direction: from the ECR to the reader (up) or back (down).
  struct Direction {
    bool up;
    bool ended = false;         // its source has closed or reset
    bool shutdown_due = false;  // pass the close on once the pending write is out
    std::string pending;        // handed to the write, not yet out
  };

  asio::ip::tcp::socket& From(const Direction& d) { return d.up ? ecr_ : reader_; }
  asio::ip::tcp::socket& To(const Direction& d) { return d.up ? reader_ : ecr_; }

  void Ended(const Direction& d, bool source, Ending ending) {
    const bool ecr = d.up == source;
    if (ecr) {
      log_.EcrEnded(ending, Clock::now());
    } else {
      log_.ReaderEnded(ending, Clock::now());
    }
  }

  void ReaderUnreachable(const std::string& why) {
    log_.ReaderUnreachable(why);
    // What the ECR sent meanwhile belongs in the record.
    std::error_code error;
    ecr_.non_blocking(true, error);
    auto& scratch = server_->scratch();
    while (!error) {
      const std::size_t size = ecr_.read_some(asio::buffer(scratch.data(), kReadSize), error);
      if (error || !log_.FromEcr(std::string_view(scratch.data(), size), Clock::now())) break;
    }
    std::error_code ignored;
    reader_.close(ignored);
    // A refused connect is what the ECR would have met: its connection reset.
    Reset(ecr_);
    Finish();
  }

  static void Reset(asio::ip::tcp::socket& socket) {
    std::error_code ignored;
    if (!socket.is_open()) return;
    socket.set_option(asio::socket_base::linger(true, 0), ignored);
    socket.close(ignored);
  }

  void CloseBoth(bool reset) {
    std::error_code ignored;
    timer_.cancel();
    if (reset) {
      Reset(ecr_);
      Reset(reader_);
    } else {
      ecr_.close(ignored);
      reader_.close(ignored);
    }
  }

  void Wait(Direction& d) {
    From(d).async_wait(asio::socket_base::wait_read,
                       [self = shared_from_this(), &d](const std::error_code& error) {
                         if (self->finished_) return;
                         if (error) {
                           self->OnSourceEnded(d, Ending::Reset);
                         } else {
                           self->Pump(d);
                         }
                       });
  }

  // Reads what the source has and passes it on, a few pieces at most before
  // going back through the event loop, so that a busy connection cannot keep
  // the others waiting. Reads and writes are tried at once and the loop is
  // asked only when one would block: each of its rounds costs system calls
  // that a relay's throughput is made of.
  void Pump(Direction& d) {
    constexpr int kPiecesAtOnce = 4;
    for (int piece = 0; piece < kPiecesAtOnce; ++piece) {
      std::error_code error;
      auto& scratch = server_->scratch();
      const std::size_t size = From(d).read_some(asio::buffer(scratch.data(), kReadSize), error);
      if (WouldBlock(error)) break;
      if (error) {
        OnSourceEnded(d, IsOrderlyEnd(error) ? Ending::Closed : Ending::Reset);
        return;
      }
      if (!PassOn(d, std::string_view(scratch.data(), size))) return;
      // The ECR speaks once and then waits for its answer; a reader's answer
      // is commonly followed at once by more of it or by its close.
      if (d.up) break;
    }
    Wait(d);
  }

  // True when the bytes are out and the source may be read again now; false
  // when the rest is left to a pending write, or the exchange has ended.
  bool PassOn(Direction& d, std::string_view bytes) {
    const auto now = Clock::now();
    if (d.up) {
      if (!log_.FromEcr(bytes, now)) {
        // Past the limits: the ECR is cut off with its connection.
        CloseBoth(true);
        Finish();
        return false;
      }
    } else {
      log_.FromReader(bytes, now);
    }
    std::error_code error;
    const std::size_t written = To(d).write_some(asio::buffer(bytes), error);
    if (error && !WouldBlock(error)) {
      OnWritten(d, error, 0);
      return false;
    }
    if (d.up && written > 0) log_.ToReader(written, Clock::now());
    if (written == bytes.size()) return true;
    // The other side is not taking it as fast: the rest goes when it does.
    d.pending.assign(bytes.substr(written));
    asio::async_write(
        To(d), asio::buffer(d.pending),
        [self = shared_from_this(), &d](const std::error_code& failed, std::size_t n) {
          self->OnWritten(d, failed, n);
        });
    return false;
  }

  void OnWritten(Direction& d, const std::error_code& error, std::size_t size) {
    if (finished_) return;
    if (error) {
      // The other side went away under the write: it broke, and the side
      // that was sending is reset, as the other side's own reset would be.
      Ended(d, false, Ending::Reset);
      CloseBoth(true);
      Finish();
      return;
    }
    if (d.up) log_.ToReader(size, Clock::now());
    // An idle connection keeps no buffer.
    std::string().swap(d.pending);
    if (d.shutdown_due) {
      PassClose(d);
    } else {
      Wait(d);
    }
  }

  void OnSourceEnded(Direction& d, Ending ending) {
    Ended(d, true, ending);
    d.ended = true;
    if (ending == Ending::Reset) {
      // Passed on as a reset; what was still on its way is dropped, as a
      // reset drops it.
      CloseBoth(true);
      Finish();
      return;
    }
    if (!d.pending.empty()) {
      d.shutdown_due = true;
    } else {
      PassClose(d);
    }
  }

  void PassClose(Direction& d) {
    d.shutdown_due = false;
    std::error_code ignored;
    To(d).shutdown(asio::socket_base::shutdown_send, ignored);
    if (up_.ended && down_.ended && up_.pending.empty() && down_.pending.empty()) {
      CloseBoth(false);
      Finish();
    }
  }

  void Finish() {
    if (finished_) return;
    finished_ = true;
    timer_.cancel();
    if (server_) server_->Ended(this, std::move(log_));
  }

  TapServer* server_;
  asio::ip::tcp::socket ecr_;
  asio::ip::tcp::socket reader_;
  asio::steady_timer timer_;  // the connect limit
  ExchangeLog log_;
  Direction up_{true, false, false, {}};
  Direction down_{false, false, false, {}};
  bool connected_ = false;
  bool finished_ = false;
};

TapServer::TapServer(asio::io_context& io, RelayOptions options, Sink sink)
    : io_(io),
      options_(std::move(options)),
      sink_(std::move(sink)),
      acceptor_(io),
      accept_retry_(io),
      stop_timer_(io),
      scratch_(kReadSize) {}

TapServer::~TapServer() {
  std::error_code ignored;
  acceptor_.close(ignored);
  for (TapSession* session : sessions_) session->Detach();
}

bool TapServer::Listen(std::string& error) {
  std::error_code ec;
  acceptor_.open(options_.listen.protocol(), ec);
#ifndef _WIN32
  // A restarted tap takes its port back at once, past the old one's closing
  // connections. On Windows the option would let a second process share it.
  if (!ec) acceptor_.set_option(asio::ip::tcp::acceptor::reuse_address(true), ec);
#endif
#ifdef __linux__
  // Inherited by every accepted connection: one system call fewer for each.
  if (!ec) acceptor_.set_option(asio::ip::tcp::no_delay(true), ec);
#endif
  if (!ec) acceptor_.bind(options_.listen, ec);
  if (!ec) acceptor_.listen(sim::LargestListenBacklog(), ec);
  if (ec) {
    error = ListenError(ec);
    std::error_code ignored;
    acceptor_.close(ignored);
    return false;
  }
  Accept();
  return true;
}

asio::ip::tcp::endpoint TapServer::local_endpoint() const {
  std::error_code ec;
  return acceptor_.local_endpoint(ec);
}

void TapServer::Accept() {
  // The ECR's address comes with the accepted connection, not from a call after it.
  acceptor_.async_accept(peer_, [this](const std::error_code& error, asio::ip::tcp::socket socket) {
    if (stopping_ || error == asio::error::operation_aborted) return;
    if (error) {
      // Out of descriptors, most likely: let some connections end first.
      accept_retry_.expires_after(std::chrono::milliseconds(50));
      accept_retry_.async_wait([this](const std::error_code& waited) {
        if (!waited && !stopping_) Accept();
      });
      return;
    }
    const auto remote = peer_;
    const std::string host = remote.address().to_string();
    ExchangeLog log(host + ":" + std::to_string(remote.port()), host,
                    std::chrono::system_clock::now(), Clock::now());
    auto session = std::make_shared<TapSession>(std::move(socket), *this, std::move(log));
    sessions_.insert(session.get());
    session->Start();
    Accept();
  });
}

void TapServer::Ended(TapSession* session, ExchangeLog exchange) {
  sessions_.erase(session);
  session->Detach();
  if (sink_) sink_(std::move(exchange));
  if (stopping_ && sessions_.empty() && stopped_) {
    stop_timer_.cancel();
    auto done = std::move(stopped_);
    stopped_ = nullptr;
    done();
  }
}

void TapServer::Stop(std::chrono::milliseconds grace, std::function<void()> done) {
  stopping_ = true;
  std::error_code ignored;
  acceptor_.close(ignored);
  accept_retry_.cancel();
  if (sessions_.empty()) {
    if (done) done();
    return;
  }
  stopped_ = std::move(done);
  stop_timer_.expires_after(grace);
  stop_timer_.async_wait([this](const std::error_code& error) {
    if (!error) CutAll();
  });
}

void TapServer::CutAll() {
  // A cut ends a session, which forgets itself: walk a copy.
  const std::vector<TapSession*> open(sessions_.begin(), sessions_.end());
  for (TapSession* session : open) session->Cut();
}

}  // namespace pcpos::tap
