// A TCP client connection to the card reader, made for one transaction:
// open, send one line, poll for arrived data without waiting, take it as text, close.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "link/socket.h"

namespace pcpos {

class CardReaderConnection {
 public:
  static constexpr std::size_t kReadSize = 32768;

  CardReaderConnection();
  ~CardReaderConnection();  // releases; never throws
  CardReaderConnection(const CardReaderConnection&) = delete;
  CardReaderConnection& operator=(const CardReaderConnection&) = delete;

  void SetHost(std::string host) { host_ = std::move(host); }
  const std::string& Host() const { return host_; }
  // Keeps the low 16 bits: 70000 becomes 4464, -1 becomes 65535. Callers that
  // want to refuse such ports check them first.
  void SetPort(std::int64_t port) { port_ = static_cast<std::uint16_t>(port); }
  std::uint16_t Port() const { return port_; }

  // Milliseconds. The connect limit governs an Open made after it is set
  // (0: the platform's own time-out); the read limit bounds one WaitForInput
  // (negative: none).
  void SetConnectLimit(int ms) { connect_limit_ms_ = ms; }
  void SetReadLimit(int ms) { read_limit_ms_ = ms; }
  int ConnectLimit() const { return connect_limit_ms_; }
  int ReadLimit() const { return read_limit_ms_; }

  // A waker that cancels Open's lookup and connect, and WaitForInput, from another thread.
  void SetWaker(const net::Waker* waker) { waker_ = waker; }

  // Empty host or port 0: ConnectionError with an empty message, no network
  // activity. Otherwise socket, bind, no-delay off, address, connect.
  void Open();
  // The text, CR LF, as US-ASCII bytes, all of it. "Connection Closed
  // Gracefully." once the peer is known to have closed.
  void SendLine(std::string_view text);

  bool InputIsEmpty() const { return input_.empty(); }
  // Reads what has arrived into the input, at most twice, never waiting. A close
  // by the peer sets ClosedByPeer and closes the socket without an error.
  void Poll();
  // Sleeps until something can be polled (data or the peer's close), the read
  // limit passes, or the waker fires. Returns at once when the socket is closed.
  net::Readiness WaitForInput();
  // All input as text (bytes above 127 become "?"); empties the input.
  std::string TakeText();

  bool IsOpen() const { return static_cast<bool>(socket_); }
  // When the last Open had the reader's address (after any lookup), for timings.
  std::optional<std::chrono::steady_clock::time_point> ResolvedAt() const { return resolved_at_; }
  bool ClosedByPeer() const { return closed_by_peer_; }

  // Shuts down the sending direction and closes, ignoring every result.
  // Unread bytes are dropped. Safe to call more than once.
  void Release() noexcept;

 private:
  void CloseSocket() noexcept;

  std::string host_;
  std::uint16_t port_ = 0;
  int connect_limit_ms_ = 0;
  int read_limit_ms_ = -1;
  const net::Waker* waker_ = nullptr;
  net::Socket socket_;
  std::string input_;
  bool closed_by_peer_ = false;
  std::optional<std::chrono::steady_clock::time_point> resolved_at_;
};

}  // namespace pcpos
