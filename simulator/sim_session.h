// One connection to the simulated reader, from the request line to the close.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "simulator/scenario.h"

class QTcpSocket;
class QTimer;

namespace pcpos::sim {

class SimServer;

class SimSession : public QObject {
  Q_OBJECT

 public:
  // `scripted`: the script's step for this connection, played whatever the request.
  SimSession(QTcpSocket* socket, SimServer* server, std::optional<Step> scripted);

 private:
  void onReadyRead();
  void onRequestTimeout();
  void handleRequest(QByteArray line);
  void play(Step step, const std::string& request);
  void act();
  void answer();
  void sendNextPiece();
  void after(std::chrono::milliseconds wait, std::function<void()> then);
  void sendAndClose(const std::string& answer);
  void resetConnection();
  void closeConnection();
  void log(const std::string& request, const QString& scenario, const QString& answer);

  QTcpSocket* socket_;
  SimServer* server_;
  QTimer* timer_;  // waits for the request, then for a delay, a silence or the next piece
  QString peer_;
  QByteArray buffer_;
  bool answered_ = false;  // one request per connection; later bytes are dropped
  // A delayed or silent answer is logged when it ends, with what it was for.
  bool logged_ = false;
  std::string request_;
  QString scenario_;
  std::optional<Step> scripted_;
  Step step_;                        // the one being played
  std::vector<std::string> pieces_;  // of the answer, still to send
};

}  // namespace pcpos::sim
