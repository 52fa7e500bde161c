// The socket error texts and the mapping of POSIX errors onto their numbers.
#include <gtest/gtest.h>
#include <netdb.h>

#include <cerrno>
#include <string>

#include "link/errors.h"

namespace pcpos {
namespace {

TEST(SocketErrorText, TableTexts) {
  EXPECT_EQ(SocketErrorText(10004), "Interrupted system call.");
  EXPECT_EQ(SocketErrorText(10038), "Socket operation on non-socket.");
  EXPECT_EQ(SocketErrorText(10047), "Address family not supported by protocol family.");
  EXPECT_EQ(SocketErrorText(10053), "Software caused connection abort.");
  EXPECT_EQ(SocketErrorText(10054), "Connection reset by peer.");
  EXPECT_EQ(SocketErrorText(10059), "Too many references, cannot splice.");
  EXPECT_EQ(SocketErrorText(10060), "Connection timed out.");
  EXPECT_EQ(SocketErrorText(10061), "Connection refused.");
  EXPECT_EQ(SocketErrorText(10066), "Directory not empty");  // no full stop, as in the table
  EXPECT_EQ(SocketErrorText(11001), "Host not found.");
}

TEST(SocketErrorText, EveryNumberOfTheTableHasAText) {
  for (int code = 10004; code <= 10066; ++code) {
    const bool in_table = code == 10004 || code == 10009 || code == 10013 || code == 10014 ||
                          code == 10022 || code == 10024 || (code >= 10035 && code <= 10066);
    EXPECT_EQ(!SocketErrorText(code).empty(), in_table) << code;
  }
  EXPECT_EQ(SocketErrorText(11001), "Host not found.");
}

TEST(SocketErrorText, NumbersWithoutText) {
  EXPECT_EQ(SocketErrorText(0), "");
  EXPECT_EQ(SocketErrorText(10067), "");
  EXPECT_EQ(SocketErrorText(10109), "");
  EXPECT_EQ(SocketErrorText(11002), "");
  EXPECT_EQ(SocketErrorText(11004), "");
}

TEST(SocketErrorMessage, ExactMessages) {
  EXPECT_EQ(SocketErrorMessage(10054), "Socket Error # 10054\r\nConnection reset by peer.");
  EXPECT_EQ(SocketErrorMessage(10060), "Socket Error # 10060\r\nConnection timed out.");
  EXPECT_EQ(SocketErrorMessage(10061), "Socket Error # 10061\r\nConnection refused.");
  EXPECT_EQ(SocketErrorMessage(11001), "Socket Error # 11001\r\nHost not found.");
}

TEST(SocketErrorMessage, NumberWithoutTextEndsWithTheLineBreak) {
  EXPECT_EQ(SocketErrorMessage(11004), "Socket Error # 11004\r\n");
  EXPECT_EQ(SocketErrorMessage(12345), "Socket Error # 12345\r\n");
  EXPECT_EQ(SocketErrorMessage(-7), "Socket Error # -7\r\n");
}

TEST(SocketError, CarriesNumberAndMessage) {
  const SocketError error(10053);
  EXPECT_EQ(error.code(), 10053);
  EXPECT_STREQ(error.what(), "Socket Error # 10053\r\nSoftware caused connection abort.");
  const ConnectionError& base = error;  // a socket error is a connection error
  EXPECT_STREQ(base.what(), error.what());
}

TEST(ThrowSocketError, NotSocketIsAKindOfItsOwn) {
  try {
    ThrowSocketError(10038);
    FAIL() << "nothing thrown";
  } catch (const NotSocketError& e) {
    EXPECT_EQ(e.code(), 10038);
    EXPECT_STREQ(e.what(), "Socket Error # 10038\r\nSocket operation on non-socket.");
  }
  try {
    ThrowSocketError(10054);
    FAIL() << "nothing thrown";
  } catch (const NotSocketError&) {
    FAIL() << "10054 is not a NotSocketError";
  } catch (const SocketError& e) {
    EXPECT_EQ(e.code(), 10054);
  }
}

TEST(Canceled, Text) {
  EXPECT_STREQ(Canceled().what(), "Canceled by operator.");
  EXPECT_STREQ(kCanceledText, "Canceled by operator.");
}

struct ErrnoCase {
  int err;
  int code;
};

TEST(SocketErrorFromErrno, MapsOntoWindowsSocketsNumbers) {
  const ErrnoCase cases[] = {
      {EINTR, 10004},        {EBADF, 10009},        {EACCES, 10013},       {EPERM, 10013},
      {EFAULT, 10014},       {EINVAL, 10022},       {EMFILE, 10024},       {ENFILE, 10024},
      {EWOULDBLOCK, 10035},  {EAGAIN, 10035},       {EINPROGRESS, 10036},  {EALREADY, 10037},
      {ENOTSOCK, 10038},     {EDESTADDRREQ, 10039}, {EMSGSIZE, 10040},     {EPROTOTYPE, 10041},
      {ENOPROTOOPT, 10042},  {EPROTONOSUPPORT, 10043}, {ESOCKTNOSUPPORT, 10044},
      {EOPNOTSUPP, 10045},   {EPFNOSUPPORT, 10046}, {EAFNOSUPPORT, 10047}, {EADDRINUSE, 10048},
      {EADDRNOTAVAIL, 10049}, {ENETDOWN, 10050},    {ENETUNREACH, 10051},  {ENETRESET, 10052},
      {ECONNABORTED, 10053}, {ECONNRESET, 10054},   {EPIPE, 10054},        {ENOBUFS, 10055},
      {ENOMEM, 10055},       {EISCONN, 10056},      {ENOTCONN, 10057},     {ESHUTDOWN, 10058},
      {ETOOMANYREFS, 10059}, {ETIMEDOUT, 10060},    {ECONNREFUSED, 10061}, {ELOOP, 10062},
      {ENAMETOOLONG, 10063}, {EHOSTDOWN, 10064},    {EHOSTUNREACH, 10065}, {ENOTEMPTY, 10066},
  };
  for (const ErrnoCase& c : cases) {
    EXPECT_EQ(SocketErrorFromErrno(c.err), c.code) << "errno " << c.err;
  }
}

TEST(SocketErrorFromErrno, WindowsNumbersAndUnknownValuesPassThrough) {
  EXPECT_EQ(SocketErrorFromErrno(10054), 10054);
  EXPECT_EQ(SocketErrorFromErrno(11001), 11001);
  EXPECT_EQ(SocketErrorFromErrno(EIO), EIO);  // no Windows Sockets counterpart
  EXPECT_EQ(SocketErrorFromErrno(0), 0);
}

TEST(SocketErrorFromLookup, ResolverFailures) {
  EXPECT_EQ(SocketErrorFromLookup(EAI_NONAME, 0), 11001);
  EXPECT_EQ(SocketErrorFromLookup(EAI_AGAIN, 0), 11002);
  EXPECT_EQ(SocketErrorFromLookup(EAI_FAIL, 0), 11003);
#ifdef EAI_NODATA
  EXPECT_EQ(SocketErrorFromLookup(EAI_NODATA, 0), 11004);
#endif
#ifdef EAI_ADDRFAMILY
  EXPECT_EQ(SocketErrorFromLookup(EAI_ADDRFAMILY, 0), 11004);
#endif
  EXPECT_EQ(SocketErrorFromLookup(EAI_FAMILY, 0), 10047);
  EXPECT_EQ(SocketErrorFromLookup(EAI_SOCKTYPE, 0), 10044);
  EXPECT_EQ(SocketErrorFromLookup(EAI_BADFLAGS, 0), 10022);
  EXPECT_EQ(SocketErrorFromLookup(EAI_SERVICE, 0), 10109);
  EXPECT_EQ(SocketErrorFromLookup(EAI_MEMORY, 0), 10055);
  EXPECT_EQ(SocketErrorFromLookup(12345, 0), 12345);  // a Windows number passes through
  EXPECT_EQ(SocketErrorFromLookup(-9999, 0), 11003);  // unknown: not recoverable
  EXPECT_EQ(SocketErrorMessage(SocketErrorFromLookup(EAI_NONAME, 0)),
            "Socket Error # 11001\r\nHost not found.");
  EXPECT_EQ(SocketErrorMessage(SocketErrorFromLookup(EAI_AGAIN, 0)), "Socket Error # 11002\r\n");
}

TEST(SocketErrorFromLookup, SystemErrorsTakeTheirErrno) {
  EXPECT_EQ(SocketErrorFromLookup(EAI_SYSTEM, ECONNREFUSED), 10061);
  EXPECT_EQ(SocketErrorFromLookup(EAI_SYSTEM, EMFILE), 10024);
  EXPECT_EQ(SocketErrorFromLookup(EAI_SYSTEM, 0), 11003);
}

}  // namespace
}  // namespace pcpos
