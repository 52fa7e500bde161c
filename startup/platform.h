// What the system needs started before a window and stopped after it.
#pragma once

#include <functional>

namespace pcpos::startup {

// On Windows the socket library, version 2.2: the link's own start, held until
// the process ends, made here so that a system without it fails at start-up
// rather than at the first payment. Nothing elsewhere. Throws ConnectionError.
void StartPlatform();

// Replaceable for the tests: `start` runs before the command line opens the
// window, `stop` after the window and its payment have gone.
struct PlatformHooks {
  std::function<void()> start = StartPlatform;
  std::function<void()> stop;
};

}  // namespace pcpos::startup
