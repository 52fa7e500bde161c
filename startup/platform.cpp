#include "startup/platform.h"

#include "link/socket.h"

namespace pcpos::startup {

void StartPlatform() { net::StartSocketLibrary(); }

}  // namespace pcpos::startup
