// socket.h over Windows Sockets 2. Winsock reports its own error numbers
// (WSAGetLastError), which are the numbers of the table in socket_errors.cpp.
// Built only on Windows (link/CMakeLists.txt links ws2_32 there).
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <chrono>
#include <climits>
#include <cstring>
#include <string>

#include "link/errors.h"
#include "link/socket.h"

#if defined(_MSC_VER)
#pragma comment(lib, "ws2_32.lib")
#endif

#ifndef WSA_FLAG_NO_HANDLE_INHERIT
#define WSA_FLAG_NO_HANDLE_INHERIT 0x80
#endif

namespace pcpos::net {
namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kLibraryName = "WS2_32.DLL";

SOCKET Sock(SocketHandle s) {
  if (s == kNoSocket) throw NotSocketError();
  return static_cast<SOCKET>(s);
}

[[noreturn]] void ThrowLastError() { ThrowSocketError(WSAGetLastError()); }

// The platform's text for an error number, without the trailing line break.
std::string SystemText(int code) {
  char* buffer = nullptr;
  const DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
  std::string text;
  if (length != 0 && buffer != nullptr) text.assign(buffer, length);
  if (buffer != nullptr) LocalFree(buffer);
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ')) {
    text.pop_back();
  }
  if (text.empty()) text = "error " + std::to_string(code);
  return text;
}

// A time-out for select: null without a limit.
timeval* RemainingTime(bool limited, Clock::time_point deadline, timeval& storage) {
  if (!limited) return nullptr;
  auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now()).count();
  if (left < 0) left = 0;
  storage.tv_sec = static_cast<long>(left / 1000000);
  storage.tv_usec = static_cast<long>(left % 1000000);
  return &storage;
}

void SetBlocking(SOCKET s, bool blocking) {
  u_long non_blocking = blocking ? 0 : 1;
  if (ioctlsocket(s, FIONBIO, &non_blocking) == SOCKET_ERROR) ThrowLastError();
}

// Non-blocking for the time of a connect, blocking again on every way out.
class NonBlockingScope {
 public:
  explicit NonBlockingScope(SOCKET s) : s_(s) { SetBlocking(s_, false); }
  ~NonBlockingScope() {
    u_long non_blocking = 0;
    ioctlsocket(s_, FIONBIO, &non_blocking);
  }
  NonBlockingScope(const NonBlockingScope&) = delete;
  NonBlockingScope& operator=(const NonBlockingScope&) = delete;

 private:
  SOCKET s_;
};

SOCKET NewSocket() {
  return WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0,
                    WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
}

}  // namespace

// ---------------------------------------------------------------------------

void StartSocketLibrary() {
  // Started once per process and left started until the program exits.
  static const int result = [] {
    WSADATA data{};
    const int rc = WSAStartup(MAKEWORD(2, 2), &data);
    if (rc != 0) return rc;
    if (LOBYTE(data.wVersion) != 2 || HIBYTE(data.wVersion) != 2) {
      WSACleanup();
      return static_cast<int>(WSAVERNOTSUPPORTED);
    }
    return 0;
  }();
  if (result != 0) {
    throw ConnectionError(std::string("Error on loading Winsock2 library (") + kLibraryName +
                          "): " + SystemText(result));
  }
}

// ---------------------------------------------------------------------------
// Waker: a connected pair of loopback sockets (select watches sockets only).
// Wake sends one byte that is never read, so the read end stays readable.

Waker::Waker() : read_end_(kNoSocket), write_end_(kNoSocket) {
  StartSocketLibrary();
  SOCKET listener = NewSocket();
  if (listener == INVALID_SOCKET) ThrowLastError();
  SOCKET client = INVALID_SOCKET;
  SOCKET server = INVALID_SOCKET;
  const auto fail = [&](int error) {
    if (server != INVALID_SOCKET) closesocket(server);
    if (client != INVALID_SOCKET) closesocket(client);
    closesocket(listener);
    ThrowSocketError(error);
  };

  const BOOL exclusive = TRUE;
  setsockopt(listener, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive),
             sizeof exclusive);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  int length = sizeof address;
  if (bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address) == SOCKET_ERROR ||
      getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) == SOCKET_ERROR ||
      listen(listener, 1) == SOCKET_ERROR) {
    fail(WSAGetLastError());
  }
  client = NewSocket();
  if (client == INVALID_SOCKET) fail(WSAGetLastError());
  if (connect(client, reinterpret_cast<const sockaddr*>(&address), sizeof address) ==
      SOCKET_ERROR) {
    fail(WSAGetLastError());
  }
  server = accept(listener, nullptr, nullptr);
  if (server == INVALID_SOCKET) fail(WSAGetLastError());
  closesocket(listener);
  listener = INVALID_SOCKET;

  // The byte goes out at once, and a send never blocks.
  const BOOL no_delay = TRUE;
  setsockopt(client, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&no_delay),
             sizeof no_delay);
  u_long non_blocking = 1;
  ioctlsocket(client, FIONBIO, &non_blocking);
  ioctlsocket(server, FIONBIO, &non_blocking);

  read_end_ = static_cast<std::intptr_t>(server);
  write_end_ = static_cast<std::intptr_t>(client);
}

Waker::~Waker() {
  closesocket(static_cast<SOCKET>(read_end_));
  closesocket(static_cast<SOCKET>(write_end_));
}

void Waker::Wake() noexcept {
  const char byte = 1;
  // Non-blocking: a full buffer means it is woken already.
  send(static_cast<SOCKET>(write_end_), &byte, 1, 0);
}

bool Waker::IsWoken() const noexcept {
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(static_cast<SOCKET>(read_end_), &readable);
  timeval zero{0, 0};
  return select(0, &readable, nullptr, nullptr, &zero) > 0;
}

std::intptr_t Waker::Handle() const noexcept { return read_end_; }

// ---------------------------------------------------------------------------

SocketHandle CreateTcpSocket() {
  const SOCKET s = NewSocket();
  if (s == INVALID_SOCKET) ThrowLastError();
  return static_cast<SocketHandle>(s);
}

void BindAny(SocketHandle s) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_ANY);
  address.sin_port = 0;
  if (s == kNoSocket || bind(static_cast<SOCKET>(s), reinterpret_cast<const sockaddr*>(&address),
                             sizeof address) == SOCKET_ERROR) {
    throw ConnectionError(kBindFailedText);
  }
}

void SetNoDelay(SocketHandle s, bool on) {
  const BOOL value = on ? TRUE : FALSE;
  if (setsockopt(Sock(s), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&value),
                 sizeof value) == SOCKET_ERROR) {
    ThrowLastError();
  }
}

std::uint32_t LookupIPv4(const std::string& host) {
  if (host.find('\0') != std::string::npos) ThrowSocketError(wsa::kHostNotFound);
  // The host is UTF-8; GetAddrInfoW takes UTF-16.
  std::wstring wide;
  if (!host.empty()) {
    const int size = MultiByteToWideChar(CP_UTF8, 0, host.data(), static_cast<int>(host.size()),
                                         nullptr, 0);
    if (size <= 0) ThrowSocketError(wsa::kHostNotFound);
    wide.resize(static_cast<std::size_t>(size));
    MultiByteToWideChar(CP_UTF8, 0, host.data(), static_cast<int>(host.size()), wide.data(), size);
  }
  ADDRINFOW hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  ADDRINFOW* result = nullptr;
  const int rc = GetAddrInfoW(wide.c_str(), nullptr, &hints, &result);
  if (rc != 0) ThrowSocketError(SocketErrorFromLookup(rc, 0));
  std::uint32_t address = 0;
  bool found = false;
  for (const ADDRINFOW* ai = result; ai != nullptr; ai = ai->ai_next) {
    if (ai->ai_family == AF_INET && ai->ai_addr != nullptr &&
        ai->ai_addrlen >= sizeof(sockaddr_in)) {
      sockaddr_in in{};
      std::memcpy(&in, ai->ai_addr, sizeof in);
      address = ntohl(in.sin_addr.s_addr);
      found = true;
      break;
    }
  }
  FreeAddrInfoW(result);
  if (!found) ThrowSocketError(wsa::kNoData);
  return address;
}

void Connect(SocketHandle s, std::uint32_t address, std::uint16_t port, int timeout_ms,
             const Waker* waker) {
  const SOCKET sock = Sock(s);
  if (waker && waker->IsWoken()) throw Canceled();

  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = htonl(address);
  to.sin_port = htons(port);

  NonBlockingScope non_blocking(sock);
  if (connect(sock, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0) return;
  const int started = WSAGetLastError();
  if (started != WSAEWOULDBLOCK) ThrowSocketError(started);

  const bool limited = timeout_ms > 0;
  const Clock::time_point deadline =
      Clock::now() + std::chrono::milliseconds(limited ? timeout_ms : 0);
  const SOCKET wake = waker ? static_cast<SOCKET>(waker->Handle()) : INVALID_SOCKET;
  for (;;) {
    // A connect that succeeds makes the socket writable; one that fails puts
    // it into the exception set (WSAPoll is not used: older Windows versions
    // do not report a failed connect through it).
    fd_set writable;
    fd_set failed;
    fd_set readable;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_ZERO(&readable);
    FD_SET(sock, &writable);
    FD_SET(sock, &failed);
    if (waker) FD_SET(wake, &readable);
    timeval storage{};
    const int n = select(0, waker ? &readable : nullptr, &writable, &failed,
                         RemainingTime(limited, deadline, storage));
    if (n == SOCKET_ERROR) {
      const int error = WSAGetLastError();
      if (error == WSAEINTR) continue;
      ThrowSocketError(error);
    }
    if (waker && FD_ISSET(wake, &readable)) throw Canceled();
    if (FD_ISSET(sock, &failed)) {
      int error = 0;
      int length = sizeof error;
      if (getsockopt(sock, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) ==
          SOCKET_ERROR) {
        ThrowLastError();
      }
      ThrowSocketError(error != 0 ? error : wsa::kConnectionRefused);
    }
    if (FD_ISSET(sock, &writable)) return;
    if (n == 0) ThrowSocketError(wsa::kTimedOut);
  }
}

void SendAll(SocketHandle s, const char* data, std::size_t size) {
  const SOCKET sock = Sock(s);
  while (size > 0) {
    // The whole remaining tail is offered each time (within send's int length).
    const int chunk = size > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(size);
    const int n = send(sock, data, chunk, 0);
    if (n == SOCKET_ERROR) {
      const int error = WSAGetLastError();
      if (error == WSAEINTR) continue;
      ThrowSocketError(error);
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
}

Readiness WaitReadable(SocketHandle s, int timeout_ms, const Waker* waker) {
  const SOCKET sock = Sock(s);
  if (waker && waker->IsWoken()) return Readiness::Woken;

  const bool limited = timeout_ms >= 0;
  const Clock::time_point deadline =
      Clock::now() + std::chrono::milliseconds(limited ? timeout_ms : 0);
  const SOCKET wake = waker ? static_cast<SOCKET>(waker->Handle()) : INVALID_SOCKET;
  for (;;) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(sock, &readable);
    if (waker) FD_SET(wake, &readable);
    timeval storage{};
    const int n = select(0, &readable, nullptr, nullptr, RemainingTime(limited, deadline, storage));
    if (n == SOCKET_ERROR) {
      const int error = WSAGetLastError();
      if (error == WSAEINTR) continue;
      ThrowSocketError(error);
    }
    if (waker && FD_ISSET(wake, &readable)) return Readiness::Woken;
    // Data, the peer's close and a reset all make the socket readable.
    if (FD_ISSET(sock, &readable)) return Readiness::Readable;
    if (n == 0) return Readiness::TimedOut;
  }
}

std::size_t Receive(SocketHandle s, char* buffer, std::size_t size) {
  const SOCKET sock = Sock(s);
  const int chunk = size > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(size);
  for (;;) {
    const int n = recv(sock, buffer, chunk, 0);
    if (n != SOCKET_ERROR) return static_cast<std::size_t>(n);
    const int error = WSAGetLastError();
    if (error != WSAEINTR) ThrowSocketError(error);
  }
}

void ShutdownSend(SocketHandle s) noexcept {
  if (s == kNoSocket) return;
  shutdown(static_cast<SOCKET>(s), SD_SEND);
}

void Close(SocketHandle s) noexcept {
  if (s == kNoSocket) return;
  closesocket(static_cast<SOCKET>(s));
}

}  // namespace pcpos::net
