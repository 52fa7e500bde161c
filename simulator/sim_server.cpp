#include "simulator/sim_server.h"

#include <QTcpServer>
#include <QTcpSocket>

#include <utility>

#include "simulator/sim_session.h"

namespace pcpos::sim {
namespace {
// Many clients may connect in the same instant (load tests, a busy window).
constexpr int kListenBacklog = 512;
}  // namespace

SimServer::SimServer(ServerOptions options, QObject* parent)
    : QObject(parent),
      options_(std::move(options)),
      answers_(options_.identity),
      server_(new QTcpServer(this)) {
  server_->setListenBacklogSize(kListenBacklog);
  server_->setMaxPendingConnections(kListenBacklog);
  connect(server_, &QTcpServer::newConnection, this, &SimServer::acceptPending);
}

bool SimServer::listen(const QHostAddress& address, quint16 port) {
  return server_->listen(address, port);
}

QString SimServer::errorString() const { return server_->errorString(); }
QHostAddress SimServer::serverAddress() const { return server_->serverAddress(); }
quint16 SimServer::serverPort() const { return server_->serverPort(); }

void SimServer::acceptPending() {
  while (QTcpSocket* socket = server_->nextPendingConnection()) {
    new SimSession(socket, this);
  }
}

}  // namespace pcpos::sim
