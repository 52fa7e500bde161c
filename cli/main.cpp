#include <iostream>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "cli/signals.h"

#ifdef _WIN32
#include "startup/process_win32.h"
#endif

namespace {

// Never destroyed while a handler may still use it: a closing console's
// handler waits on it until the process ends.
pcpos::CliInterrupt interrupt;

}  // namespace

int main(int argc, char** argv) {
  pcpos::InstallInterruptHandlers(interrupt);
#ifdef _WIN32
  // argv is in the ANSI code page there; the system's UTF-16 copy is exact.
  (void)argc;
  (void)argv;
  const pcpos::startup::ConsoleText console;
  const std::vector<std::string> args = pcpos::startup::Utf8Arguments();
  std::vector<const char*> pointers;
  for (const std::string& a : args) pointers.push_back(a.c_str());
  const int status = pcpos::RunCli(static_cast<int>(pointers.size()), pointers.data(), std::cout,
                                   std::cerr, &interrupt);
#else
  const int status = pcpos::RunCli(argc, argv, std::cout, std::cerr, &interrupt);
#endif
  interrupt.Finish();
  return status;
}
