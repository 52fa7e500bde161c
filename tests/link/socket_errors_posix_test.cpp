// The mapping of POSIX errors and resolver failures onto Windows Sockets numbers.
#include <gtest/gtest.h>
#include <netdb.h>

#include <cerrno>
#include <string>

#include "link/errors.h"

namespace pcpos {
namespace {

struct ErrnoCase {
  int err;
  int code;
};

TEST(SocketErrorFromErrno, MapsOntoWindowsSocketsNumbers) {
  const ErrnoCase cases[] = {
      {EINTR, 10004},           {EBADF, 10009},        {EACCES, 10013},
      {EPERM, 10013},           {EFAULT, 10014},       {EINVAL, 10022},
      {EMFILE, 10024},          {ENFILE, 10024},       {EWOULDBLOCK, 10035},
      {EAGAIN, 10035},          {EINPROGRESS, 10036},  {EALREADY, 10037},
      {ENOTSOCK, 10038},        {EDESTADDRREQ, 10039}, {EMSGSIZE, 10040},
      {EPROTOTYPE, 10041},      {ENOPROTOOPT, 10042},  {EPROTONOSUPPORT, 10043},
      {ESOCKTNOSUPPORT, 10044}, {EOPNOTSUPP, 10045},   {EPFNOSUPPORT, 10046},
      {EAFNOSUPPORT, 10047},    {EADDRINUSE, 10048},   {EADDRNOTAVAIL, 10049},
      {ENETDOWN, 10050},        {ENETUNREACH, 10051},  {ENETRESET, 10052},
      {ECONNABORTED, 10053},    {ECONNRESET, 10054},   {EPIPE, 10054},
      {ENOBUFS, 10055},         {ENOMEM, 10055},       {EISCONN, 10056},
      {ENOTCONN, 10057},        {ESHUTDOWN, 10058},    {ETOOMANYREFS, 10059},
      {ETIMEDOUT, 10060},       {ECONNREFUSED, 10061}, {ELOOP, 10062},
      {ENAMETOOLONG, 10063},    {EHOSTDOWN, 10064},    {EHOSTUNREACH, 10065},
      {ENOTEMPTY, 10066},
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
