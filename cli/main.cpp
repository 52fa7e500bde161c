#include <csignal>
#include <iostream>
#include <string>
#include <vector>

#include "cli/cli.h"

#ifdef _WIN32
#include "cli/args_win32.h"
#endif

namespace {

pcpos::CliInterrupt interrupt;

// Ctrl-C cancels the wait the way the window's cancel button does, and ends a
// series; the waker only writes to a pipe, which is safe in a signal handler.
extern "C" void OnInterrupt(int) { interrupt.Trigger(); }

}  // namespace

int main(int argc, char** argv) {
  std::signal(SIGINT, OnInterrupt);
  std::signal(SIGTERM, OnInterrupt);
#ifdef _WIN32
  // argv is in the ANSI code page there; the system's UTF-16 copy is exact.
  (void)argc;
  (void)argv;
  const pcpos::win32::ConsoleText console;
  const std::vector<std::string> args = pcpos::win32::Utf8Arguments();
  std::vector<const char*> pointers;
  for (const std::string& a : args) pointers.push_back(a.c_str());
  return pcpos::RunCli(static_cast<int>(pointers.size()), pointers.data(), std::cout, std::cerr, &interrupt);
#else
  return pcpos::RunCli(argc, argv, std::cout, std::cerr, &interrupt);
#endif
}
