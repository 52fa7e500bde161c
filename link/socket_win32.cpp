// socket.h over Windows Sockets 2. Winsock reports its own error numbers
// (WSAGetLastError), which are the numbers of the table in socket_errors.cpp.
// Built only on Windows (link/CMakeLists.txt links ws2_32 there).
#include "link/socket_platform.h"

#include <windows.h>

#include <atomic>
#include <climits>
#include <string>

#include "link/errors.h"
#include "text/utf16.h"

#if defined(_MSC_VER)
#pragma comment(lib, "ws2_32.lib")
#endif

#ifndef WSA_FLAG_NO_HANDLE_INHERIT
#define WSA_FLAG_NO_HANDLE_INHERIT 0x80
#endif

namespace pcpos::net {
namespace detail {

std::optional<NativeSocket> Native(SocketHandle s) noexcept {
  if (s == kNoSocket) return std::nullopt;
  return static_cast<SOCKET>(s);
}

}  // namespace detail

namespace {

constexpr const char* kLibraryName = "WS2_32.DLL";

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

// The time left for select: null without a limit.
timeval* RemainingTime(const detail::Deadline& deadline, timeval& storage) {
  const int left_ms = deadline.RemainingMs();
  if (left_ms < 0) return nullptr;
  storage.tv_sec = left_ms / 1000;
  storage.tv_usec = (left_ms % 1000) * 1000;
  return &storage;
}

// Why a connect that select put into the exception set failed.
int ConnectError(SOCKET sock) {
  int error = 0;
  int length = sizeof error;
  if (getsockopt(sock, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) ==
      SOCKET_ERROR) {
    return WSAGetLastError();
  }
  return error != 0 ? error : wsa::kConnectionRefused;
}

enum class Awaited { Input, Connected };

// The one wait of this file: until the socket is ready, the waker fires, or
// timeout_ms passes (negative: no limit). Input: data, the peer's close or a
// reset make the socket readable. Connected: a connect that succeeds makes it
// writable; one that fails puts it into the exception set and throws its error
// here (WSAPoll is not used: older Windows versions do not report a failed
// connect through it). Readable stands for "the socket is ready".
Readiness SelectSocket(SOCKET sock, Awaited awaited, int timeout_ms, const Waker* waker) {
  const detail::Deadline deadline(timeout_ms);
  const SOCKET wake = waker ? static_cast<SOCKET>(waker->Handle()) : INVALID_SOCKET;
  const bool connecting = awaited == Awaited::Connected;
  for (;;) {
    // Winsock refuses an empty set: a set without sockets is passed as null.
    fd_set readable;
    fd_set writable;
    fd_set failed;
    FD_ZERO(&readable);
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    if (connecting) {
      FD_SET(sock, &writable);
      FD_SET(sock, &failed);
    } else {
      FD_SET(sock, &readable);
    }
    if (waker) FD_SET(wake, &readable);
    const bool any_readable = waker || !connecting;
    timeval storage{};
    const int n = select(0, any_readable ? &readable : nullptr, connecting ? &writable : nullptr,
                         connecting ? &failed : nullptr, RemainingTime(deadline, storage));
    if (n == SOCKET_ERROR) {
      const int error = WSAGetLastError();
      if (error == WSAEINTR) continue;
      ThrowSocketError(error);
    }
    if (waker && FD_ISSET(wake, &readable)) return Readiness::Woken;
    if (connecting && FD_ISSET(sock, &failed)) ThrowSocketError(ConnectError(sock));
    if (FD_ISSET(sock, connecting ? &writable : &readable)) return Readiness::Readable;
    if (n == 0) return Readiness::TimedOut;
  }
}

// ioctlsocket takes its command as a long, and FIONBIO is built unsigned.
int SetNonBlocking(SOCKET s, bool on) {
  u_long value = on ? 1 : 0;
  return ioctlsocket(s, static_cast<long>(FIONBIO), &value);
}

SOCKET NewSocket() {
  return WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0,
                    WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
}

// send and recv take an int length: a longer buffer goes in pieces.
int Chunk(std::size_t size) {
  return size > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(size);
}

// What a send or recv moved; nullopt when it was interrupted.
std::optional<std::size_t> Moved(int n) {
  if (n != SOCKET_ERROR) return static_cast<std::size_t>(n);
  const int error = WSAGetLastError();
  if (error != WSAEINTR) ThrowSocketError(error);
  return std::nullopt;
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

namespace {

std::atomic<WakerListeningHook> g_waker_listening{nullptr};

// Foreign connections put up with before the pair is given up on.
constexpr int kMaxForeignConnections = 16;

// Any local process may connect to the listener: the accepted socket is the
// waker's own only when its peer is the address the connecting end got.
Socket AcceptOwn(SOCKET listening, SOCKET connecting) {
  sockaddr_in own{};
  int own_length = sizeof own;
  if (getsockname(connecting, reinterpret_cast<sockaddr*>(&own), &own_length) == SOCKET_ERROR) {
    ThrowLastError();
  }
  for (int foreign = 0;; ++foreign) {
    sockaddr_in peer{};
    int peer_length = sizeof peer;
    Socket accepted(static_cast<SocketHandle>(
        accept(listening, reinterpret_cast<sockaddr*>(&peer), &peer_length)));
    if (!accepted) ThrowLastError();
    if (peer.sin_family == own.sin_family && peer.sin_port == own.sin_port &&
        peer.sin_addr.s_addr == own.sin_addr.s_addr) {
      return accepted;
    }
    // Closed here, and the next one in the queue tried.
    if (foreign == kMaxForeignConnections) ThrowSocketError(WSAECONNREFUSED);
  }
}

}  // namespace

void SetWakerListeningHook(WakerListeningHook hook) noexcept { g_waker_listening.store(hook); }

Waker::Waker() : read_end_(kNoSocket), write_end_(kNoSocket) {
  StartSocketLibrary();
  // Owned until the end: every way out before it closes what was made.
  Socket listener(static_cast<SocketHandle>(NewSocket()));
  if (!listener) ThrowLastError();
  const SOCKET listening = static_cast<SOCKET>(listener.get());
  const BOOL exclusive = TRUE;
  setsockopt(listening, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive),
             sizeof exclusive);
  sockaddr_in address = detail::Ipv4Address(INADDR_LOOPBACK, 0);
  int length = sizeof address;
  if (bind(listening, reinterpret_cast<const sockaddr*>(&address), sizeof address) ==
          SOCKET_ERROR ||
      getsockname(listening, reinterpret_cast<sockaddr*>(&address), &length) == SOCKET_ERROR ||
      listen(listening, SOMAXCONN) == SOCKET_ERROR) {
    ThrowLastError();
  }
  if (const WakerListeningHook hook = g_waker_listening.load()) hook(ntohs(address.sin_port));
  Socket client(static_cast<SocketHandle>(NewSocket()));
  if (!client) ThrowLastError();
  if (connect(static_cast<SOCKET>(client.get()), reinterpret_cast<const sockaddr*>(&address),
              sizeof address) == SOCKET_ERROR) {
    ThrowLastError();
  }
  Socket server = AcceptOwn(listening, static_cast<SOCKET>(client.get()));
  listener.reset();

  // The byte goes out at once, and a send never blocks.
  const BOOL no_delay = TRUE;
  setsockopt(static_cast<SOCKET>(client.get()), IPPROTO_TCP, TCP_NODELAY,
             reinterpret_cast<const char*>(&no_delay), sizeof no_delay);
  SetNonBlocking(static_cast<SOCKET>(client.get()), true);
  SetNonBlocking(static_cast<SOCKET>(server.get()), true);

  read_end_ = server.release();
  write_end_ = client.release();
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

Socket CreateTcpSocket() {
  const SOCKET s = NewSocket();
  if (s == INVALID_SOCKET) ThrowLastError();
  return Socket(static_cast<SocketHandle>(s));
}

void SetNoDelay(SocketHandle s, bool on) {
  const BOOL value = on ? TRUE : FALSE;
  if (setsockopt(detail::NativeOrThrow(s), IPPROTO_TCP, TCP_NODELAY,
                 reinterpret_cast<const char*>(&value), sizeof value) == SOCKET_ERROR) {
    ThrowLastError();
  }
}

namespace detail {

std::optional<std::uint32_t> ResolveFirstIPv4(const std::string& host) {
  // The host is UTF-8; GetAddrInfoW takes UTF-16.
  const std::wstring wide = Wide(host);
  ADDRINFOW hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  ADDRINFOW* result = nullptr;
  const int rc = GetAddrInfoW(wide.c_str(), nullptr, &hints, &result);
  if (rc != 0) ThrowSocketError(SocketErrorFromLookup(rc, 0));
  const std::optional<std::uint32_t> address = FirstIPv4(result);
  FreeAddrInfoW(result);
  return address;
}

NonBlockingScope::NonBlockingScope(SOCKET s) : s_(s) {
  if (SetNonBlocking(s_, true) == SOCKET_ERROR) ThrowLastError();
}

NonBlockingScope::~NonBlockingScope() { SetNonBlocking(s_, false); }

void ThrowUnlessConnecting() {
  const int started = WSAGetLastError();
  if (started != WSAEWOULDBLOCK) ThrowSocketError(started);
}

Readiness AwaitConnect(SOCKET s, int timeout_ms, const Waker* waker) {
  return SelectSocket(s, Awaited::Connected, timeout_ms, waker);
}

Readiness AwaitInput(SOCKET s, int timeout_ms, const Waker* waker) {
  return SelectSocket(s, Awaited::Input, timeout_ms, waker);
}

std::optional<std::size_t> SendOnce(SOCKET s, const char* data, std::size_t size) {
  return Moved(send(s, data, Chunk(size), 0));
}

std::optional<std::size_t> ReceiveOnce(SOCKET s, char* buffer, std::size_t size) {
  return Moved(recv(s, buffer, Chunk(size), 0));
}

}  // namespace detail

void Close(SocketHandle s) noexcept {
  if (const std::optional<SOCKET> sock = detail::Native(s)) closesocket(*sock);
}

}  // namespace pcpos::net
