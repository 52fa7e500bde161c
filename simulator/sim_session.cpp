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

// Where a generated answer's response code ends: the header and six fields.
std::size_t CutAfterCode(const std::string& answer, std::size_t header) {
  std::size_t cut = header;
  for (int field = 0; field < 6 && cut + 2 <= answer.size(); ++field) {
    cut += 2 + static_cast<std::size_t>((answer[cut] - '0') * 10 + (answer[cut + 1] - '0'));
  }
  return cut;
}

}  // namespace

SimSession::SimSession(QTcpSocket* socket, SimServer* server, std::optional<Step> scripted)
    : QObject(server), socket_(socket), server_(server), timer_(new QTimer(this)), scripted_(std::move(scripted)) {
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

  std::string problem;  // empty when the request follows the format
  std::string_view problem_code;
  std::string amount;
  if (static_cast<std::size_t>(line.size()) > server_->options().max_request) {
    problem = "request line too long";
    problem_code = kMalformedRequestCode;
  } else if (const RequestCheck check = CheckRequest(request); !check.ok()) {
    problem = check.describe();
    problem_code = check.code();
  } else {
    amount = check.amount;
  }

  if (scripted_) {
    // A script answers as written, whatever the request: the client under
    // test may well fill fields that this reader would refuse.
    Step step = std::move(*scripted_);
    if (!problem.empty()) step.name += " (request malformed: " + problem + ")";
    play(std::move(step), request);
  } else if (!problem.empty()) {
    Step step;
    step.name = "malformed: " + problem;
    step.code = std::string(problem_code);
    play(std::move(step), request);
  } else {
    const auto& options = server_->options();
    play(StepFor(options.scenario.value_or(ScenarioForAmount(amount)), options.delay), request);
  }
}

void SimSession::play(Step step, const std::string& request) {
  step_ = std::move(step);
  request_ = request;
  scenario_ = QString::fromStdString(step_.name);
  if (step_.delay > std::chrono::milliseconds::zero()) {
    after(step_.delay, [this] { act(); });
  } else {
    act();
  }
}

void SimSession::act() {
  switch (step_.action) {
    case Action::Answer:
      answer();
      return;
    case Action::Reset:
      log(request_, scenario_, QStringLiteral("(none: connection reset)"));
      resetConnection();
      return;
    case Action::Close:
      log(request_, scenario_, QStringLiteral("(none: connection closed)"));
      closeConnection();
      return;
    case Action::Silence:
      after(server_->options().silence_max, [this] {
        log(request_, scenario_, QStringLiteral("(none: silent until closed)"));
        closeConnection();
      });
      return;
  }
}

void SimSession::answer() {
  // Built only now, so that after a delay the date and STAN are those of the
  // moment the cardholder finishes.
  const std::string answer =
      step_.raw ? *step_.raw
                : server_->answers().Build(step_.code, QDateTime::currentDateTime(), step_.header, step_.fields);
  const std::vector<std::size_t> cuts =
      step_.split_after_code ? std::vector<std::size_t>{CutAfterCode(answer, step_.header.size())} : step_.pieces;
  pieces_.clear();
  std::size_t from = 0;
  for (const std::size_t cut : cuts) {
    const std::size_t to = std::min(cut, answer.size());
    if (to <= from) continue;
    pieces_.push_back(answer.substr(from, to - from));
    from = to;
  }
  if (from < answer.size() || pieces_.empty()) pieces_.push_back(answer.substr(from));

  QString shown;
  for (const auto& piece : pieces_) {
    if (!shown.isEmpty()) shown += QStringLiteral(" + ");
    shown += Quoted(piece);
  }
  log(request_, scenario_, shown);
  sendNextPiece();
}

void SimSession::sendNextPiece() {
  const std::string piece = std::move(pieces_.front());
  pieces_.erase(pieces_.begin());
  if (pieces_.empty()) {
    sendAndClose(piece);
    return;
  }
  socket_->write(piece.data(), static_cast<qint64>(piece.size()));
  socket_->flush();
  after(step_.pause.value_or(server_->options().pause), [this] { sendNextPiece(); });
}

void SimSession::after(std::chrono::milliseconds wait, std::function<void()> then) {
  disconnect(timer_, nullptr, this, nullptr);
  connect(timer_, &QTimer::timeout, this, std::move(then));
  timer_->start(wait);
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
