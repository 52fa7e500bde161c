// The part of the socket layer that reads the same on every platform. What
// differs (the handle, the resolver, the wait, one send or receive) comes from
// socket_posix.cpp or socket_win32.cpp through socket_platform.h.
#include <climits>

#include "link/errors.h"
#include "link/socket_platform.h"

namespace pcpos::net {
namespace detail {

NativeSocket NativeOrThrow(SocketHandle s) {
  if (const std::optional<NativeSocket> native = Native(s)) return *native;
  throw NotSocketError();
}

sockaddr_in Ipv4Address(std::uint32_t address, std::uint16_t port) {
  sockaddr_in result{};
  result.sin_family = AF_INET;
  result.sin_addr.s_addr = htonl(address);
  result.sin_port = htons(port);
  return result;
}

Deadline::Deadline(int timeout_ms)
    : limited_(timeout_ms >= 0),
      at_(Clock::now() + std::chrono::milliseconds(limited_ ? timeout_ms : 0)) {}

int Deadline::RemainingMs() const {
  if (!limited_) return -1;
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(at_ - Clock::now()).count();
  if (left <= 0) return 0;
  return left > INT_MAX ? INT_MAX : static_cast<int>(left);
}

}  // namespace detail

void BindAny(SocketHandle s) {
  const sockaddr_in any = detail::Ipv4Address(INADDR_ANY, 0);
  const std::optional<detail::NativeSocket> native = detail::Native(s);
  if (!native || ::bind(*native, reinterpret_cast<const sockaddr*>(&any), sizeof any) != 0) {
    throw ConnectionError(kBindFailedText);
  }
}

void Connect(SocketHandle s, std::uint32_t address, std::uint16_t port, int timeout_ms,
             const Waker* waker) {
  const detail::NativeSocket sock = detail::NativeOrThrow(s);
  if (waker && waker->IsWoken()) throw Canceled();

  const sockaddr_in to = detail::Ipv4Address(address, port);
  const detail::NonBlockingScope non_blocking(sock);
  if (::connect(sock, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0) return;
  detail::ThrowUnlessConnecting();
  switch (detail::AwaitConnect(sock, timeout_ms > 0 ? timeout_ms : -1, waker)) {
    case Readiness::Woken:
      throw Canceled();
    case Readiness::TimedOut:
      ThrowSocketError(wsa::kTimedOut);
    case Readiness::Readable:
      break;
  }
}

void SendAll(SocketHandle s, const char* data, std::size_t size) {
  const detail::NativeSocket sock = detail::NativeOrThrow(s);
  while (size > 0) {
    // The whole remaining tail is offered each time, again after an interruption.
    const std::optional<std::size_t> sent = detail::SendOnce(sock, data, size);
    if (!sent) continue;
    data += *sent;
    size -= *sent;
  }
}

Readiness WaitReadable(SocketHandle s, int timeout_ms, const Waker* waker) {
  const detail::NativeSocket sock = detail::NativeOrThrow(s);
  if (waker && waker->IsWoken()) return Readiness::Woken;
  return detail::AwaitInput(sock, timeout_ms, waker);
}

std::size_t Receive(SocketHandle s, char* buffer, std::size_t size) {
  const detail::NativeSocket sock = detail::NativeOrThrow(s);
  for (;;) {
    if (const std::optional<std::size_t> received = detail::ReceiveOnce(sock, buffer, size)) {
      return *received;
    }
  }
}

std::uint32_t LookupIPv4(const std::string& host) {
  // A name with a zero byte in it cannot be passed on whole; it names no host.
  if (host.find('\0') != std::string::npos) ThrowSocketError(wsa::kHostNotFound);
  const std::optional<std::uint32_t> address = detail::ResolveFirstIPv4(host);
  if (!address) ThrowSocketError(wsa::kNoData);
  return *address;
}

void ShutdownSend(SocketHandle s) noexcept {
  if (const std::optional<detail::NativeSocket> native = detail::Native(s)) {
    ::shutdown(*native, detail::kShutdownSend);
  }
}

}  // namespace pcpos::net
