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
#include "tests/support/hanging_listener.h"
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

// Both ends of a pipe: descriptors that are not sockets.
struct Pipe {
  int fds[2];
  Pipe() { EXPECT_EQ(::pipe(fds), 0); }
  ~Pipe() {
    ::close(fds[0]);
    ::close(fds[1]);
  }
};

bool IsOpenDescriptor(SocketHandle s) { return ::fcntl(static_cast<int>(s), F_GETFD) != -1; }

// One close, by whichever owner holds the socket last; none after a release.
TEST(Socket, ClosesExactlyWhenItsLastOwnerEnds) {
  SocketHandle handle = kNoSocket;
  {
    Socket first = CreateTcpSocket();
    handle = first.get();
    Socket second = std::move(first);
    EXPECT_FALSE(first);
    EXPECT_EQ(second.get(), handle);
    first = std::move(second);
    EXPECT_TRUE(IsOpenDescriptor(handle));
  }
  EXPECT_FALSE(IsOpenDescriptor(handle));

  Socket owner = CreateTcpSocket();
  const SocketHandle released = owner.release();
  owner.reset();
  EXPECT_TRUE(IsOpenDescriptor(released));
  owner.reset(released);
  owner = Socket();
  EXPECT_FALSE(IsOpenDescriptor(released));
}

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
  const Socket socket = CreateTcpSocket();
  Connect(socket.get(), kLoopback, peer.port(), 0, nullptr);
  Waker waker;
  std::thread canceller([&] {
    std::this_thread::sleep_for(100ms);
    waker.Wake();
  });
  const auto start = Clock::now();
  EXPECT_EQ(WaitReadable(socket.get(), -1, &waker), Readiness::Woken);
  EXPECT_LT(MsSince(start), 2000);  // a wait with no end of its own, woken after 100 ms
  canceller.join();
  // A woken waker ends every later wait at once.
  EXPECT_EQ(WaitReadable(socket.get(), 5000, &waker), Readiness::Woken);
  ShutdownSend(socket.get());
}

TEST(Socket, NoDelayIsSetAsAsked) {
  const Socket socket = CreateTcpSocket();
  int value = -1;
  socklen_t length = sizeof value;
  SetNoDelay(socket.get(), false);
  ASSERT_EQ(::getsockopt(static_cast<int>(socket.get()), IPPROTO_TCP, TCP_NODELAY, &value, &length),
            0);
  EXPECT_EQ(value, 0);
  SetNoDelay(socket.get(), true);
  ASSERT_EQ(::getsockopt(static_cast<int>(socket.get()), IPPROTO_TCP, TCP_NODELAY, &value, &length),
            0);
  EXPECT_NE(value, 0);
}

TEST(Socket, IsBlockingAndClosedOnExec) {
  const Socket socket = CreateTcpSocket();
  const int fd = static_cast<int>(socket.get());
  EXPECT_EQ(::fcntl(fd, F_GETFL) & O_NONBLOCK, 0);
  EXPECT_NE(::fcntl(fd, F_GETFD) & FD_CLOEXEC, 0);
}

TEST(Socket, BindAnyTakesAnyAddressAndASystemPort) {
  const Socket socket = CreateTcpSocket();
  BindAny(socket.get());
  sockaddr_in address{};
  socklen_t length = sizeof address;
  ASSERT_EQ(
      ::getsockname(static_cast<int>(socket.get()), reinterpret_cast<sockaddr*>(&address), &length),
      0);
  EXPECT_EQ(address.sin_addr.s_addr, htonl(INADDR_ANY));
  EXPECT_NE(address.sin_port, 0);
}

TEST(Socket, BindFailureHasItsOwnTextWhateverTheCause) {
  const Socket socket = CreateTcpSocket();
  BindAny(socket.get());
  try {
    BindAny(socket.get());  // bound already: EINVAL
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
  const pcpos::testing::RefusingPort refusing;
  const Socket socket = CreateTcpSocket();
  try {
    Connect(socket.get(), kLoopback, refusing.port(), 0, nullptr);
    FAIL() << "nothing thrown";
  } catch (const SocketError& e) {
    EXPECT_EQ(e.code(), 10061);
  }
}

TEST(Connect, LeavesTheSocketBlocking) {
  TcpPeer peer([](PeerSocket& s) { s.WaitForClose(5s); });
  const Socket socket = CreateTcpSocket();
  Connect(socket.get(), kLoopback, peer.port(), 2000, nullptr);
  EXPECT_EQ(::fcntl(static_cast<int>(socket.get()), F_GETFL) & O_NONBLOCK, 0);
  ShutdownSend(socket.get());
}

TEST(Connect, LimitEndsAHangingConnect) {
  HangingListener listener;
  const Socket socket = CreateTcpSocket();
  const auto start = Clock::now();
  try {
    Connect(socket.get(), kLoopback, listener.port(), 200, nullptr);
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
  const Socket socket = CreateTcpSocket();
  Waker waker;
  std::thread canceller([&] {
    std::this_thread::sleep_for(100ms);
    waker.Wake();
  });
  const auto start = Clock::now();
  EXPECT_THROW(Connect(socket.get(), kLoopback, listener.port(), 0, &waker), Canceled);
  EXPECT_LT(MsSince(start), 2000);  // a wait with no end of its own, woken after 100 ms
  canceller.join();
}

TEST(Connect, AlreadyWokenWakerCancelsAtOnce) {
  TcpPeer peer([](PeerSocket&) {});
  const Socket socket = CreateTcpSocket();
  Waker waker;
  waker.Wake();
  EXPECT_THROW(Connect(socket.get(), kLoopback, peer.port(), 0, &waker), Canceled);
  EXPECT_EQ(peer.accepted(), 0);
}

TEST(WaitReadable, ZeroTimeOutOnlyTests) {
  TcpPeer peer([](PeerSocket& s) { s.WaitForClose(5s); });
  const Socket socket = CreateTcpSocket();
  Connect(socket.get(), kLoopback, peer.port(), 0, nullptr);
  const auto start = Clock::now();
  EXPECT_EQ(WaitReadable(socket.get(), 0, nullptr), Readiness::TimedOut);
  EXPECT_EQ(WaitReadable(socket.get(), 50, nullptr), Readiness::TimedOut);
  EXPECT_LT(MsSince(start), 1000);
  ShutdownSend(socket.get());
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
    const Socket socket = CreateTcpSocket();
    Connect(socket.get(), kLoopback, peer.port(), 0, nullptr);
    SendAll(socket.get(), payload.data(), payload.size());
    ShutdownSend(socket.get());
    peer.Join();
  }
  EXPECT_EQ(got.size(), payload.size());
  EXPECT_TRUE(got == payload);
}

}  // namespace
}  // namespace pcpos::net
