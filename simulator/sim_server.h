// The simulated card reader: a TCP server that, on each connection, reads one
// request line, answers it as the chosen scenario says, and closes, as a reader
// does. Event driven, so any number of connections are served at once.
#pragma once

#include <QHostAddress>
#include <QObject>
#include <QString>

#include <chrono>
#include <cstddef>
#include <optional>

#include "simulator/answer_builder.h"
#include "simulator/scenario.h"
#include "simulator/script.h"

class QTcpServer;

namespace pcpos::sim {

struct ServerOptions {
  std::optional<Scenario> scenario;  // none: chosen by the amount
  std::optional<Script> script;      // steps taken before the scenarios
  std::chrono::milliseconds delay = std::chrono::seconds(3);
  // Between the two segments; shorter than the client's quiet time, so the split
  // answer is read whole.
  std::chrono::milliseconds pause = std::chrono::milliseconds(300);
  std::chrono::milliseconds request_timeout = std::chrono::seconds(30);  // for a peer that never sends
  std::chrono::milliseconds silence_max = std::chrono::minutes(10);
  std::size_t max_request = 64 * 1024;
  ReaderIdentity identity;
};

class SimServer : public QObject {
  Q_OBJECT

 public:
  explicit SimServer(ServerOptions options, QObject* parent = nullptr);

  bool listen(const QHostAddress& address, quint16 port);
  QString errorString() const;
  QHostAddress serverAddress() const;
  quint16 serverPort() const;

  const ServerOptions& options() const { return options_; }
  AnswerBuilder& answers() { return answers_; }

  // The script's step for the next connection; none when there is no script
  // or it has run out.
  std::optional<Step> takeStep();

 signals:
  // One line per request: time, peer, request, scenario, answer.
  void logLine(const QString& line);

 private:
  void acceptPending();

  ServerOptions options_;
  AnswerBuilder answers_;
  QTcpServer* server_;
  std::size_t next_step_ = 0;
};

}  // namespace pcpos::sim
