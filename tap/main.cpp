// pcpos-tap: a recording relay between the cash register program and the card reader.
#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/signal_set.hpp>

#include <csignal>
#include <functional>
#include <cstdio>
#include <string>
#include <vector>

#include "payment/response_log.h"
#include "tap/command_line.h"
#include "tap/output.h"
#include "tap/recording.h"
#include "tap/relay.h"
#include "tap/report.h"

#ifdef _WIN32
#include <io.h>
#define PCPOS_ISATTY(fd) _isatty(fd)
#else
#include <unistd.h>
#define PCPOS_ISATTY(fd) isatty(fd)
#endif

namespace {

// Long enough for an exchange that is ending to end; a cardholder still at the
// reader is cut, and written down as it stood.
constexpr auto kStopGrace = std::chrono::seconds(5);

}  // namespace

int main(int argc, char* argv[]) {
  using namespace pcpos::tap;
  const std::vector<std::string> arguments(argv, argv + argc);
  TapCommandLine command_line;
  const TapParse parsed = ParseTapCommandLine(arguments, command_line);
  switch (parsed.kind) {
    case TapParse::Help:
      std::fputs(parsed.text.c_str(), stdout);
      return 0;
    case TapParse::Version:
      std::printf("%s\n", parsed.text.c_str());
      return 0;
    case TapParse::Error:
      std::fprintf(stderr, "pcpos-tap: %s\nTry 'pcpos-tap --help'.\n", parsed.text.c_str());
      return 2;
    case TapParse::Run:
      break;
  }

  asio::io_context io(1);
  RelayOptions options;
  {
    asio::ip::tcp::resolver resolver(io);
    std::error_code error;
    const auto found = resolver.resolve(asio::ip::tcp::v4(), command_line.reader_host,
                                        std::to_string(command_line.reader_port), error);
    if (error || found.empty()) {
      std::fprintf(stderr, "pcpos-tap: cannot find the reader %s: %s\n",
                   command_line.reader_host.c_str(), error.message().c_str());
      return 1;
    }
    options.reader = found.begin()->endpoint();
  }
  options.listen = asio::ip::tcp::endpoint(asio::ip::make_address_v4(command_line.listen_address),
                                           command_line.listen_port);

  Recording recording;
  std::string error;
  if (command_line.record && !recording.Open(*command_line.record, error)) {
    std::fprintf(stderr, "pcpos-tap: %s\n", error.c_str());
    return 1;
  }
  OutputOptions output_options;
  output_options.json = command_line.json;
  output_options.colour = !command_line.json && PCPOS_ISATTY(1);
  output_options.journal =
      pcpos::LogFolderPrefix(command_line.log_dir) + std::string(kTapJournalFileName);
  Output output(output_options, command_line.record ? &recording : nullptr);

  TapServer server(io, options, [&output](ExchangeLog log) { output.Add(std::move(log)); });
  if (!server.Listen(error)) {
    std::fprintf(stderr, "pcpos-tap: cannot listen on %s:%u: %s\n",
                 command_line.listen_address.c_str(),
                 static_cast<unsigned>(command_line.listen_port), error.c_str());
    return 1;
  }
  const auto local = server.local_endpoint();
  // Scripts and tests wait for this line through a pipe: it goes out at once.
  std::printf("listening on %s:%u\n", local.address().to_string().c_str(),
              static_cast<unsigned>(local.port()));
  std::fflush(stdout);

  // Ctrl-C and SIGTERM: no new connections; the exchanges under way get a
  // moment to end and are written down either way. A second one cuts at once.
  asio::signal_set signals(io, SIGINT, SIGTERM);
  int signals_seen = 0;
  std::function<void(const std::error_code&, int)> on_signal = [&](const std::error_code& waited,
                                                                   int number) {
    if (waited) return;
    // Armed again first: the stop may finish at once and cancel it.
    signals.async_wait(on_signal);
    if (++signals_seen == 1) {
      std::fprintf(stderr, "pcpos-tap: stopping on signal %d\n", number);
      server.Stop(kStopGrace, [&] { signals.cancel(); });
    } else {
      server.CutAll();
    }
  };
  signals.async_wait(on_signal);
  io.run();
  output.Drain();
  return 0;
}
