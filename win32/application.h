// Start-up and end of pcpos-tester.exe: the socket library, the command line,
// the main window, the message loop and the exit code.
#pragma once

#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "win32/main_window.h"

namespace pcpos::sim {
class InProcessSimulator;
}

namespace pcpos::win32 {

// Values given on the command line in place of the window's initial inputs.
struct StartupInputs {
  std::optional<std::string> host;
  std::optional<std::string> port;
  std::optional<std::string> amount;
  std::optional<std::string> log_dir;
  bool demo = false;  // a simulated card reader in this program, the window pointed at it
  std::optional<std::string> suite;  // --suite FILE|install: the guided acceptance run
  bool help = false;
};

// `arguments` as UTF-8, the program first. "--host X" and "--host=X" both work.
// Throws std::runtime_error on an unknown option, a missing value or a stray argument.
StartupInputs ParseCommandLine(const std::vector<std::string>& arguments);

// The options, for --help.
std::string UsageText();

// The window as the command line asks for it, not yet shown. With --demo the
// simulated reader listens on a free loopback port first, and the window holds
// its address and port and says so in its caption. The reader is declared first
// so that it stops after the window (and its payment) have gone.
struct Session {
  Session();
  Session(Session&&) noexcept;
  Session& operator=(Session&&) noexcept;
  ~Session();
  std::unique_ptr<sim::InProcessSimulator> simulated_reader;
  std::unique_ptr<MainWindow> window;
};
// A --suite that cannot be used: the program says why and ends with 2.
class SuiteError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Throws std::runtime_error when the simulated reader cannot listen, or on
// --demo in a build without it; SuiteError, before anything else, when the
// --suite cannot be read. Needs the socket library started.
Session OpenSession(const StartupInputs& inputs, MainWindow::Options options = {});

// Starts the socket library, reads the UTF-16 command line, opens the window
// with `show_command` and runs the message loop until it closes. Returns 0 after
// a normal close, 1 after an error during start-up or at the end (shown in the
// "Application Error" box), 2 when the --suite cannot be used (said in a box).
int RunApplication(int show_command);

}  // namespace pcpos::win32
