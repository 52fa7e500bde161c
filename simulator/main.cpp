// pcpos-sim: a simulated PC-POS card reader on the local machine.
#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>

#include "simulator/command_line.h"
#include "simulator/sim_server.h"
#include "simulator/stop_signals.h"

namespace {

void PrintLine(const QString& line) {
  // Scripts and tests read this output through a pipe: every line goes out at once.
  std::fputs(line.toUtf8().constData(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char* argv[]) {
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("pcpos-sim"));
  QCoreApplication::setApplicationVersion(QStringLiteral(PCPOS_VERSION));

  pcpos::sim::CommandLine command_line;
  const auto outcome = pcpos::sim::ParseCommandLine(QCoreApplication::arguments(), command_line);
  switch (outcome.kind) {
    case pcpos::sim::ParseOutcome::Help:
      std::fputs(outcome.text.toUtf8().constData(), stdout);
      return 0;
    case pcpos::sim::ParseOutcome::Version:
      PrintLine(QStringLiteral("pcpos-sim " PCPOS_VERSION));
      return 0;
    case pcpos::sim::ParseOutcome::Error:
      std::fprintf(stderr, "pcpos-sim: %s\nTry 'pcpos-sim --help'.\n", outcome.text.toUtf8().constData());
      return 2;
    case pcpos::sim::ParseOutcome::Run:
      break;
  }

  pcpos::sim::StopSignals stop_signals;
  pcpos::sim::SimServer server(command_line.server);
  QObject::connect(&server, &pcpos::sim::SimServer::logLine, &PrintLine);
  QObject::connect(&stop_signals, &pcpos::sim::StopSignals::stopRequested, &app, [](int number) {
    PrintLine(QStringLiteral("stopping on signal %1").arg(number));
    QCoreApplication::quit();
  });

  if (!server.listen(command_line.address, command_line.port)) {
    std::fprintf(stderr, "pcpos-sim: cannot listen on %s:%u: %s\n",
                 command_line.address.toString().toUtf8().constData(), command_line.port,
                 server.errorString().toUtf8().constData());
    return 1;
  }
  PrintLine(QStringLiteral("listening on %1:%2").arg(server.serverAddress().toString()).arg(server.serverPort()));
  return app.exec();
}
