// CardReaderConnection against real TCP peers on loopback. Every
// connection goes to 127.0.0.1; no name server is asked.
#include <gtest/gtest.h>
#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <dirent.h>
#endif

#include <chrono>
#include <csignal>
#include <memory>
#include <string>
#include <thread>

#include "link/card_reader_connection.h"
#include "link/errors.h"
#include "tests/support/answers.h"
#include "tests/support/hanging_listener.h"
#include "tests/support/tcp_peer.h"
#include "tests/support/wine.h"

namespace pcpos {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using testing::HangingListener;
using testing::kAnswer;
using testing::PeerSocket;
using testing::Resetting;
using testing::TcpPeer;

constexpr const char* kRequest = "@@ZRM@@011000410000000020000000530000011";

long long MsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// The number of descriptors (handles on Windows) the process holds, to see
// that nothing leaks.
int OpenDescriptors() {
#ifdef _WIN32
  // Wine counts no handles; its sockets are Unix descriptors of this process.
  if (testing::UnderWine()) return testing::WineUnixDescriptors();
  DWORD handles = 0;
  GetProcessHandleCount(GetCurrentProcess(), &handles);
  return static_cast<int>(handles);
#else
  int count = 0;
  if (DIR* dir = ::opendir("/proc/self/fd")) {
    while (::readdir(dir) != nullptr) ++count;
    ::closedir(dir);
  }
  return count;
#endif
}

// A connection to the peer on 127.0.0.1.
void OpenTo(CardReaderConnection& connection, const TcpPeer& peer, std::string host = "127.0.0.1") {
  connection.SetHost(std::move(host));
  connection.SetPort(peer.port());
  connection.Open();
}

// Waits and polls until the input holds something or the peer has closed.
void PollUntilSomething(CardReaderConnection& connection) {
  connection.SetReadLimit(5000);
  while (connection.InputIsEmpty() && connection.IsOpen()) {
    ASSERT_EQ(connection.WaitForInput(), net::Readiness::Readable);
    connection.Poll();
  }
}

TEST(CardReaderConnection, StartsUnconnectedWithTheSpecifiedDefaults) {
  CardReaderConnection connection;
  EXPECT_FALSE(connection.IsOpen());
  EXPECT_FALSE(connection.ClosedByPeer());
  EXPECT_TRUE(connection.InputIsEmpty());
  EXPECT_EQ(connection.ConnectLimit(), 0);
  EXPECT_LT(connection.ReadLimit(), 0);
  EXPECT_EQ(connection.TakeText(), "");
  connection.Poll();  // nothing to poll: no error
  EXPECT_EQ(connection.WaitForInput(), net::Readiness::Readable);
  connection.Release();
}

TEST(CardReaderConnection, RequestLineArrivesExactly) {
  TcpPeer peer([](PeerSocket& s) { s.ReadLine(); });
  CardReaderConnection connection;
  OpenTo(connection, peer);
  EXPECT_TRUE(connection.IsOpen());
  connection.SendLine(kRequest);
  peer.Join();
  EXPECT_EQ(peer.received(), std::string(kRequest) + "\r\n");
}

TEST(CardReaderConnection, CharactersAboveAsciiGoOutAsOneByteEach) {
  TcpPeer peer([](PeerSocket& s) { s.ReadLine(); });
  CardReaderConnection connection;
  OpenTo(connection, peer);
  connection.SendLine(
      "a\xDB\xB1"
      "b");  // a, Persian digit one, b
  peer.Join();
  const std::string got = peer.received();
  ASSERT_EQ(got.size(), 5u);
  EXPECT_EQ(got[0], 'a');
  EXPECT_EQ(got[2], 'b');
  EXPECT_EQ(got.substr(3), "\r\n");
  EXPECT_LT(static_cast<unsigned char>(got[1]), 128u);
}

TEST(CardReaderConnection, AnswerIsPolledAndTakenAsText) {
  TcpPeer peer([](PeerSocket& s) {
    s.ReadLine();
    s.Send(kAnswer);
    s.WaitForClose();
  });
  CardReaderConnection connection;
  OpenTo(connection, peer);
  connection.SendLine(kRequest);
  PollUntilSomething(connection);
  EXPECT_FALSE(connection.InputIsEmpty());
  EXPECT_EQ(connection.TakeText(), kAnswer);
  EXPECT_TRUE(connection.InputIsEmpty());
  EXPECT_EQ(connection.TakeText(), "");
  connection.Release();
  EXPECT_FALSE(connection.IsOpen());
}

TEST(CardReaderConnection, BytesAboveAsciiAndZeroBytesArrive) {
  TcpPeer peer([](PeerSocket& s) {
    s.ReadLine();
    s.Send(
        std::string("A\0B\xE9"
                    "C",
                    5));
    s.WaitForClose();
  });
  CardReaderConnection connection;
  OpenTo(connection, peer);
  connection.SendLine("x");
  PollUntilSomething(connection);
  EXPECT_EQ(connection.TakeText(), std::string("A\0B?C", 5));
}

TEST(CardReaderConnection, PeerThatAcceptsAndCloses) {
  TcpPeer peer([](PeerSocket&) {});  // accepts, then closes at once
  CardReaderConnection connection;
  OpenTo(connection, peer);
  connection.SetReadLimit(5000);
  ASSERT_EQ(connection.WaitForInput(), net::Readiness::Readable);
  EXPECT_NO_THROW(connection.Poll());  // the first poll marks it closed, no error
  EXPECT_TRUE(connection.ClosedByPeer());
  EXPECT_FALSE(connection.IsOpen());
  EXPECT_TRUE(connection.InputIsEmpty());
  EXPECT_NO_THROW(connection.Poll());  // later polls and takes yield nothing
  EXPECT_TRUE(connection.InputIsEmpty());
  EXPECT_EQ(connection.TakeText(), "");
  EXPECT_EQ(connection.WaitForInput(), net::Readiness::Readable);  // at once: closed
  try {
    connection.SendLine(kRequest);
    FAIL() << "nothing thrown";
  } catch (const SocketError&) {
    FAIL() << "not a socket error";
  } catch (const ConnectionError& e) {
    EXPECT_STREQ(e.what(), "Connection Closed Gracefully.");
  }
  EXPECT_NO_THROW(connection.Release());
  EXPECT_NO_THROW(connection.Release());
}

TEST(CardReaderConnection, PeerThatReadsTheRequestAndClosesWithoutAnswer) {
  TcpPeer peer([](PeerSocket& s) { s.ReadLine(); });
  CardReaderConnection connection;
  OpenTo(connection, peer);
  connection.SendLine(kRequest);
  PollUntilSomething(connection);
  EXPECT_TRUE(connection.ClosedByPeer());
  EXPECT_EQ(connection.TakeText(), "");
}

TEST(CardReaderConnection, AnswerFollowedByCloseKeepsTheAnswer) {
  TcpPeer peer([](PeerSocket& s) {
    s.ReadLine();
    s.Send(kAnswer);
  });  // closes right after the answer
  CardReaderConnection connection;
  OpenTo(connection, peer);
  connection.SendLine(kRequest);
  peer.Join();
  std::this_thread::sleep_for(50ms);  // answer and FIN both arrived
  connection.Poll();                  // round 1 reads the answer, round 2 the close
  EXPECT_TRUE(connection.ClosedByPeer());
  EXPECT_EQ(connection.TakeText(), kAnswer);
}

TEST(CardReaderConnection, ResetDuringTheWaitRaisesFromPoll) {
  if (testing::UnderWine()) {
    GTEST_SKIP() << "under Wine 8 a reset reads as a graceful close (docs/windows.md)";
  }
  TcpPeer peer(Resetting());
  CardReaderConnection connection;
  OpenTo(connection, peer);
  connection.SendLine(kRequest);
  peer.Join();
  connection.SetReadLimit(5000);
  ASSERT_EQ(connection.WaitForInput(), net::Readiness::Readable);
  try {
    connection.Poll();
    FAIL() << "nothing thrown";
  } catch (const SocketError& e) {
    EXPECT_EQ(e.code(), 10054);
    EXPECT_STREQ(e.what(), "Socket Error # 10054\r\nConnection reset by peer.");
  }
  EXPECT_FALSE(connection.ClosedByPeer());
  EXPECT_NO_THROW(connection.Release());  // releasing a reset connection raises nothing
  EXPECT_FALSE(connection.IsOpen());
}

#ifndef _WIN32  // SIGPIPE is a POSIX signal
TEST(CardReaderConnection, SendingAfterAResetNeverRaisesSigpipe) {
  // The default action of SIGPIPE ends the process: the test would die.
  auto* previous = std::signal(SIGPIPE, SIG_DFL);
  TcpPeer peer(Resetting());
  CardReaderConnection connection;
  OpenTo(connection, peer);
  connection.SendLine(kRequest);
  peer.Join();
  connection.SetReadLimit(5000);
  ASSERT_EQ(connection.WaitForInput(), net::Readiness::Readable);
  int errors = 0;
  for (int i = 0; i < 5; ++i) {
    try {
      connection.SendLine(kRequest);
    } catch (const SocketError& e) {
      ++errors;
      EXPECT_EQ(e.code(), 10054) << e.what();
      EXPECT_TRUE(connection.IsOpen());  // a send error leaves the socket open
    }
  }
  EXPECT_GE(errors, 4);
  connection.Release();
  std::signal(SIGPIPE, previous);
}
#endif

TEST(CardReaderConnection, AnswerInTwoSegmentsWithAPause) {
  const std::string first = std::string(kAnswer).substr(0, 30);
  const std::string second = std::string(kAnswer).substr(30);
  TcpPeer peer([&](PeerSocket& s) {
    s.ReadLine();
    s.Send(first);
    std::this_thread::sleep_for(400ms);
    s.Send(second);
    s.WaitForClose();
  });
  CardReaderConnection connection;
  OpenTo(connection, peer);
  connection.SendLine(kRequest);
  connection.SetReadLimit(5000);
  ASSERT_EQ(connection.WaitForInput(), net::Readiness::Readable);
  connection.Poll();  // runs in the pause: only the first segment
  EXPECT_EQ(connection.TakeText(), first);
  connection.Poll();
  EXPECT_TRUE(connection.InputIsEmpty());
  ASSERT_EQ(connection.WaitForInput(), net::Readiness::Readable);
  connection.Poll();
  EXPECT_EQ(connection.TakeText(), second);
  EXPECT_TRUE(connection.IsOpen());
}

TEST(CardReaderConnection, LargeAnswerIsReadInPiecesOfAtMost32768Bytes) {
  const std::string big(100000, 'Z');
  TcpPeer peer([&](PeerSocket& s) {
    s.ReadLine();
    s.Send(big);
    s.WaitForClose();
  });
  CardReaderConnection connection;
  OpenTo(connection, peer);
  connection.SendLine(kRequest);
  std::string got;
  connection.SetReadLimit(5000);
  while (got.size() < big.size()) {
    ASSERT_EQ(connection.WaitForInput(), net::Readiness::Readable);
    connection.Poll();
    const std::string piece = connection.TakeText();
    EXPECT_LE(piece.size(), 2 * CardReaderConnection::kReadSize);  // two reads at most
    got += piece;
  }
  EXPECT_EQ(got, big);
}

TEST(CardReaderConnection, SilenceEndsWithTheReadLimit) {
  TcpPeer peer([](PeerSocket& s) {
    s.ReadLine();
    s.WaitForClose();
  });
  CardReaderConnection connection;
  OpenTo(connection, peer);
  connection.SendLine(kRequest);
  connection.SetReadLimit(100);
  const auto start = Clock::now();
  EXPECT_EQ(connection.WaitForInput(), net::Readiness::TimedOut);
  const auto elapsed = MsSince(start);
  EXPECT_GE(elapsed, 90);
  EXPECT_LT(elapsed, 1000);
  connection.Poll();
  EXPECT_TRUE(connection.InputIsEmpty());
  EXPECT_TRUE(connection.IsOpen());
  connection.Release();
  EXPECT_FALSE(connection.IsOpen());
}

TEST(CardReaderConnection, ReleaseShutsDownSendingSoThePeerSeesTheClose) {
  TcpPeer peer([](PeerSocket& s) {
    s.ReadLine();
    EXPECT_TRUE(s.WaitForClose(2s));
  });
  CardReaderConnection connection;
  OpenTo(connection, peer);
  connection.SendLine(kRequest);
  connection.Release();
  peer.Join();
}

TEST(CardReaderConnection, RefusedPort) {
  const testing::RefusingPort refusing;
  const int descriptors = OpenDescriptors();
  CardReaderConnection connection;
  connection.SetHost("127.0.0.1");
  connection.SetPort(refusing.port());
  try {
    connection.Open();
    FAIL() << "nothing thrown";
  } catch (const SocketError& e) {
    EXPECT_EQ(e.code(), 10061);
    EXPECT_STREQ(e.what(), "Socket Error # 10061\r\nConnection refused.");
  }
  EXPECT_FALSE(connection.IsOpen());
  EXPECT_EQ(OpenDescriptors(), descriptors);  // the socket was closed
  EXPECT_THROW(connection.SendLine(kRequest), NotSocketError);
}

TEST(CardReaderConnection, LocalhostInAnyLetterCase) {
  const char* hosts[] = {"LOCALHOST", "localhost", "LocalHost", "lOcAlHoSt"};
  TcpPeer peer([](PeerSocket& s) { s.ReadLine(); }, 4);
  for (const char* host : hosts) {
    CardReaderConnection connection;
    OpenTo(connection, peer, host);
    connection.SendLine(host);
    connection.SetReadLimit(5000);
    PollUntilSomething(connection);  // the peer closes after the line
  }
  peer.Join();
  EXPECT_EQ(peer.accepted(), 4);
  EXPECT_EQ(peer.received(), "LOCALHOST\r\nlocalhost\r\nLocalHost\r\nlOcAlHoSt\r\n");
}

TEST(CardReaderConnection, LiteralHostsInTheirTolerantForms) {
  const char* hosts[] = {"127.0.0.1", "127.0.0.1.",  " 127 . 0 . 0 . 1 ",
                         "$7F.0.0.1", "+127.0.0.01", "127.0.0.\t1"};
  TcpPeer peer([](PeerSocket& s) { s.ReadLine(); }, 6);
  for (const char* host : hosts) {
    CardReaderConnection connection;
    OpenTo(connection, peer, host);
    EXPECT_EQ(connection.Host(), host);  // stored unchanged
    connection.SendLine("x");
    PollUntilSomething(connection);
  }
  peer.Join();
  EXPECT_EQ(peer.accepted(), 6);
}

TEST(CardReaderConnection, PortIsCutToItsLow16Bits) {
  CardReaderConnection connection;
  connection.SetPort(70000);
  EXPECT_EQ(connection.Port(), 4464);
  connection.SetPort(65536);
  EXPECT_EQ(connection.Port(), 0);
  connection.SetPort(-1);
  EXPECT_EQ(connection.Port(), 65535);

  TcpPeer peer([](PeerSocket& s) { s.ReadLine(); });
  connection.SetHost("127.0.0.1");
  connection.SetPort(65536 + peer.port());
  EXPECT_EQ(connection.Port(), peer.port());
  connection.Open();
  connection.SendLine(kRequest);
  peer.Join();
  EXPECT_EQ(peer.accepted(), 1);
  EXPECT_EQ(peer.received(), std::string(kRequest) + "\r\n");
}

TEST(CardReaderConnection, Port70000ConnectsTo4464) {
  std::unique_ptr<TcpPeer> peer;
  try {
    peer = std::make_unique<TcpPeer>([](PeerSocket& s) { s.ReadLine(); }, 1, 4464);
  } catch (const std::exception&) {
    GTEST_SKIP() << "port 4464 of 127.0.0.1 is taken";
  }
  CardReaderConnection connection;
  connection.SetHost("127.0.0.1");
  connection.SetPort(70000);
  connection.Open();
  connection.SendLine(kRequest);
  peer->Join();
  EXPECT_EQ(peer->accepted(), 1);
  EXPECT_EQ(peer->received(), std::string(kRequest) + "\r\n");
}

// Empty host and port 0 fail with an empty message before any network activity.
void ExpectEmptyMessageFailure(CardReaderConnection& connection) {
  const int descriptors = OpenDescriptors();
  try {
    connection.Open();
    FAIL() << "nothing thrown";
  } catch (const SocketError& e) {
    FAIL() << "a socket error: " << e.what();
  } catch (const ConnectionError& e) {
    EXPECT_STREQ(e.what(), "");
  }
  EXPECT_FALSE(connection.IsOpen());
  // Not even a socket was made. Under Wine the count is of the emulator's own
  // descriptors, which come and go with its threads; the peer's accept count
  // still shows that nothing reached the network.
  if (!testing::UnderWine()) {
    EXPECT_EQ(OpenDescriptors(), descriptors);
  }
}

TEST(CardReaderConnection, PortZeroOr65536FailsWithAnEmptyMessage) {
  TcpPeer peer([](PeerSocket& s) { s.ReadLine(); });
  for (std::int64_t port : {std::int64_t{0}, std::int64_t{65536}, std::int64_t{131072}}) {
    CardReaderConnection connection;
    connection.SetHost("127.0.0.1");
    connection.SetPort(port);
    ExpectEmptyMessageFailure(connection);
  }
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(peer.accepted(), 0);
}

TEST(CardReaderConnection, EmptyHostFailsWithAnEmptyMessage) {
  TcpPeer peer([](PeerSocket& s) { s.ReadLine(); });
  CardReaderConnection connection;
  connection.SetHost("");
  connection.SetPort(peer.port());
  ExpectEmptyMessageFailure(connection);
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(peer.accepted(), 0);
}

TEST(CardReaderConnection, WakerCancelsWaitForInput) {
  TcpPeer peer([](PeerSocket& s) {
    s.ReadLine();
    s.WaitForClose();
  });
  net::Waker waker;
  CardReaderConnection connection;
  connection.SetWaker(&waker);
  OpenTo(connection, peer);
  connection.SendLine(kRequest);
  connection.SetReadLimit(-1);  // no limit: only the waker ends the wait
  std::thread canceller([&] {
    std::this_thread::sleep_for(100ms);
    waker.Wake();
  });
  const auto start = Clock::now();
  EXPECT_EQ(connection.WaitForInput(), net::Readiness::Woken);
  EXPECT_LT(MsSince(start), 2000);  // a wait with no end of its own, woken after 100 ms
  canceller.join();
}

TEST(CardReaderConnection, ConnectLimitEndsAHangingConnect) {
  HangingListener listener;
  const int descriptors = OpenDescriptors();
  CardReaderConnection connection;
  connection.SetHost("127.0.0.1");
  connection.SetPort(listener.port());
  connection.SetConnectLimit(200);
  const auto start = Clock::now();
  try {
    connection.Open();
    FAIL() << "the connect did not hang";
  } catch (const SocketError& e) {
    EXPECT_STREQ(e.what(), "Socket Error # 10060\r\nConnection timed out.");
  }
  const auto elapsed = MsSince(start);
  EXPECT_GE(elapsed, 150);
  EXPECT_LT(elapsed, 1500);
  EXPECT_FALSE(connection.IsOpen());
  // None left open; on Windows an earlier test's ending thread may close a
  // handle of its own meanwhile, so the count may fall, never rise.
  EXPECT_LE(OpenDescriptors(), descriptors);
}

TEST(CardReaderConnection, WakerCancelsAHangingConnect) {
  HangingListener listener;
  net::Waker waker;
  CardReaderConnection connection;
  connection.SetWaker(&waker);
  connection.SetHost("localhost");
  connection.SetPort(listener.port());
  std::thread canceller([&] {
    std::this_thread::sleep_for(100ms);
    waker.Wake();
  });
  const auto start = Clock::now();
  EXPECT_THROW(connection.Open(), Canceled);
  EXPECT_LT(MsSince(start), 2000);  // a wait with no end of its own, woken after 100 ms
  EXPECT_FALSE(connection.IsOpen());
  canceller.join();
}

TEST(CardReaderConnection, DestructorReleasesWithoutRaising) {
  TcpPeer peer([](PeerSocket& s) {
    s.ReadLine();
    s.Send(kAnswer);
    EXPECT_TRUE(s.WaitForClose(2s));
  });
  {
    CardReaderConnection connection;
    OpenTo(connection, peer);
    connection.SendLine(kRequest);
  }  // unread answer dropped
  peer.Join();
}

TEST(CardReaderConnection, ReleaseDropsUnreadInputAndCanBeRepeated) {
  TcpPeer peer([](PeerSocket& s) {
    s.ReadLine();
    s.Send(kAnswer);
    s.WaitForClose();
  });
  CardReaderConnection connection;
  OpenTo(connection, peer);
  connection.SendLine(kRequest);
  PollUntilSomething(connection);
  connection.Release();
  EXPECT_TRUE(connection.InputIsEmpty());
  EXPECT_FALSE(connection.IsOpen());
  connection.Release();
  connection.Poll();
  EXPECT_TRUE(connection.InputIsEmpty());
}

}  // namespace
}  // namespace pcpos
