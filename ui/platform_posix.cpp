#include "ui/platform.h"

namespace pcpos::ui {

// Sockets need no process-wide start here.
void StartPlatform() {}
void StopPlatform() {}

}  // namespace pcpos::ui
