// The errors of the card-reader link: one table of Windows Sockets numbers, the
// texts the operator is shown and the POSIX errno values that stand for the same failure
// (in the manner of asio's error.hpp), and the messages built from it.
//
// On Windows the errno column is unused: Winsock reports its own numbers, which
// pass through SocketErrorFromErrno and SocketErrorFromLookup unchanged.
#include "link/errors.h"

#include <cerrno>
#include <cstddef>
#include <string>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
// The errno column means nothing on Windows.
#define PCPOS_ERRNO(e) 0
#else
#include <netdb.h>
#define PCPOS_ERRNO(e) (e)
#endif

namespace pcpos {
namespace {

struct ErrorRow {
  int code;          // Windows Sockets number
  int posix;         // errno value with the same meaning (0: none)
  int posix_alias;   // a second errno value mapped onto the same number (0: none)
  const char* text;  // the text the operator is shown
};

// The Windows Sockets numbers with their texts, in numeric order. The errno columns add the
// mapping. EPIPE is mapped onto 10054: the link sends only on a socket it has not shut down itself,
// so on POSIX an EPIPE means the peer has torn the connection down (a send after the peer's reset
// gives ECONNRESET once, EPIPE after), and Winsock reports that case as WSAECONNRESET. ESHUTDOWN
// keeps 10058.
constexpr ErrorRow kErrors[] = {
    {10004, PCPOS_ERRNO(EINTR), 0, "Interrupted system call."},
    {10009, PCPOS_ERRNO(EBADF), 0, "Bad file number."},
    {10013, PCPOS_ERRNO(EACCES), PCPOS_ERRNO(EPERM), "Access denied."},
    {10014, PCPOS_ERRNO(EFAULT), 0, "Buffer fault."},
    {10022, PCPOS_ERRNO(EINVAL), 0, "Invalid argument."},
    {10024, PCPOS_ERRNO(EMFILE), PCPOS_ERRNO(ENFILE), "Too many open files."},
    {10035, PCPOS_ERRNO(EWOULDBLOCK), PCPOS_ERRNO(EAGAIN), "Operation would block."},
    {10036, PCPOS_ERRNO(EINPROGRESS), 0, "Operation now in progress."},
    {10037, PCPOS_ERRNO(EALREADY), 0, "Operation already in progress."},
    {10038, PCPOS_ERRNO(ENOTSOCK), 0, "Socket operation on non-socket."},
    {10039, PCPOS_ERRNO(EDESTADDRREQ), 0, "Destination address required."},
    {10040, PCPOS_ERRNO(EMSGSIZE), 0, "Message too long."},
    {10041, PCPOS_ERRNO(EPROTOTYPE), 0, "Protocol wrong type for socket."},
    {10042, PCPOS_ERRNO(ENOPROTOOPT), 0, "Bad protocol option."},
    {10043, PCPOS_ERRNO(EPROTONOSUPPORT), 0, "Protocol not supported."},
    {10044, PCPOS_ERRNO(ESOCKTNOSUPPORT), 0, "Socket type not supported."},
    {10045, PCPOS_ERRNO(EOPNOTSUPP), PCPOS_ERRNO(ENOTSUP), "Operation not supported on socket."},
    {10046, PCPOS_ERRNO(EPFNOSUPPORT), 0, "Protocol family not supported."},
    {10047, PCPOS_ERRNO(EAFNOSUPPORT), 0, "Address family not supported by protocol family."},
    {10048, PCPOS_ERRNO(EADDRINUSE), 0, "Address already in use."},
    {10049, PCPOS_ERRNO(EADDRNOTAVAIL), 0, "Cannot assign requested address."},
    {10050, PCPOS_ERRNO(ENETDOWN), 0, "Network is down."},
    {10051, PCPOS_ERRNO(ENETUNREACH), 0, "Network is unreachable."},
    {10052, PCPOS_ERRNO(ENETRESET), 0, "Net dropped connection or reset."},
    {10053, PCPOS_ERRNO(ECONNABORTED), 0, "Software caused connection abort."},
    {10054, PCPOS_ERRNO(ECONNRESET), PCPOS_ERRNO(EPIPE), "Connection reset by peer."},
    {10055, PCPOS_ERRNO(ENOBUFS), PCPOS_ERRNO(ENOMEM), "No buffer space available."},
    {10056, PCPOS_ERRNO(EISCONN), 0, "Socket is already connected."},
    {10057, PCPOS_ERRNO(ENOTCONN), 0, "Socket is not connected."},
    {10058, PCPOS_ERRNO(ESHUTDOWN), 0, "Cannot send or receive after socket is closed."},
    {10059, PCPOS_ERRNO(ETOOMANYREFS), 0, "Too many references, cannot splice."},
    {10060, PCPOS_ERRNO(ETIMEDOUT), 0, "Connection timed out."},
    {10061, PCPOS_ERRNO(ECONNREFUSED), 0, "Connection refused."},
    {10062, PCPOS_ERRNO(ELOOP), 0, "Too many levels of symbolic links."},
    {10063, PCPOS_ERRNO(ENAMETOOLONG), 0, "File name too long."},
    {10064, PCPOS_ERRNO(EHOSTDOWN), 0, "Host is down."},
    {10065, PCPOS_ERRNO(EHOSTUNREACH), 0, "No route to host."},
    {10066, PCPOS_ERRNO(ENOTEMPTY), 0, "Directory not empty"},
    {11001, 0, 0, "Host not found."},
};

}  // namespace

SocketError::SocketError(int code) : ConnectionError(SocketErrorMessage(code)), code_(code) {}

Canceled::Canceled() : std::runtime_error(kCanceledText) {}

std::string SocketErrorText(int code) {
  for (const ErrorRow& row : kErrors) {
    if (row.code == code) return row.text;
  }
  return {};
}

std::string SocketErrorMessage(int code) {
  return "Socket Error # " + std::to_string(code) + "\r\n" + SocketErrorText(code);
}

void ThrowSocketError(int code) {
  if (code == wsa::kNotSocket) throw NotSocketError();
  throw SocketError(code);
}

// errno values become their Windows Sockets numbers. Numbers that already are
// Windows Sockets numbers (10000 and above) pass through, and so does an errno
// value the table does not know (its message then has an empty second line).
int SocketErrorFromErrno(int err) {
  if (err <= 0 || err >= 10000) return err;
  for (const ErrorRow& row : kErrors) {
    if (row.posix == err || row.posix_alias == err) return row.code;
  }
  return err;
}

// getaddrinfo results become Windows Sockets numbers. On Windows the EAI_*
// values are Windows Sockets numbers already and pass through.
int SocketErrorFromLookup(int eai, int saved_errno) {
  if (eai >= 10000) return eai;
#if defined(EAI_SYSTEM)
  if (eai == EAI_SYSTEM) {
    return saved_errno > 0 ? SocketErrorFromErrno(saved_errno) : wsa::kNoRecovery;
  }
#else
  (void)saved_errno;
#endif
  struct LookupRow {
    int eai;
    int code;
  };
  static constexpr LookupRow kLookup[] = {
    {EAI_NONAME, wsa::kHostNotFound},  // the name does not exist
    {EAI_AGAIN, wsa::kTryAgain},       // temporary failure of the name server
    {EAI_FAIL, wsa::kNoRecovery},      // the name server failed for good
#if defined(EAI_NODATA)
    {EAI_NODATA, wsa::kNoData},  // the name exists but has no address
#endif
#if defined(EAI_ADDRFAMILY)
    {EAI_ADDRFAMILY, wsa::kNoData},  // the name has no IPv4 address
#endif
    // As Winsock's own EAI_* values, which are these numbers.
    {EAI_FAMILY, wsa::kAddressFamilyNotSupported},
    {EAI_SOCKTYPE, wsa::kSocketTypeNotSupported},
    {EAI_BADFLAGS, wsa::kInvalidArgument},
    {EAI_SERVICE, wsa::kTypeNotFound},  // no text in the table
    {EAI_MEMORY, wsa::kNoBufferSpace},  // out of memory: "No buffer space available."
#if defined(EAI_OVERFLOW)
    {EAI_OVERFLOW, wsa::kInvalidArgument},
#endif
#if defined(EAI_CANCELED)
    {EAI_CANCELED, wsa::kInterrupted},
#endif
#if defined(EAI_INTR)
    {EAI_INTR, wsa::kInterrupted},
#endif
  };
  for (const LookupRow& row : kLookup) {
    if (row.eai == eai) return row.code;
  }
  // Anything else the resolver may report is a failure that a retry will not mend.
  return wsa::kNoRecovery;
}

}  // namespace pcpos
