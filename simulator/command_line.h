// pcpos-sim's command line.
#pragma once

#include <QHostAddress>
#include <QString>
#include <QStringList>

#include "simulator/sim_server.h"

namespace pcpos::sim {

inline constexpr quint16 kDefaultPort = 9053;

struct CommandLine {
  QHostAddress address = QHostAddress(QHostAddress::LocalHost);
  quint16 port = kDefaultPort;
  ServerOptions server;
};

struct ParseOutcome {
  enum Kind { Run, Help, Version, Error } kind = Run;
  QString text;  // the help text, or the error
};

// `arguments` includes the program name first, as QCoreApplication gives it.
ParseOutcome ParseCommandLine(const QStringList& arguments, CommandLine& out);

// "ADDRESS:PORT" with an IPv4 address or "localhost"; false when it does not read.
bool ParseListen(const QString& text, QHostAddress& address, quint16& port);

// The scenario table as --help prints it.
QString ScenarioTable();

// The script keys and the example script, as --help prints them.
QString ScriptHelp();

}  // namespace pcpos::sim
