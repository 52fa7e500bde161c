#include "tap/exchange.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "payment/card_mask.h"
#include "simulator/request_check.h"
#include "text/text.h"

namespace pcpos::tap {
namespace {

std::string_view TrimLeadingControl(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && static_cast<unsigned char>(text[i]) <= 32) ++i;
  return text.substr(i);
}

// The answer with its card number masked; blanks before it are not part of
// it, and stay as they came.
std::string MaskedAnswer(std::string_view answer) {
  const std::string_view text = TrimLeadingControl(answer);
  return std::string(answer.substr(0, answer.size() - text.size())) + MaskCardInAnswer(text);
}

std::string Seconds(Clock::duration d) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f s", std::chrono::duration<double>(d).count());
  return text;
}

// The shortest beginning of the text that is a whole answer. Whole stays whole
// as bytes are added, so a binary search over the lengths finds it.
std::size_t WholeAnswerLength(std::string_view text) {
  std::size_t low = kMessageHeader.size();
  std::size_t high = text.size();
  while (low < high) {
    const std::size_t mid = low + (high - low) / 2;
    if (IsCompleteResponse(text.substr(0, mid))) {
      high = mid;
    } else {
      low = mid + 1;
    }
  }
  return high;
}

std::string CodeAndOutcome(const Exchange& x) {
  std::string text = "code ";
  text += x.fields ? x.fields->ResponseCode : std::string("(none)");
  text += " (";
  text += OutcomeName(x.outcome);
  text += ")";
  return text;
}

}  // namespace

std::string_view EndingName(Ending ending) {
  switch (ending) {
    case Ending::Open:
      return "open";
    case Ending::Closed:
      return "closed";
    case Ending::Reset:
      return "reset";
  }
  return "open";
}

std::string_view FlagName(Flag flag) {
  switch (flag) {
    case Flag::EcrGaveUp:
      return "ecr-gave-up";
    case Flag::RepeatedApproval:
      return "repeated-approval";
    case Flag::AnswerNotWhole:
      return "answer-not-whole";
    case Flag::NoAnswer:
      return "no-answer";
    case Flag::SlowAnswer:
      return "slow-answer";
    case Flag::MoreAfterAnswer:
      return "more-after-answer";
    case Flag::WholeCardNumber:
      return "whole-card-number";
    case Flag::CutOff:
      return "cut-off";
  }
  return "";
}

bool Exchange::Has(pcpos::tap::Flag flag) const {
  return std::any_of(flags.begin(), flags.end(),
                     [flag](const FlagNote& note) { return note.flag == flag; });
}

namespace {
std::string HistoryKey(const std::string& ecr_host, const std::string& amount) {
  return ecr_host + '\n' + amount;
}
}  // namespace

std::optional<Clock::time_point> ApprovalHistory::Earlier(const std::string& ecr_host,
                                                          const std::string& amount,
                                                          Clock::time_point at) const {
  const auto it = latest_.find(HistoryKey(ecr_host, amount));
  if (it == latest_.end() || it->second > at || at - it->second > kWindow) return std::nullopt;
  return it->second;
}

void ApprovalHistory::Add(const std::string& ecr_host, const std::string& amount,
                          Clock::time_point at) {
  if (latest_.size() >= kMaxKept) {
    std::erase_if(latest_, [at](const auto& entry) { return at - entry.second > kWindow; });
    // Still full of approvals within the window: the oldest goes.
    if (latest_.size() >= kMaxKept) {
      auto oldest = latest_.begin();
      for (auto it = latest_.begin(); it != latest_.end(); ++it) {
        if (it->second < oldest->second) oldest = it;
      }
      latest_.erase(oldest);
    }
  }
  auto& latest = latest_[HistoryKey(ecr_host, amount)];
  if (latest < at) latest = at;
}

ExchangeLog::ExchangeLog(std::string ecr, std::string ecr_host,
                         std::chrono::system_clock::time_point wall, Clock::time_point at)
    : connected_(at) {
  x_.started = wall;
  x_.ecr = std::move(ecr);
  x_.ecr_host = std::move(ecr_host);
}

double ExchangeLog::Ms(Clock::time_point at) const {
  return std::chrono::duration<double, std::milli>(at - connected_).count();
}

void ExchangeLog::ReaderConnected(Clock::time_point at) { x_.timings.reader_connected_ms = Ms(at); }

void ExchangeLog::ReaderUnreachable(std::string why) { x_.reader_error = std::move(why); }

bool ExchangeLog::FromEcr(std::string_view bytes, Clock::time_point at) {
  if (cut_off_) return false;
  const std::size_t from = ecr_bytes_.size();
  if (from + bytes.size() > kMaxEcrBytes) {
    cut_off_ = true;
    cut_reason_ = "the ECR sent more than " + std::to_string(kMaxEcrBytes) +
                  " bytes on one connection: cut off";
    return false;
  }
  if (!line_end_) {
    if (const std::size_t end = bytes.find('\n'); end != std::string_view::npos) {
      line_end_ = from + end;
      x_.timings.request_in_ms = Ms(at);
    } else if (from + bytes.size() > kMaxRequestLine) {
      // Kept up to the limit: enough to show what it was.
      ecr_bytes_.append(bytes.substr(0, kMaxRequestLine - std::min(from, kMaxRequestLine)));
      cut_off_ = true;
      cut_reason_ = "the request line grew past " + std::to_string(kMaxRequestLine) +
                    " bytes without a line end: cut off";
      return false;
    }
  }
  ecr_bytes_.append(bytes);
  return true;
}

void ExchangeLog::ToReader(std::size_t bytes, Clock::time_point at) {
  forwarded_ += bytes;
  if (line_end_ && !request_out_at_ && forwarded_ > *line_end_) {
    request_out_at_ = at;
    x_.timings.request_out_ms = Ms(at);
  }
}

void ExchangeLog::FromReader(std::string_view bytes, Clock::time_point at) {
  if (bytes.empty()) return;
  if (!first_byte_at_) {
    first_byte_at_ = at;
    x_.timings.first_byte_ms = Ms(at);
  }
  ++x_.piece_count;
  if (x_.pieces.size() < kMaxPiecesKept) {
    const std::optional<Clock::time_point> since =
        last_piece_at_ ? last_piece_at_ : request_out_at_;
    const double after =
        since ? std::chrono::duration<double, std::milli>(at - *since).count() : 0.0;
    x_.pieces.push_back({bytes.size(), after});
  }
  last_piece_at_ = at;
  x_.answer_bytes += bytes.size();
  if (answer_length_) {
    extra_bytes_ += bytes.size();
    return;
  }
  const std::size_t room = kMaxAnswerKept - std::min(kMaxAnswerKept, answer_.size());
  answer_.append(bytes.substr(0, room));
  answer_at_ = at;
  const std::string_view trimmed = TrimLeadingControl(answer_);
  if (IsCompleteResponse(trimmed)) {
    const std::size_t blanks = answer_.size() - trimmed.size();
    answer_length_ = blanks + WholeAnswerLength(trimmed);
    x_.timings.answer_ms = Ms(at);
    extra_bytes_ = x_.answer_bytes - *answer_length_;
  }
}

void ExchangeLog::EcrEnded(Ending ending, Clock::time_point at) {
  if (ecr_ended_at_) {
    // A close followed by a reset (the ECR had gone when its answer came):
    // the reset is what it did in the end, the time is when it left.
    if (ending == Ending::Reset) x_.ecr_end = Ending::Reset;
    return;
  }
  ecr_ended_at_ = at;
  x_.ecr_end = ending;
  x_.timings.ecr_closed_ms = Ms(at);
}

void ExchangeLog::ReaderEnded(Ending ending, Clock::time_point at) {
  if (reader_ended_at_) {
    if (ending == Ending::Reset) x_.reader_end = Ending::Reset;
    return;
  }
  reader_ended_at_ = at;
  x_.reader_end = ending;
  x_.timings.reader_closed_ms = Ms(at);
}

void ExchangeLog::Flag(pcpos::tap::Flag flag, std::string detail) {
  x_.flags.push_back({flag, std::move(detail)});
}

void ExchangeLog::DecodeRequest() {
  const std::string_view bytes = ecr_bytes_;
  x_.request = ecr_bytes_;
  if (bytes.empty()) {
    x_.request_problem = "no request: the ECR sent nothing";
    return;
  }
  std::string_view line = bytes.substr(0, line_end_.value_or(bytes.size()));
  std::string problem;
  if (!line_end_) {
    problem = "not one line: no line end";
  } else if (!line.ends_with('\r')) {
    problem = "not one line: LF without CR";
  } else {
    line.remove_suffix(1);
  }
  if (problem.empty() && line.find_first_of("\r\n") != std::string_view::npos) {
    problem = "not one line: a CR inside it";
  }
  const sim::RequestCheck check = sim::CheckRequest(line);
  if (!check.amount.empty() || check.ok()) x_.amount = check.amount;
  if (problem.empty() && !check.ok()) problem = check.describe();
  if (problem.empty() && line_end_ && *line_end_ + 1 < bytes.size()) {
    const std::string_view after = bytes.substr(*line_end_ + 1);
    problem = TrimLeadingControl(after).starts_with(kMessageHeader)
                  ? "a second request on the connection"
                  : "bytes after the line (" + std::to_string(after.size()) + ")";
  }
  x_.request_problem = std::move(problem);
}

Exchange ExchangeLog::Finish(ApprovalHistory& history) {
  DecodeRequest();
  const bool reached_reader = x_.reader_error.empty() && x_.timings.reader_connected_ms;
  const bool request_out = request_out_at_.has_value() || (reached_reader && forwarded_ > 0);

  // The answer as the client reads it: leading and trailing blanks trimmed.
  const std::string_view whole =
      std::string_view(answer_).substr(0, answer_length_.value_or(answer_.size()));
  x_.answer = MaskedAnswer(answer_);
  if (!answer_.empty()) {
    const std::string text(TrimControl(whole));
    if (auto fields = ParseResponse(text)) {
      ResultLine line = ResultLineFor(fields->ResponseCode);
      if (line.outcome == Outcome::Approved && !answer_length_) {
        line = ResultLine{std::string(kHeaderMismatchText), Outcome::Unknown};
      }
      if (ShowsWholeCardNumber(fields->CardNo)) {
        Flag(Flag::WholeCardNumber, "the card number field shows " +
                                        std::to_string(ReadableDigits(fields->CardNo)) +
                                        " digits; every copy here is masked");
      }
      x_.fields = MaskCardInFields(*fields);
      x_.result = line;
    } else {
      x_.result = ResultLine{std::string(kHeaderMismatchText), Outcome::Unknown};
    }
    x_.outcome = x_.result->outcome;
  } else {
    x_.outcome = request_out ? Outcome::Unknown : Outcome::NotSent;
  }

  if (cut_off_) Flag(Flag::CutOff, cut_reason_);

  const bool answered = !answer_.empty();
  // The ECR left first, while the reader was still working on its request.
  if (request_out && answered && ecr_ended_at_ && *ecr_ended_at_ < *first_byte_at_) {
    Flag(Flag::EcrGaveUp,
         std::string("the ECR ") + (x_.ecr_end == Ending::Reset ? "reset" : "closed") +
             " its connection before the answer; the reader answered " + CodeAndOutcome(x_) + " " +
             Seconds(*first_byte_at_ - *ecr_ended_at_) + " later");
  }

  if (x_.outcome == Outcome::Approved && !x_.amount.empty() && answer_at_) {
    if (const auto earlier = history.Earlier(x_.ecr_host, x_.amount, *answer_at_)) {
      Flag(Flag::RepeatedApproval, "amount " + x_.amount + " was approved for this ECR " +
                                       Seconds(*answer_at_ - *earlier) + " earlier");
    }
    history.Add(x_.ecr_host, x_.amount, *answer_at_);
  }

  x_.reader_left_first =
      reader_ended_at_ && (!ecr_ended_at_ || *reader_ended_at_ <= *ecr_ended_at_);
  if (answered && !answer_length_ && reader_ended_at_ &&
      !HeaderMismatches(TrimLeadingControl(answer_))) {
    Flag(Flag::AnswerNotWhole, "the reader " + std::string(EndingName(x_.reader_end)) +
                                   " the connection after " + std::to_string(x_.answer_bytes) +
                                   " bytes of an answer that was not whole");
  }
  if (request_out && !answered && reader_ended_at_ && x_.reader_left_first) {
    const Clock::time_point since = request_out_at_.value_or(connected_);
    Flag(Flag::NoAnswer, "the reader " + std::string(EndingName(x_.reader_end)) +
                             " the connection without answering, " +
                             Seconds(*reader_ended_at_ - since) + " after the request");
  }
  if (answered && request_out_at_ && answer_at_ && *answer_at_ - *request_out_at_ > kSlowAnswer) {
    Flag(Flag::SlowAnswer, "the answer took " + Seconds(*answer_at_ - *request_out_at_));
  }
  if (extra_bytes_ > 0) {
    Flag(Flag::MoreAfterAnswer,
         "the reader sent " + std::to_string(extra_bytes_) + " more bytes after its answer");
  }
  return x_;
}

}  // namespace pcpos::tap
