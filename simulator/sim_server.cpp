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

std::optional<Step> SimServer::takeStep() {
  if (!options_.script) return std::nullopt;
  const auto& steps = options_.script->steps;
  if (next_step_ == steps.size()) {
    if (!options_.script->repeat) return std::nullopt;
    next_step_ = 0;
  }
  return steps[next_step_++];
}

void SimServer::acceptPending() {
  while (QTcpSocket* socket = server_->nextPendingConnection()) {
    new SimSession(socket, this, takeStep());
  }
}

}  // namespace pcpos::sim
