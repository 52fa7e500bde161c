// The socket error texts and the errors that carry them.
#include <gtest/gtest.h>

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

}  // namespace
}  // namespace pcpos
