// The errors of the card-reader link. Every one carries the message the
// operator is shown; socket errors carry their Windows Sockets number on every
// platform, so the texts are identical wherever the tool runs.
#pragma once

#include <stdexcept>
#include <string>

namespace pcpos {

// Windows Sockets error numbers the core raises by name.
namespace wsa {
inline constexpr int kInterrupted = 10004;
inline constexpr int kInvalidArgument = 10022;
inline constexpr int kNotSocket = 10038;
inline constexpr int kSocketTypeNotSupported = 10044;
inline constexpr int kAddressFamilyNotSupported = 10047;
inline constexpr int kConnectionAborted = 10053;
inline constexpr int kConnectionReset = 10054;
inline constexpr int kNoBufferSpace = 10055;
inline constexpr int kTimedOut = 10060;
inline constexpr int kConnectionRefused = 10061;
inline constexpr int kTypeNotFound = 10109;  // an unknown service
inline constexpr int kHostNotFound = 11001;
inline constexpr int kTryAgain = 11002;
inline constexpr int kNoRecovery = 11003;
inline constexpr int kNoData = 11004;
}  // namespace wsa

// Any error of the link that is not a socket error ("Connection Closed
// Gracefully.", a failed bind, an empty host).
class ConnectionError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class SocketError : public ConnectionError {
 public:
  explicit SocketError(int code);
  int code() const noexcept { return code_; }

 private:
  int code_;
};

// 10038, an operation on something that is not a socket, is an error of its own kind.
class NotSocketError : public SocketError {
 public:
  NotSocketError() : SocketError(wsa::kNotSocket) {}
};

// The operator cancelled; raised from a wait the canceller woke.
class Canceled : public std::runtime_error {
 public:
  Canceled();
};

inline constexpr const char* kCanceledText = "Canceled by operator.";
inline constexpr const char* kClosedGracefullyText = "Connection Closed Gracefully.";
inline constexpr const char* kBindFailedText =
    "Could not bind socket. Address and port are already in use.";

// The text for a Windows Sockets number; empty when the number has none.
std::string SocketErrorText(int code);

// "Socket Error # <code>\r\n<text>".
std::string SocketErrorMessage(int code);

// Throws SocketError (or NotSocketError for 10038) for the number.
[[noreturn]] void ThrowSocketError(int code);

// Platform error numbers to Windows Sockets numbers: errno values on POSIX
// (Windows numbers pass through), and the resolver's EAI_* results.
int SocketErrorFromErrno(int err);
int SocketErrorFromLookup(int eai, int saved_errno);

}  // namespace pcpos
