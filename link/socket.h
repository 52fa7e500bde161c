// The platform's sockets behind one neutral interface. socket_common.cpp holds
// what both platforms share, socket_posix.cpp and socket_win32.cpp what differs;
// no platform header is included here.
// Every function that fails throws a SocketError with the Windows Sockets number.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

namespace pcpos::net {

using SocketHandle = std::intptr_t;
inline constexpr SocketHandle kNoSocket = -1;

// Wakes a thread blocked in Connect or WaitReadable from any other thread. Once
// woken it stays woken: a cancelled transaction does not wait again.
class Waker {
 public:
  Waker();
  ~Waker();
  Waker(const Waker&) = delete;
  Waker& operator=(const Waker&) = delete;

  void Wake() noexcept;
  bool IsWoken() const noexcept;
  // The handle a wait watches beside its socket.
  std::intptr_t Handle() const noexcept;

 private:
  std::intptr_t read_end_;
  std::intptr_t write_end_;
};

#ifdef _WIN32
// For tests: called by a Waker between listening on its loopback port and
// connecting to it, so that another connection can come first. Null: none.
using WakerListeningHook = void (*)(std::uint16_t port);
void SetWakerListeningHook(WakerListeningHook hook) noexcept;
#endif

// Never throw: release paths ignore their results.
void ShutdownSend(SocketHandle s) noexcept;
void Close(SocketHandle s) noexcept;

// The one owner of a socket: closes it when it goes, so that no way out of a
// function can leak one. Moves, never copies; never throws.
class Socket {
 public:
  Socket() noexcept = default;
  explicit Socket(SocketHandle handle) noexcept : handle_(handle) {}
  ~Socket() { Close(handle_); }
  Socket(Socket&& other) noexcept : handle_(other.release()) {}
  Socket& operator=(Socket&& other) noexcept {
    reset(other.release());
    return *this;
  }
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;

  SocketHandle get() const noexcept { return handle_; }
  explicit operator bool() const noexcept { return handle_ != kNoSocket; }
  // Gives the handle up without closing it.
  SocketHandle release() noexcept { return std::exchange(handle_, kNoSocket); }
  // Closes the handle held, if any, and holds `handle` instead.
  void reset(SocketHandle handle = kNoSocket) noexcept { Close(std::exchange(handle_, handle)); }

 private:
  SocketHandle handle_ = kNoSocket;
};

// Starts the platform's socket library once per process (Windows Sockets 2.2);
// a no-op elsewhere. Throws ConnectionError "Error on loading Winsock2 library (...)".
void StartSocketLibrary();

// An IPv4 stream socket in blocking mode.
Socket CreateTcpSocket();
// Bind to any local address and a port of the system's choice; a failure is
// ConnectionError "Could not bind socket. ..." whatever its cause.
void BindAny(SocketHandle s);
void SetNoDelay(SocketHandle s, bool on);

// Host-order IPv4 address of the first IPv4 stream address the name has.
std::uint32_t LookupIPv4(const std::string& host);

// Connects to a host-order IPv4 address. timeout_ms <= 0 waits as long as the
// platform does. Throws Canceled when the waker (may be null) fires first.
void Connect(SocketHandle s, std::uint32_t address, std::uint16_t port, int timeout_ms,
             const Waker* waker);

// Sends everything (no partial sends are left over); never raises SIGPIPE.
void SendAll(SocketHandle s, const char* data, std::size_t size);

enum class Readiness { Readable, TimedOut, Woken };
// Waits until the socket is readable, the waker fires, or timeout_ms passes
// (timeout_ms < 0: no limit, 0: test without waiting).
Readiness WaitReadable(SocketHandle s, int timeout_ms, const Waker* waker);

// One read of at most `size` bytes; 0 means the peer closed the connection.
std::size_t Receive(SocketHandle s, char* buffer, std::size_t size);

}  // namespace pcpos::net
