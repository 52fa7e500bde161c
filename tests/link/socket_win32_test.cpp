// The Win32 Waker's loopback pair, which another local process can race for.
#include <gtest/gtest.h>

#include <winsock2.h>

#include "link/socket.h"

namespace pcpos::net {
namespace {

SOCKET g_foreign = INVALID_SOCKET;

// Connects to the waker's listener before the waker itself does.
void ConnectFirst(std::uint16_t port) {
  g_foreign = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(port);
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(g_foreign, reinterpret_cast<const sockaddr*>(&to), sizeof to) == SOCKET_ERROR) {
    closesocket(g_foreign);
    g_foreign = INVALID_SOCKET;
  }
}

// Taken by the foreign connection, a wake would never reach the waker's read end.
TEST(Waker, KeepsItsOwnConnectionWhenAnotherComesFirst) {
  SetWakerListeningHook(&ConnectFirst);
  Waker waker;
  SetWakerListeningHook(nullptr);
  ASSERT_NE(g_foreign, INVALID_SOCKET) << "the foreign connect did not get through";
  EXPECT_EQ(WaitReadable(waker.Handle(), 0, nullptr), Readiness::TimedOut);
  waker.Wake();
  EXPECT_EQ(WaitReadable(waker.Handle(), 5000, nullptr), Readiness::Readable);
  EXPECT_TRUE(waker.IsWoken());
  closesocket(g_foreign);
}

}  // namespace
}  // namespace pcpos::net
