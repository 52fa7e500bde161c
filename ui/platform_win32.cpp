#include "ui/platform.h"

#include <winsock2.h>

#include <stdexcept>

namespace pcpos::ui {

void StartPlatform() {
  WSADATA data;
  if (WSAStartup(MAKEWORD(1, 1), &data) != 0) throw std::runtime_error("WSAStartup");
}

void StopPlatform() {
  if (WSACleanup() != 0) throw std::runtime_error("WSACleanup");
}

}  // namespace pcpos::ui
