#include "simulator/listen_backlog.h"

#include <asio/socket_base.hpp>

#include <fstream>

namespace pcpos::sim {

int LargestListenBacklog() {
  int largest = asio::socket_base::max_listen_connections;
#ifdef __linux__
  // The system cuts a larger backlog down to this; the C library's SOMAXCONN
  // may be smaller than what the system was set to allow.
  std::ifstream limit("/proc/sys/net/core/somaxconn");
  int value = 0;
  if (limit >> value && value > largest) largest = value;
#endif
  return largest;
}

}  // namespace pcpos::sim
