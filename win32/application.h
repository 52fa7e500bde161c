// Start-up and end of pcpos-tester.exe: the socket library, the command line,
// the main window, the message loop and the exit code.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace pcpos::win32 {

// Values given on the command line in place of the window's initial inputs.
struct StartupInputs {
  std::optional<std::string> host;
  std::optional<std::string> port;
  std::optional<std::string> amount;
  std::optional<std::string> log_dir;
  bool help = false;
};

// `arguments` as UTF-8, the program first. "--host X" and "--host=X" both work.
// Throws std::runtime_error on an unknown option, a missing value or a stray argument.
StartupInputs ParseCommandLine(const std::vector<std::string>& arguments);

// The options, for --help.
std::string UsageText();

// Starts the socket library, reads the UTF-16 command line, opens the window
// with `show_command` and runs the message loop until it closes. Returns 0 after
// a normal close, 1 after an error during start-up or at the end (shown in the
// "Application Error" box).
int RunApplication(int show_command);

}  // namespace pcpos::win32
