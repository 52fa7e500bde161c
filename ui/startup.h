// Start-up and end of the Qt window program over the shared start-up
// (startup/): the command line, the main window, the message loop, the exit code.
#pragma once

#include <QStringList>

#include <string>
#include <vector>

#include "startup/options.h"
#include "startup/platform.h"

namespace pcpos::ui {

class Application;
class TFrm_Selvarin;

void ApplyStartupInputs(TFrm_Selvarin& window, const startup::StartupInputs& inputs);

// The arguments as the shared start-up reads them: UTF-8, the program first.
std::vector<std::string> Utf8Arguments(const QStringList& arguments);

// Answers --help before the application exists, so that it needs no display:
// prints the usage on standard output and returns true. Else false.
bool PrintHelpIfAsked(const std::vector<std::string>& arguments);

// Starts the platform, creates the window from the command line, runs the
// message loop until the window closes and returns the exit code: 0 after a
// normal close or --help (the usage printed on standard output), 2 after a
// command line it does not understand (what was wrong and the usage, in a box
// and on standard error), 1 after an error during start-up (shown in the
// "Application Error" box), 128 + the signal's number after SIGTERM, SIGINT or
// SIGHUP, which close the window as its close button does (POSIX). A --suite that cannot be read
// counts as a command line it does not understand. With --demo the simulated reader starts before
// the window and stops after it; its address and port fill the inputs.
int RunApplication(Application& app, const QStringList& arguments,
                   const startup::PlatformHooks& platform = {});

}  // namespace pcpos::ui
