#include "simulator/command_line.h"

#include <QCommandLineParser>

#include <cmath>

#include "simulator/script.h"

namespace pcpos::sim {
namespace {

QString Text(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Seconds, fractions allowed, to milliseconds; false for a negative or unreadable value.
bool ParseSeconds(const QString& text, std::chrono::milliseconds& out) {
  bool ok = false;
  const double seconds = text.toDouble(&ok);
  if (!ok || !std::isfinite(seconds) || seconds < 0 || seconds > 24 * 3600) return false;
  out = std::chrono::milliseconds(std::llround(seconds * 1000));
  return true;
}

bool AllDigits(const QString& text, qsizetype size) {
  if (text.size() != size) return false;
  for (const QChar c : text) {
    if (c < QLatin1Char('0') || c > QLatin1Char('9')) return false;
  }
  return true;
}

}  // namespace

bool ParseListen(const QString& text, QHostAddress& address, quint16& port) {
  const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
  if (colon <= 0) return false;
  const QString host = text.left(colon);
  const QString port_text = text.mid(colon + 1);
  bool ok = false;
  const uint value = port_text.toUInt(&ok);
  if (!ok || value > 65535 || port_text.isEmpty() || !port_text.front().isDigit()) return false;
  QHostAddress parsed;
  if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0) {
    parsed = QHostAddress(QHostAddress::LocalHost);
  } else if (!parsed.setAddress(host) || parsed.protocol() != QAbstractSocket::IPv4Protocol) {
    return false;
  }
  address = parsed;
  port = static_cast<quint16>(value);
  return true;
}

QString ScenarioTable() {
  QString table = QStringLiteral(
      "Scenarios (--scenario NAME; without it, the amount's last two digits choose):\n"
      "  ending  name          code  behaviour\n");
  for (const auto& info : Scenarios()) {
    table += QStringLiteral("  %1      %2 %3  %4\n")
                 .arg(Text(info.trigger), Text(info.name).leftJustified(13),
                      Text(info.code.empty() ? std::string_view("--") : info.code).leftJustified(4), Text(info.behaviour));
  }
  table += QStringLiteral(
      "  any other ending approves (code 00), so the amount 1000 approves.\n"
      "A request that does not follow the format is answered at once, whatever the\n"
      "scenario, with code %1 (code %2 when only the amount is wrong: not 1 to 12\n"
      "digits, or zero).\n")
               .arg(Text(kMalformedRequestCode), Text(kInvalidAmountCode));
  return table;
}

QString ScriptHelp() {
  return QStringLiteral(
             "Scripts (--script FILE): each new connection takes the next step; after the last\n"
             "one, \"repeat\": true starts again, false leaves the rest to the scenarios. A step\n"
             "is played whatever the request line holds. Its keys, all optional:\n"
             "  action  \"answer\" (default), \"reset\", \"close\" or \"silence\"\n"
             "  code    the response code, as text (default \"00\")\n"
             "  fields  values in place of the generated ones: TerminalNo, STAN, RRN, BatchNo,\n"
             "          ResponseType, CardNo, DateTime\n"
             "  raw     the answer's text, sent as it is in place of a generated one\n"
             "  delay   seconds before the action\n"
             "  pieces  character offsets at which the answer is cut into pieces\n"
             "  pause   seconds between the pieces (default --pause)\n"
             "A script that does not read stops the program with exit status 2. Example:\n") +
         Text(kExampleScript) + QStringLiteral("\n");
}

ParseOutcome ParseCommandLine(const QStringList& arguments, CommandLine& out) {
  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral(
      "A simulated PC-POS card reader. Each connection gets one request line, one\n"
      "answer and a close. One line per request is logged to standard output; the\n"
      "first line is \"listening on ADDRESS:PORT\". Stops on Ctrl-C or SIGTERM.\n\n") +
      ScenarioTable() + QStringLiteral("\n") + ScriptHelp());
  const QCommandLineOption help_option = parser.addHelpOption();
  const QCommandLineOption version_option = parser.addVersionOption();
  const QCommandLineOption listen({QStringLiteral("listen")},
      QStringLiteral("Address and port to listen on (default 127.0.0.1:9053; port 0 picks a free one)."),
      QStringLiteral("ADDRESS:PORT"));
  const QCommandLineOption allow_remote({QStringLiteral("allow-remote")},
      QStringLiteral("Allow --listen on an address other than loopback (127.0.0.0/8)."));
  const QCommandLineOption scenario({QStringLiteral("scenario")},
      QStringLiteral("Play this scenario for every request."), QStringLiteral("NAME"));
  const QCommandLineOption delay({QStringLiteral("delay")},
      QStringLiteral("Seconds the delay scenario waits (default 3)."), QStringLiteral("SECONDS"));
  const QCommandLineOption pause({QStringLiteral("pause")},
      QStringLiteral("Seconds between the two segments (default 0.3; past the client's 0.5 s quiet time the answer is cut short)."), QStringLiteral("SECONDS"));
  const QCommandLineOption silence({QStringLiteral("silence-max")},
      QStringLiteral("Seconds a silent connection stays open at most (default 600)."),
      QStringLiteral("SECONDS"));
  const QCommandLineOption request_timeout({QStringLiteral("request-timeout")},
      QStringLiteral("Seconds to wait for the request line (default 30)."), QStringLiteral("SECONDS"));
  const QCommandLineOption terminal({QStringLiteral("terminal")},
      QStringLiteral("The 8-digit terminal number to answer with (default 31415926)."),
      QStringLiteral("NUMBER"));
  const QCommandLineOption script({QStringLiteral("script")},
      QStringLiteral("Answer the connections as this JSON script says, one step each, then as the scenarios say."),
      QStringLiteral("FILE"));
  parser.addOptions({listen, allow_remote, scenario, delay, pause, silence, request_timeout, terminal, script});

  if (!parser.parse(arguments)) return {ParseOutcome::Error, parser.errorText()};
  if (parser.isSet(help_option)) return {ParseOutcome::Help, parser.helpText()};
  if (parser.isSet(version_option)) return {ParseOutcome::Version, QString()};
  if (!parser.positionalArguments().isEmpty()) {
    return {ParseOutcome::Error, QStringLiteral("unexpected argument: ") + parser.positionalArguments().front()};
  }

  if (parser.isSet(listen) && !ParseListen(parser.value(listen), out.address, out.port)) {
    return {ParseOutcome::Error, QStringLiteral("--listen wants IPV4ADDRESS:PORT, not \"%1\"").arg(parser.value(listen))};
  }
  if (!out.address.isLoopback() && !parser.isSet(allow_remote)) {
    return {ParseOutcome::Error,
            QStringLiteral("refusing to listen on %1: not a loopback address (add --allow-remote to serve "
                           "other machines)").arg(out.address.toString())};
  }
  if (parser.isSet(scenario)) {
    const auto chosen = ScenarioByName(parser.value(scenario).toStdString());
    if (!chosen) return {ParseOutcome::Error, QStringLiteral("unknown scenario \"%1\"").arg(parser.value(scenario))};
    out.server.scenario = chosen;
  }
  const std::pair<const QCommandLineOption*, std::chrono::milliseconds*> durations[] = {
      {&delay, &out.server.delay},
      {&pause, &out.server.pause},
      {&silence, &out.server.silence_max},
      {&request_timeout, &out.server.request_timeout},
  };
  for (const auto& [option, target] : durations) {
    if (parser.isSet(*option) && !ParseSeconds(parser.value(*option), *target)) {
      return {ParseOutcome::Error, QStringLiteral("--%1 wants a number of seconds, not \"%2\"")
                                       .arg(option->names().front(), parser.value(*option))};
    }
  }
  if (parser.isSet(terminal)) {
    if (!AllDigits(parser.value(terminal), 8)) {
      return {ParseOutcome::Error, QStringLiteral("--terminal wants 8 digits")};
    }
    out.server.identity.terminal_no = parser.value(terminal).toStdString();
  }
  if (parser.isSet(script)) {
    Script loaded;
    std::string error;
    if (!LoadScript(parser.value(script).toStdString(), loaded, error)) {
      return {ParseOutcome::Error, QString::fromStdString(error)};
    }
    out.server.script = std::move(loaded);
  }
  return {};
}

}  // namespace pcpos::sim
