// Start-up and end of the window program: platform, command line, main window,
// message loop, exit code.
#pragma once

#include <QString>
#include <QStringList>

#include <exception>
#include <functional>
#include <optional>

namespace pcpos::ui {

class Application;
class TFrm_Selvarin;

// Values given on the command line in place of the window's initial inputs.
struct StartupInputs {
  std::optional<QString> host;
  std::optional<QString> port;
  std::optional<QString> amount;
  std::optional<QString> log_dir;
  // --demo: a simulated reader in this program, on a free loopback port.
  bool demo = false;
  // --suite FILE|install: the guided acceptance run in the window.
  std::optional<QString> suite;
};

// `arguments` includes the program name first. Throws std::runtime_error with
// the parser's message on an unknown option, a missing value or a stray argument.
StartupInputs ParseCommandLine(const QStringList& arguments);
void ApplyStartupInputs(TFrm_Selvarin& window, const StartupInputs& inputs);

struct PlatformHooks {
  std::function<void()> start;
  std::function<void()> stop;
};
PlatformHooks DefaultPlatformHooks();

// The error's kind as the start-up box names it (its type's name).
QString ErrorKind(const std::exception& error);

// Starts the platform, creates the window from the command line, runs the
// message loop until the window closes and returns the exit code: 0 after a
// normal close, 1 after an error during start-up (shown in the application's
// message box as "Application Error"), 2 when the --suite file cannot be used
// (shown in the message box, before anything is sent). With --demo the simulated reader starts
// before the window and stops after it; its address and port fill the inputs.
int RunApplication(Application& app, const QStringList& arguments,
                   const PlatformHooks& platform = DefaultPlatformHooks());

}  // namespace pcpos::ui
