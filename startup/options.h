// The window program's command line, the same for both windows: the options
// that fill the inputs before the window opens, --demo, --suite and --help.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "acceptance/suite.h"

namespace pcpos::startup {

// Values given on the command line in place of the window's initial inputs.
struct StartupInputs {
  std::optional<std::string> host;
  std::optional<std::string> port;
  std::optional<std::string> amount;
  std::optional<std::string> log_dir;
  // --demo: a simulated reader in this program, the window pointed at it.
  bool demo = false;
  // --suite FILE|install: the guided acceptance run, of a suite file or the
  // built-in installation check.
  std::optional<std::string> suite;
  bool help = false;
};

// A command line the program does not understand: an unknown option, a
// missing value or a stray argument. what() says which, in one line.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The exit status after a usage error, as command-line programs use it.
inline constexpr int kUsageErrorStatus = 2;

// `arguments` as UTF-8, the program first. "--host X" and "--host=X" both work;
// "-h", "--help" and "/?" ask for the usage. Throws UsageError.
StartupInputs ParseCommandLine(const std::vector<std::string>& arguments);

// True when the command line is understood and asks for the usage only.
bool AsksForHelp(const std::vector<std::string>& arguments);

// The suite --suite names (the built-in one for "install"), read before the
// window opens. Throws UsageError with the suite's fault (the case and key).
acceptance::Suite LoadStartupSuite(const std::string& name_or_path);

// What the program does and its options, one short line each, so that a
// message box shows it unwrapped; "\n" between lines.
std::string UsageText();

// What was wrong, a blank line, then the usage.
std::string UsageErrorText(std::string_view problem);

}  // namespace pcpos::startup
