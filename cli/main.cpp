#include <csignal>
#include <iostream>

#include "cli/cli.h"

namespace {

pcpos::CliInterrupt interrupt;

// Ctrl-C cancels the wait the way the window's cancel button does, and ends a
// series; the waker only writes to a pipe, which is safe in a signal handler.
extern "C" void OnInterrupt(int) { interrupt.Trigger(); }

}  // namespace

int main(int argc, char** argv) {
  std::signal(SIGINT, OnInterrupt);
  std::signal(SIGTERM, OnInterrupt);
  return pcpos::RunCli(argc, argv, std::cout, std::cerr, &interrupt);
}
