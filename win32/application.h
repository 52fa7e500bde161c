// Start-up and end of pcpos-tester.exe over the shared start-up (startup/):
// the command line, the main window, the message loop and the exit code.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "startup/demo.h"
#include "startup/options.h"
#include "startup/platform.h"
#include "win32/main_window.h"

namespace pcpos::win32 {

// The window as the command line asks for it, not yet shown. With --demo the
// simulated reader listens on a free loopback port first, and the window holds
// its address and port and says so in its caption. The reader is declared first
// so that it stops after the window (and its payment) have gone.
struct Session {
  Session();
  Session(Session&&) noexcept;
  Session& operator=(Session&&) noexcept;
  ~Session();
  std::unique_ptr<startup::SimulatedReader> simulated_reader;
  std::unique_ptr<MainWindow> window;
};
// Throws std::runtime_error when the simulated reader cannot listen, or on
// --demo in a build without it; startup::UsageError, before anything starts,
// when the --suite cannot be read. With --suite the window guides its run.
// Needs the platform started.
Session OpenSession(startup::StartupInputs inputs, MainWindow::Options options = {});

// Reads the command line (UTF-8, the program first), starts the platform, opens
// the window with `show_command` and runs the message loop until it closes.
// Returns 0 after a normal close or --help (the usage in a box), 2 after a
// command line it does not understand or a --suite that cannot be read (what
// was wrong and the usage, in a box),
// 1 after an error during start-up or at the end (in the "Application Error" box).
int RunApplication(const std::vector<std::string>& arguments, int show_command,
                   const startup::PlatformHooks& platform = {});

}  // namespace pcpos::win32
