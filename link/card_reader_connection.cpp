// The card-reader connection over the neutral socket layer.
#include "link/card_reader_connection.h"

#include <cstdint>
#include <optional>
#include <utility>

#include "link/cancellable_lookup.h"
#include "link/errors.h"
#include "link/ipv4.h"
#include "text/text.h"

namespace pcpos {
namespace {

constexpr std::uint32_t kLoopback = 0x7F000001;  // 127.0.0.1, host order

bool IsLocalhost(std::string_view host) {
  constexpr std::string_view kName = "LOCALHOST";
  if (host.size() != kName.size()) return false;
  for (std::size_t i = 0; i < host.size(); ++i) {
    char c = host[i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c != kName[i]) return false;
  }
  return true;
}

// Step 3 of Open: a literal, "LOCALHOST" in any letter case without a lookup,
// else the first IPv4 address of the name; the waker abandons a slow lookup.
std::uint32_t ResolveHost(const std::string& host, const net::Waker* waker) {
  if (std::optional<std::uint32_t> literal = ParseIPv4Literal(host)) return *literal;
  if (IsLocalhost(host)) return kLoopback;
  return net::LookupIPv4Cancellable(host, waker);
}

}  // namespace

CardReaderConnection::CardReaderConnection() = default;

CardReaderConnection::~CardReaderConnection() { Release(); }

void CardReaderConnection::Open() {
  // Step 1: neither touches the network.
  if (host_.empty()) throw ConnectionError("");
  if (port_ == 0) throw ConnectionError("");

  // A connection that is still open is closed first: the object holds one socket.
  CloseSocket();
  input_.clear();
  closed_by_peer_ = false;
  resolved_at_.reset();

  // Step 5: until the connect succeeds the socket is this function's, so any
  // failure closes it and leaves the object unconnected.
  net::StartSocketLibrary();
  net::Socket socket = net::CreateTcpSocket();
  net::BindAny(socket.get());
  net::SetNoDelay(socket.get(), false);
  const std::uint32_t address = ResolveHost(host_, waker_);
  resolved_at_ = std::chrono::steady_clock::now();
  net::Connect(socket.get(), address, port_, connect_limit_ms_, waker_);
  socket_ = std::move(socket);
}

void CardReaderConnection::SendLine(std::string_view text) {
  if (!IsOpen() && closed_by_peer_) throw ConnectionError(kClosedGracefullyText);
  std::string line(text);
  line += "\r\n";
  const std::string bytes = ToAscii(line);
  // An unopened or released connection has no socket: the layer raises 10038.
  net::SendAll(socket_.get(), bytes.data(), bytes.size());
}

void CardReaderConnection::Poll() {
  for (int round = 0; round < 2; ++round) {
    if (!IsOpen()) return;
    if (net::WaitReadable(socket_.get(), 0, nullptr) != net::Readiness::Readable) continue;
    const std::size_t old_size = input_.size();
    input_.resize(old_size + kReadSize);
    std::size_t received = 0;
    try {
      received = net::Receive(socket_.get(), input_.data() + old_size, kReadSize);
    } catch (...) {
      input_.resize(old_size);
      throw;
    }
    input_.resize(old_size + received);
    if (received == 0) {
      // The card reader closed the connection: no error.
      closed_by_peer_ = true;
      CloseSocket();
    }
  }
}

net::Readiness CardReaderConnection::WaitForInput() {
  if (!IsOpen()) return net::Readiness::Readable;
  return net::WaitReadable(socket_.get(), read_limit_ms_, waker_);
}

std::string CardReaderConnection::TakeText() {
  std::string text = FromAscii(input_);
  input_.clear();
  return text;
}

void CardReaderConnection::Release() noexcept {
  CloseSocket();
  input_.clear();
}

void CardReaderConnection::CloseSocket() noexcept {
  if (!socket_) return;
  net::ShutdownSend(socket_.get());
  socket_.reset();
}

}  // namespace pcpos
