// pcpos-sim: a simulated PC-POS card reader on the local machine.
#include <asio/io_context.hpp>
#include <asio/signal_set.hpp>

#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "simulator/command_line.h"
#include "simulator/log_writer.h"
#include "simulator/sim_server.h"

int main(int argc, char* argv[]) {
  const std::vector<std::string> arguments(argv, argv + argc);
  pcpos::sim::CommandLine command_line;
  const auto outcome = pcpos::sim::ParseCommandLine(arguments, command_line);
  switch (outcome.kind) {
    case pcpos::sim::ParseOutcome::Help:
      std::fputs(outcome.text.c_str(), stdout);
      return 0;
    case pcpos::sim::ParseOutcome::Version:
      std::puts("pcpos-sim " PCPOS_VERSION);
      return 0;
    case pcpos::sim::ParseOutcome::Error:
      std::fprintf(stderr, "pcpos-sim: %s\nTry 'pcpos-sim --help'.\n", outcome.text.c_str());
      return 2;
    case pcpos::sim::ParseOutcome::Run:
      break;
  }

  asio::io_context io(1);
  pcpos::sim::LogWriter log(io, stdout);
  pcpos::sim::SimServer server(io, command_line.server);
  server.SetLogSink([&log](const std::string& line) { log.Add(line); });
  std::string error;
  if (!server.Listen(command_line.address, command_line.port, error)) {
    std::fprintf(stderr, "pcpos-sim: cannot listen on %s:%u: %s\n",
                 command_line.address.to_string().c_str(), static_cast<unsigned>(command_line.port),
                 error.c_str());
    return 1;
  }
  // Scripts and tests wait for this line through a pipe: it goes out at once.
  log.AddNow("listening on " + server.address().to_string() + ":" + std::to_string(server.port()));

  // Ctrl-C and SIGTERM end it in order: open connections are closed, the log
  // is written out, and the exit status is 0.
  asio::signal_set signals(io, SIGINT, SIGTERM);
  signals.async_wait([&](const std::error_code& waited, int number) {
    if (waited) return;
    log.AddNow("stopping on signal " + std::to_string(number));
    server.Stop();
    log.Close();
  });
  io.run();
  log.Close();
  return 0;
}
