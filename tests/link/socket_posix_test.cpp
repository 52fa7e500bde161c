// The POSIX socket layer: waker, socket settings, bad handles, connect limits.
// Every connection goes to 127.0.0.1.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "link/errors.h"
#include "link/socket.h"
#include "tests/link/hanging_listener.h"
#include "tests/support/tcp_peer.h"

namespace pcpos::net {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using pcpos::testing::HangingListener;
using pcpos::testing::PeerSocket;
using pcpos::testing::TcpPeer;

constexpr std::uint32_t kLoopback = 0x7F000001;

long long MsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// A socket handle closed at the end of the scope.
struct OwnedSocket {
  SocketHandle s = CreateTcpSocket();
  ~OwnedSocket() { Close(s); }
};

// Both ends of a pipe: descriptors that are not sockets.
struct Pipe {
  int fds[2];
  Pipe() { EXPECT_EQ(::pipe(fds), 0); }
  ~Pipe() {
    ::close(fds[0]);
    ::close(fds[1]);
  }
};

TEST(Waker, StaysWokenOnceWoken) {
  Waker waker;
  EXPECT_FALSE(waker.IsWoken());
  waker.Wake();
  EXPECT_TRUE(waker.IsWoken());
  EXPECT_TRUE(waker.IsWoken());  // testing does not consume the wake-up
}

TEST(Waker, WakeNeverBlocks) {
  Waker waker;
  // Far more bytes than a pipe holds: the non-blocking write end drops the rest.
  for (int i = 0; i < 200000; ++i) waker.Wake();
  EXPECT_TRUE(waker.IsWoken());
}

TEST(Waker, WakesAWaitFromAnotherThread) {
  TcpPeer peer([](PeerSocket& s) { s.WaitForClose(5s); });
  OwnedSocket socket;
  Connect(socket.s, kLoopback, peer.port(), 0, nullptr);
  Waker waker;
  std::thread canceller([&] {
    std::this_thread::sleep_for(100ms);
    waker.Wake();
  });
  const auto start = Clock::now();
  EXPECT_EQ(WaitReadable(socket.s, -1, &waker), Readiness::Woken);
  EXPECT_LT(MsSince(start), 500);
  canceller.join();
  // A woken waker ends every later wait at once.
  EXPECT_EQ(WaitReadable(socket.s, 5000, &waker), Readiness::Woken);
  ShutdownSend(socket.s);
}

TEST(Socket, NoDelayIsSetAsAsked) {
  OwnedSocket socket;
  int value = -1;
  socklen_t length = sizeof value;
  SetNoDelay(socket.s, false);
  ASSERT_EQ(::getsockopt(static_cast<int>(socket.s), IPPROTO_TCP, TCP_NODELAY, &value, &length), 0);
  EXPECT_EQ(value, 0);
  SetNoDelay(socket.s, true);
  ASSERT_EQ(::getsockopt(static_cast<int>(socket.s), IPPROTO_TCP, TCP_NODELAY, &value, &length), 0);
  EXPECT_NE(value, 0);
}

TEST(Socket, IsBlockingAndClosedOnExec) {
  OwnedSocket socket;
  const int fd = static_cast<int>(socket.s);
  EXPECT_EQ(::fcntl(fd, F_GETFL) & O_NONBLOCK, 0);
  EXPECT_NE(::fcntl(fd, F_GETFD) & FD_CLOEXEC, 0);
}

TEST(Socket, BindAnyTakesAnyAddressAndASystemPort) {
  OwnedSocket socket;
  BindAny(socket.s);
  sockaddr_in address{};
  socklen_t length = sizeof address;
  ASSERT_EQ(::getsockname(static_cast<int>(socket.s), reinterpret_cast<sockaddr*>(&address),
                          &length),
            0);
  EXPECT_EQ(address.sin_addr.s_addr, htonl(INADDR_ANY));
  EXPECT_NE(address.sin_port, 0);
}

TEST(Socket, BindFailureHasItsOwnTextWhateverTheCause) {
  OwnedSocket socket;
  BindAny(socket.s);
  try {
    BindAny(socket.s);  // bound already: EINVAL
    FAIL() << "nothing thrown";
  } catch (const SocketError&) {
    FAIL() << "a bind failure is not a socket error";
  } catch (const ConnectionError& e) {
    EXPECT_STREQ(e.what(), "Could not bind socket. Address and port are already in use.");
  }
  Pipe pipe;
  EXPECT_THROW(BindAny(pipe.fds[0]), ConnectionError);
}

TEST(Socket, BadHandlesAreNotSockets) {
  char buffer[8];
  EXPECT_THROW(SetNoDelay(kNoSocket, false), NotSocketError);
  EXPECT_THROW(SendAll(kNoSocket, "x", 1), NotSocketError);
  EXPECT_THROW(Receive(kNoSocket, buffer, sizeof buffer), NotSocketError);
  EXPECT_THROW(WaitReadable(kNoSocket, 0, nullptr), NotSocketError);
  EXPECT_THROW(Connect(kNoSocket, kLoopback, 1, 0, nullptr), NotSocketError);
  Pipe pipe;
  EXPECT_THROW(SetNoDelay(pipe.fds[0], false), NotSocketError);
  EXPECT_THROW(SendAll(pipe.fds[1], "x", 1), NotSocketError);
  EXPECT_THROW(Receive(pipe.fds[0], buffer, sizeof buffer), NotSocketError);
  try {
    Receive(pipe.fds[0], buffer, sizeof buffer);
  } catch (const NotSocketError& e) {
    EXPECT_STREQ(e.what(), "Socket Error # 10038\r\nSocket operation on non-socket.");
  }
  // Release paths never throw.
  ShutdownSend(kNoSocket);
  Close(kNoSocket);
  ShutdownSend(pipe.fds[0]);
}

TEST(Lookup, LocalhostFromTheHostsFile) {
  // /etc/hosts answers this name; no name server is asked.
  EXPECT_EQ(LookupIPv4("localhost"), kLoopback);
}

TEST(Lookup, NameWithAZeroByteIsNotFound) {
  try {
    LookupIPv4(std::string("localhost\0.example", 18));
    FAIL() << "nothing thrown";
  } catch (const SocketError& e) {
    EXPECT_EQ(e.code(), 11001);
  }
}

TEST(Connect, RefusedPort) {
  OwnedSocket socket;
  try {
    Connect(socket.s, kLoopback, pcpos::testing::UnusedPort(), 0, nullptr);
    FAIL() << "nothing thrown";
  } catch (const SocketError& e) {
    EXPECT_EQ(e.code(), 10061);
  }
}

TEST(Connect, LeavesTheSocketBlocking) {
  TcpPeer peer([](PeerSocket& s) { s.WaitForClose(5s); });
  OwnedSocket socket;
  Connect(socket.s, kLoopback, peer.port(), 2000, nullptr);
  EXPECT_EQ(::fcntl(static_cast<int>(socket.s), F_GETFL) & O_NONBLOCK, 0);
  ShutdownSend(socket.s);
}

TEST(Connect, LimitEndsAHangingConnect) {
  HangingListener listener;
  OwnedSocket socket;
  const auto start = Clock::now();
  try {
    Connect(socket.s, kLoopback, listener.port(), 200, nullptr);
    FAIL() << "the connect did not hang; the test cannot make one hang here";
  } catch (const SocketError& e) {
    EXPECT_EQ(e.code(), 10060);
    EXPECT_STREQ(e.what(), "Socket Error # 10060\r\nConnection timed out.");
  }
  const auto elapsed = MsSince(start);
  EXPECT_GE(elapsed, 150);
  EXPECT_LT(elapsed, 1500);
}

TEST(Connect, WakerCancelsAHangingConnect) {
  HangingListener listener;
  OwnedSocket socket;
  Waker waker;
  std::thread canceller([&] {
    std::this_thread::sleep_for(100ms);
    waker.Wake();
  });
  const auto start = Clock::now();
  EXPECT_THROW(Connect(socket.s, kLoopback, listener.port(), 0, &waker), Canceled);
  EXPECT_LT(MsSince(start), 500);
  canceller.join();
}

TEST(Connect, AlreadyWokenWakerCancelsAtOnce) {
  TcpPeer peer([](PeerSocket&) {});
  OwnedSocket socket;
  Waker waker;
  waker.Wake();
  EXPECT_THROW(Connect(socket.s, kLoopback, peer.port(), 0, &waker), Canceled);
  EXPECT_EQ(peer.accepted(), 0);
}

TEST(WaitReadable, ZeroTimeOutOnlyTests) {
  TcpPeer peer([](PeerSocket& s) { s.WaitForClose(5s); });
  OwnedSocket socket;
  Connect(socket.s, kLoopback, peer.port(), 0, nullptr);
  const auto start = Clock::now();
  EXPECT_EQ(WaitReadable(socket.s, 0, nullptr), Readiness::TimedOut);
  EXPECT_EQ(WaitReadable(socket.s, 50, nullptr), Readiness::TimedOut);
  EXPECT_LT(MsSince(start), 1000);
  ShutdownSend(socket.s);
}

TEST(SendAll, LargeSendArrivesWhole) {
  constexpr std::size_t kSize = 4 * 1024 * 1024;
  std::string payload(kSize, 'a');
  for (std::size_t i = 0; i < kSize; ++i) payload[i] = static_cast<char>('a' + i % 26);
  std::string got;
  TcpPeer peer([&](PeerSocket& s) {
    char buffer[65536];
    for (;;) {
      const ssize_t n = ::recv(s.fd(), buffer, sizeof buffer, 0);
      if (n <= 0) break;
      got.append(buffer, static_cast<std::size_t>(n));
    }
  });
  {
    OwnedSocket socket;
    Connect(socket.s, kLoopback, peer.port(), 0, nullptr);
    SendAll(socket.s, payload.data(), payload.size());
    ShutdownSend(socket.s);
    peer.Join();
  }
  EXPECT_EQ(got.size(), payload.size());
  EXPECT_TRUE(got == payload);
}

}  // namespace
}  // namespace pcpos::net
