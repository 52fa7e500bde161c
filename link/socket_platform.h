// Inside the socket layer only: the platform's socket headers, behind the one
// #ifdef of the link, and what socket_common.cpp writes once for both
// platform files. Nothing outside link/socket_*.cpp includes this.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>

#include "link/socket.h"

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <winsock2.h>
#include <ws2tcpip.h>
namespace pcpos::net::detail {
using NativeSocket = SOCKET;
inline constexpr int kShutdownSend = SD_SEND;
}  // namespace pcpos::net::detail
#else
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
namespace pcpos::net::detail {
using NativeSocket = int;
inline constexpr int kShutdownSend = SHUT_WR;
}  // namespace pcpos::net::detail
#endif

namespace pcpos::net::detail {

// The platform's socket behind a handle; nullopt for a handle that cannot be
// one (each platform file says which).
std::optional<NativeSocket> Native(SocketHandle s) noexcept;

// The same, for calls that were handed a socket: anything else is Winsock's
// 10038, an operation on something that is not a socket.
NativeSocket NativeOrThrow(SocketHandle s);

// A host-order IPv4 address and port as the socket calls take them.
sockaddr_in Ipv4Address(std::uint32_t address, std::uint16_t port);

// The first IPv4 address of a resolver's list (addrinfo, or Windows' ADDRINFOW).
template <typename AddressInfo>
std::optional<std::uint32_t> FirstIPv4(const AddressInfo* list) {
  for (const AddressInfo* ai = list; ai != nullptr; ai = ai->ai_next) {
    if (ai->ai_family == AF_INET && ai->ai_addr != nullptr &&
        ai->ai_addrlen >= sizeof(sockaddr_in)) {
      sockaddr_in in{};
      std::memcpy(&in, ai->ai_addr, sizeof in);
      return ntohl(in.sin_addr.s_addr);
    }
  }
  return std::nullopt;
}

// The platform resolver's first IPv4 stream address for a name without zero
// bytes; nullopt when the name has none. A failed lookup throws its error.
std::optional<std::uint32_t> ResolveFirstIPv4(const std::string& host);

// Non-blocking for the time of a connect, blocking again on every way out.
class NonBlockingScope {
 public:
  explicit NonBlockingScope(NativeSocket s);
  ~NonBlockingScope();
  NonBlockingScope(const NonBlockingScope&) = delete;
  NonBlockingScope& operator=(const NonBlockingScope&) = delete;

 private:
  NativeSocket s_;
  int saved_flags_ = 0;  // the file status flags to put back, where there are any
};

// After a connect call that did not succeed at once: returns when the connect
// goes on in the background, else throws its error.
void ThrowUnlessConnecting();

// Waits for a connect under way to end: Readable once connected, Woken when the
// waker fires first, TimedOut after timeout_ms (negative: no limit). A failed
// connect throws its error.
Readiness AwaitConnect(NativeSocket s, int timeout_ms, const Waker* waker);

// Waits until the socket can be read without blocking (data, the peer's close
// or a reset), the waker fires, or timeout_ms passes (negative: no limit).
Readiness AwaitInput(NativeSocket s, int timeout_ms, const Waker* waker);

// One send or receive of at most `size` bytes: how many moved, or nullopt when
// a signal interrupted the call before anything moved. Other failures throw.
std::optional<std::size_t> SendOnce(NativeSocket s, const char* data, std::size_t size);
std::optional<std::size_t> ReceiveOnce(NativeSocket s, char* buffer, std::size_t size);

// A wait's limit, counted from when it is made.
class Deadline {
 public:
  // timeout_ms < 0: no limit.
  explicit Deadline(int timeout_ms);
  // Milliseconds left, never below 0; -1 without a limit.
  int RemainingMs() const;

 private:
  using Clock = std::chrono::steady_clock;
  bool limited_;
  Clock::time_point at_;
};

}  // namespace pcpos::net::detail
