// One connection to the simulated reader, from the request line to the close.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <string>

#include "simulator/scenario.h"

class QTcpSocket;
class QTimer;

namespace pcpos::sim {

class SimServer;

class SimSession : public QObject {
  Q_OBJECT

 public:
  SimSession(QTcpSocket* socket, SimServer* server);

 private:
  void onReadyRead();
  void onRequestTimeout();
  void handleRequest(QByteArray line);
  void play(Scenario scenario, const std::string& request);
  void sendAndClose(const std::string& answer);
  void resetConnection();
  void closeConnection();
  void log(const std::string& request, const QString& scenario, const QString& answer);

  QTcpSocket* socket_;
  SimServer* server_;
  QTimer* timer_;  // waits for the request, then for a delayed or split answer
  QString peer_;
  QByteArray buffer_;
  bool answered_ = false;  // one request per connection; later bytes are dropped
  // A delayed or silent answer is logged when it ends, with what it was for.
  bool logged_ = false;
  std::string request_;
  QString scenario_;
};

}  // namespace pcpos::sim
