#include <windows.h>

#include <chrono>
#include <csignal>

#include "cli/cli.h"
#include "cli/signals.h"

namespace pcpos {
namespace {

CliInterrupt* g_interrupt = nullptr;

// The system gives a closing console's processes about five seconds after
// the event before it ends them; the journal row is written well within that.
constexpr std::chrono::milliseconds kCloseGrace{4500};

// Runs on a thread the system starts for each event. Ctrl-C and Ctrl-Break
// cancel the payment and end the series, as SIGINT does elsewhere. Closing
// the console (or the session ending) ends the process as soon as this
// returns, so the payment is cancelled and the handler waits until it is
// journaled.
BOOL WINAPI OnConsoleEvent(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
      g_interrupt->Trigger(SIGINT);
      return TRUE;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      g_interrupt->Trigger(SIGTERM);
      g_interrupt->WaitUntilFinished(kCloseGrace);
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

void InstallInterruptHandlers(CliInterrupt& interrupt) {
  g_interrupt = &interrupt;
  ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

}  // namespace pcpos
