// What the platform needs started before the window and stopped after it. On
// Windows this is Windows Sockets in version 1.1, which the program has always
// held for its lifetime; the connections start their own 2.2 as they need it.
// Elsewhere both are no-ops.
#pragma once

namespace pcpos::ui {

// Throws std::runtime_error("WSAStartup") when the socket library does not start.
void StartPlatform();
// Throws std::runtime_error("WSACleanup") when it does not stop.
void StopPlatform();

}  // namespace pcpos::ui
