#include "simulator/sim_session.h"

#include <asio/write.hpp>

#include <algorithm>
#include <cstdio>

#include "text/civil_time.h"
#include "simulator/request_check.h"
#include "simulator/sim_server.h"

namespace pcpos::sim {
namespace {

constexpr std::size_t kLoggedRequestMax = 200;

std::string Quoted(const std::string& bytes) {
  std::string out = "\"";
  const auto shown = std::min<std::size_t>(bytes.size(), kLoggedRequestMax);
  for (std::size_t i = 0; i < shown; ++i) {
    const auto c = static_cast<unsigned char>(bytes[i]);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c >= 32 && c < 127) {
      out += static_cast<char>(c);
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
      out += escaped;
    }
  }
  out += '"';
  if (bytes.size() > shown) out += "...(" + std::to_string(bytes.size()) + " bytes)";
  return out;
}

// The local time as the log shows it: 2026-12-08T16:19:56.291.
std::string LogTime() {
  const CivilTime t = LocalTime(std::chrono::system_clock::now());
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03d", t.year, t.month, t.day,
                t.hour, t.minute, t.second, t.millisecond);
  return text;
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

SimSession::SimSession(asio::ip::tcp::socket socket, SimServer& server,
                       std::optional<Step> scripted)
    : socket_(std::move(socket)),
      server_(&server),
      timer_(socket_.get_executor()),
      scripted_(std::move(scripted)) {}

SimSession::~SimSession() {
  if (server_) server_->Forget(this);
}

void SimSession::Start() {
  std::error_code ec;
  // The two segments of a split answer must leave as two segments.
  socket_.set_option(asio::ip::tcp::no_delay(true), ec);
  const auto remote = socket_.remote_endpoint(ec);
  peer_ = remote.address().to_string() + ":" + std::to_string(remote.port());
  After(server_->options().request_timeout, &SimSession::OnRequestTimeout);
  Read();
}

void SimSession::Abort() {
  closed_ = true;
  ++timer_generation_;
  timer_.cancel();
  std::error_code ignored;
  socket_.close(ignored);
}

void SimSession::Read() {
  socket_.async_read_some(
      asio::buffer(chunk_),
      [self = shared_from_this()](const std::error_code& error, std::size_t size) {
        self->OnRead(error, size);
      });
}

void SimSession::OnRead(const std::error_code& error, std::size_t size) {
  if (closed_) return;
  if (error) {
    // The peer closed or reset: the session ends here.
    if (!answered_) {
      Log(buffer_, "-", "(peer left before a full request)");
    } else if (!logged_) {
      Log(request_, scenario_, "(none: peer left first)");
    }
    Abort();
    return;
  }
  // Always drain the socket: closing with unread bytes would turn the
  // reader's orderly close into a reset.
  if (!answered_) {
    const std::size_t from = buffer_.size();
    buffer_.append(chunk_.data(), size);
    const std::size_t end = buffer_.find('\n', from);
    if (end != std::string::npos) {
      HandleRequest(buffer_.substr(0, end));
    } else if (buffer_.size() > server_->options().max_request) {
      HandleRequest(buffer_);
    }
  }
  if (!closed_) Read();
}

void SimSession::OnRequestTimeout() {
  if (answered_) return;
  answered_ = true;
  Log(buffer_, "-", "(no request in time: closed)");
  CloseConnection();
}

void SimSession::HandleRequest(std::string line) {
  answered_ = true;
  ++timer_generation_;
  timer_.cancel();
  if (!line.empty() && line.back() == '\r') line.pop_back();
  const auto& options = server_->options();

  std::string problem;  // empty when the request follows the format
  std::string_view problem_code;
  std::string amount;
  if (line.size() > options.max_request) {
    problem = "request line too long";
    problem_code = kMalformedRequestCode;
  } else if (const RequestCheck check = CheckRequest(line); !check.ok()) {
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
    Play(std::move(step), line);
  } else if (!problem.empty()) {
    Step step;
    step.name = "malformed: " + problem;
    step.code = std::string(problem_code);
    Play(std::move(step), line);
  } else {
    Play(StepFor(options.scenario.value_or(ScenarioForAmount(amount)), options.delay), line);
  }
}

void SimSession::Play(Step step, const std::string& request) {
  step_ = std::move(step);
  request_ = request;
  scenario_ = step_.name;
  if (step_.delay > std::chrono::milliseconds::zero()) {
    After(step_.delay, &SimSession::Act);
  } else {
    Act();
  }
}

void SimSession::Act() {
  switch (step_.action) {
    case Action::Answer:
      Answer();
      return;
    case Action::Reset:
      Log(request_, scenario_, "(none: connection reset)");
      ResetConnection();
      return;
    case Action::Close:
      Log(request_, scenario_, "(none: connection closed)");
      CloseConnection();
      return;
    case Action::Silence:
      After(server_->options().silence_max, &SimSession::SilenceEnds);
      return;
  }
}

void SimSession::SilenceEnds() {
  Log(request_, scenario_, "(none: silent until closed)");
  CloseConnection();
}

void SimSession::Answer() {
  // Built only now, so that after a delay the date and STAN are those of the
  // moment the cardholder finishes.
  const std::string answer =
      step_.raw ? *step_.raw
                : server_->answers().Build(step_.code, LocalTime(std::chrono::system_clock::now()),
                                           step_.header, step_.fields);
  const std::vector<std::size_t> cuts =
      step_.split_after_code ? std::vector<std::size_t>{CutAfterCode(answer, step_.header.size())}
                             : step_.pieces;
  pieces_.clear();
  std::size_t from = 0;
  for (const std::size_t cut : cuts) {
    const std::size_t to = std::min(cut, answer.size());
    if (to <= from) continue;
    pieces_.push_back(answer.substr(from, to - from));
    from = to;
  }
  if (from < answer.size() || pieces_.empty()) pieces_.push_back(answer.substr(from));

  std::string shown;
  for (const auto& piece : pieces_) {
    if (!shown.empty()) shown += " + ";
    shown += Quoted(piece);
  }
  Log(request_, scenario_, shown);
  pieces_sent_ = 0;
  SendNextPiece();
}

void SimSession::SendNextPiece() {
  std::string piece = std::move(pieces_.front());
  pieces_.erase(pieces_.begin());
  ++pieces_sent_;
  Write(std::move(piece), pieces_.empty());
}

void SimSession::Write(std::string bytes, bool then_close) {
  sending_ = std::move(bytes);
  asio::async_write(
      socket_, asio::buffer(sending_),
      [self = shared_from_this(), then_close](const std::error_code& error, std::size_t) {
        if (self->closed_) return;
        if (error) {
          self->Abort();  // the peer is gone; its read ends the session
        } else if (then_close) {
          self->Finish();
        } else {
          const auto& pauses = self->step_.pauses;
          const std::size_t gap = self->pieces_sent_ - 1;
          self->After(gap < pauses.size()
                          ? pauses[gap]
                          : self->step_.pause.value_or(self->server_->options().pause),
                      &SimSession::SendNextPiece);
        }
      });
}

void SimSession::Finish() {
  switch (step_.after) {
    case AfterAnswer::Close:
      CloseConnection();
      return;
    case AfterAnswer::Reset:
      ResetConnection();
      return;
    case AfterAnswer::Silence:
      // Open until the client leaves, which the pending read sees.
      After(server_->options().silence_max, &SimSession::CloseConnection);
      return;
  }
}

void SimSession::After(std::chrono::milliseconds wait, void (SimSession::*then)()) {
  const std::uint64_t generation = ++timer_generation_;
  timer_.expires_after(wait);
  timer_.async_wait([self = shared_from_this(), generation, then](const std::error_code& error) {
    if (error || self->closed_ || generation != self->timer_generation_) return;
    ((*self).*then)();
  });
}

void SimSession::ResetConnection() {
  // A zero linger makes the close an RST, which the client sees as a reset.
  std::error_code ignored;
  socket_.set_option(asio::socket_base::linger(true, 0), ignored);
  Abort();
}

void SimSession::CloseConnection() {
  // What was written has been handed to the kernel, which sends it before
  // the FIN.
  Abort();
}

void SimSession::Log(const std::string& request, const std::string& scenario,
                     const std::string& answer) {
  logged_ = true;
  server_->Log(LogTime() + " peer " + peer_ + " request " + Quoted(request) + " scenario " +
               scenario + " answer " + answer);
}

}  // namespace pcpos::sim
