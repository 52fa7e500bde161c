// What tcp_peer_posix.cpp and tcp_peer_win32.cpp each supply to the shared
// peer in tcp_peer.cpp. Sockets travel as int: Winsock handles fit in 32 bits.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

namespace pcpos::testing::platform {

// Listens on 127.0.0.1:port; port 0 asks the system for one, which is stored
// in port. Throws std::runtime_error when the port cannot be had.
int ListenLoopback(std::uint16_t& port);
// Binds a TCP socket to 127.0.0.1 and a port of the system's choice, stored in
// port, without listening. Throws std::runtime_error when no port can be had.
int BindLoopback(std::uint16_t& port);
bool WaitReadable(int fd, std::chrono::milliseconds timeout);
// One read; 0 or less when the other side closed or the read failed.
long ReceiveSome(int fd, char* buffer, std::size_t size);
// The next connection, or -1.
int Accept(int listen_fd);
void CloseSocket(int fd);

}  // namespace pcpos::testing::platform
