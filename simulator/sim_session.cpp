#include "simulator/sim_session.h"

#include <QDateTime>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>

#ifdef Q_OS_WIN
#include <winsock2.h>
using NativeSocket = SOCKET;
#else
#include <sys/socket.h>
using NativeSocket = int;
#endif

#include "simulator/request_check.h"
#include "simulator/sim_server.h"

namespace pcpos::sim {
namespace {

constexpr qsizetype kLoggedRequestMax = 200;

QString Quoted(const std::string& bytes) {
  QString out = QStringLiteral("\"");
  const auto shown = std::min<std::size_t>(bytes.size(), kLoggedRequestMax);
  for (std::size_t i = 0; i < shown; ++i) {
    const auto c = static_cast<unsigned char>(bytes[i]);
    if (c == '"' || c == '\\') {
      out += QLatin1Char('\\');
      out += QLatin1Char(static_cast<char>(c));
    } else if (c >= 32 && c < 127) {
      out += QLatin1Char(static_cast<char>(c));
    } else {
      out += QStringLiteral("\\x%1").arg(c, 2, 16, QLatin1Char('0'));
    }
  }
  out += QLatin1Char('"');
  if (bytes.size() > shown) out += QStringLiteral("...(%1 bytes)").arg(bytes.size());
  return out;
}

QString Name(Scenario scenario) {
  return QString::fromLatin1(Info(scenario).name.data(),
                             static_cast<qsizetype>(Info(scenario).name.size()));
}

}  // namespace

SimSession::SimSession(QTcpSocket* socket, SimServer* server)
    : QObject(server), socket_(socket), server_(server), timer_(new QTimer(this)) {
  socket_->setParent(this);
  // The two segments of a split answer must leave as two segments.
  socket_->setSocketOption(QAbstractSocket::LowDelayOption, 1);
  peer_ = QStringLiteral("%1:%2").arg(socket_->peerAddress().toString()).arg(socket_->peerPort());

  timer_->setSingleShot(true);
  // A coarse timer may fire up to 5% early; a delay is meant as a minimum.
  timer_->setTimerType(Qt::PreciseTimer);
  connect(timer_, &QTimer::timeout, this, &SimSession::onRequestTimeout);
  timer_->start(server_->options().request_timeout);

  connect(socket_, &QTcpSocket::readyRead, this, &SimSession::onReadyRead);
  connect(socket_, &QTcpSocket::disconnected, this, [this] {
    if (!answered_) {
      log(buffer_.toStdString(), QStringLiteral("-"), QStringLiteral("(peer left before a full request)"));
    } else if (!logged_) {
      log(request_, scenario_, QStringLiteral("(none: peer left first)"));
    }
    deleteLater();
  });
  // Bytes may have come with the connection itself.
  QTimer::singleShot(0, this, &SimSession::onReadyRead);
}

void SimSession::onReadyRead() {
  // Always drain the socket: closing with unread bytes would turn the
  // reader's orderly close into a reset.
  const QByteArray data = socket_->readAll();
  if (answered_) return;
  buffer_ += data;
  const qsizetype end = buffer_.indexOf('\n');
  if (end >= 0) {
    handleRequest(buffer_.left(end));
  } else if (static_cast<std::size_t>(buffer_.size()) > server_->options().max_request) {
    handleRequest(buffer_);
  }
}

void SimSession::onRequestTimeout() {
  if (answered_) return;
  answered_ = true;
  log(buffer_.toStdString(), QStringLiteral("-"), QStringLiteral("(no request in time: closed)"));
  closeConnection();
}

void SimSession::handleRequest(QByteArray line) {
  answered_ = true;
  timer_->stop();
  disconnect(timer_, nullptr, this, nullptr);
  if (line.endsWith('\r')) line.chop(1);
  const std::string request = line.toStdString();

  if (static_cast<std::size_t>(line.size()) > server_->options().max_request) {
    const std::string answer = server_->answers().Build(kMalformedRequestCode, QDateTime::currentDateTime());
    log(request, QStringLiteral("malformed: request line too long"), Quoted(answer));
    sendAndClose(answer);
    return;
  }
  const RequestCheck check = CheckRequest(request);
  if (!check.ok()) {
    const std::string answer = server_->answers().Build(check.code(), QDateTime::currentDateTime());
    log(request, QStringLiteral("malformed: ") + QString::fromStdString(check.describe()), Quoted(answer));
    sendAndClose(answer);
    return;
  }
  play(server_->options().scenario.value_or(ScenarioForAmount(check.amount)), request);
}

void SimSession::play(Scenario scenario, const std::string& request) {
  const auto& options = server_->options();
  const QString name = Name(scenario);
  const auto now = QDateTime::currentDateTime();
  switch (scenario) {
    case Scenario::Approve:
    case Scenario::Cancelled:
    case Scenario::WrongPin:
    case Scenario::Declined: {
      const std::string answer = server_->answers().Build(Info(scenario).code, now);
      log(request, name, Quoted(answer));
      sendAndClose(answer);
      return;
    }
    case Scenario::Delay: {
      // The date and STAN are those of the moment the cardholder finishes.
      request_ = request;
      scenario_ = name;
      connect(timer_, &QTimer::timeout, this, [this, request, name] {
        const std::string answer = server_->answers().Build(Info(Scenario::Delay).code, QDateTime::currentDateTime());
        log(request, name, Quoted(answer));
        sendAndClose(answer);
      });
      timer_->start(options.delay);
      return;
    }
    case Scenario::TwoSegments: {
      const std::string answer = server_->answers().Build(Info(scenario).code, now);
      // Split after the response code: header and six fields, then the rest.
      std::size_t cut = kAnswerHeader.size();
      for (int field = 0; field < 6; ++field) {
        cut += 2 + static_cast<std::size_t>((answer[cut] - '0') * 10 + (answer[cut + 1] - '0'));
      }
      log(request, name, Quoted(answer.substr(0, cut)) + QStringLiteral(" + ") + Quoted(answer.substr(cut)));
      socket_->write(answer.data(), static_cast<qint64>(cut));
      socket_->flush();
      const std::string rest = answer.substr(cut);
      connect(timer_, &QTimer::timeout, this, [this, rest] { sendAndClose(rest); });
      timer_->start(options.pause);
      return;
    }
    case Scenario::BadHeader: {
      const std::string answer = server_->answers().Build(Info(scenario).code, now, "@@zrm@@");
      log(request, name, Quoted(answer));
      sendAndClose(answer);
      return;
    }
    case Scenario::Reset:
      log(request, name, QStringLiteral("(none: connection reset)"));
      resetConnection();
      return;
    case Scenario::CloseWithoutAnswer:
      log(request, name, QStringLiteral("(none: connection closed)"));
      closeConnection();
      return;
    case Scenario::Silence:
      request_ = request;
      scenario_ = name;
      connect(timer_, &QTimer::timeout, this, [this] {
        log(request_, scenario_, QStringLiteral("(none: silent until closed)"));
        closeConnection();
      });
      timer_->start(options.silence_max);
      return;
  }
}

void SimSession::sendAndClose(const std::string& answer) {
  socket_->write(answer.data(), static_cast<qint64>(answer.size()));
  closeConnection();
}

void SimSession::resetConnection() {
  // A zero linger makes the close an RST, which the client sees as a reset.
  const auto fd = socket_->socketDescriptor();
  if (fd != -1) {
    struct linger zero {};
    zero.l_onoff = 1;
    zero.l_linger = 0;
    ::setsockopt(static_cast<NativeSocket>(fd), SOL_SOCKET, SO_LINGER,
                 reinterpret_cast<const char*>(&zero), sizeof zero);
  }
  socket_->abort();
  deleteLater();
}

void SimSession::closeConnection() {
  // Qt writes what is pending, then closes; `disconnected` ends the session.
  if (socket_->state() == QAbstractSocket::UnconnectedState) {
    deleteLater();
    return;
  }
  socket_->disconnectFromHost();
}

void SimSession::log(const std::string& request, const QString& scenario, const QString& answer) {
  logged_ = true;
  emit server_->logLine(QStringLiteral("%1 peer %2 request %3 scenario %4 answer %5")
                            .arg(QDateTime::currentDateTime().toString(Qt::ISODateWithMs), peer_,
                                 Quoted(request), scenario, answer));
}

}  // namespace pcpos::sim
