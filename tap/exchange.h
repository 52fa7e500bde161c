// One exchange as the tap saw it: what each side sent, piece by piece, and how
// each side ended. ExchangeLog takes the events as the relay meets them, with
// the times it read from its clock, and Finish turns them into the Exchange
// that is printed, journaled and recorded. No sockets here, so every rule can
// be tested with made-up times.
#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "payment/message_format.h"

namespace pcpos::tap {

using Clock = std::chrono::steady_clock;

// A request line has a few dozen bytes; an ECR that sends this many without a
// line end is not sending one.
inline constexpr std::size_t kMaxRequestLine = 4096;
// All an ECR may send on one connection: a request, a stray second one, blanks.
inline constexpr std::size_t kMaxEcrBytes = 64 * 1024;
// Of an answer, this much is kept for the record; the rest is relayed and counted.
inline constexpr std::size_t kMaxAnswerKept = 64 * 1024;
// Pieces beyond this many are counted, not listed.
inline constexpr std::size_t kMaxPiecesKept = 256;
inline constexpr auto kSlowAnswer = std::chrono::seconds(60);

enum class Ending {
  Open,    // still open when the exchange was written down
  Closed,  // an orderly close (FIN)
  Reset,   // a reset (RST), or the connection broke
};
std::string_view EndingName(Ending ending);  // "open", "closed", "reset"

enum class Flag {
  EcrGaveUp,         // the ECR left while the reader worked, and the reader then answered
  RepeatedApproval,  // the same ECR had an approval for the same amount shortly before
  AnswerNotWhole,    // the reader closed with part of an answer
  NoAnswer,          // the reader closed or reset without answering
  SlowAnswer,        // the answer took longer than kSlowAnswer
  MoreAfterAnswer,   // the reader sent bytes after a whole answer
  WholeCardNumber,   // the answer's card number is not masked
  CutOff,            // the ECR sent past the limits and was cut off
};
// "ecr-gave-up", "repeated-approval", ...: the names in JSON, CSV and text.
std::string_view FlagName(Flag flag);

struct FlagNote {
  Flag flag;
  std::string detail;  // for people; the card number never appears in it
  bool operator==(const FlagNote&) const = default;
};

struct AnswerPiece {
  std::size_t bytes = 0;
  double after_ms = 0;  // since the previous piece; the first: since the request went out
};

// Milliseconds since the ECR connected; none for what did not happen.
struct ExchangeTimings {
  std::optional<double> reader_connected_ms;
  std::optional<double> request_in_ms;   // the request's line end arrived from the ECR
  std::optional<double> request_out_ms;  // ... and was handed to the reader's connection
  std::optional<double> first_byte_ms;   // of the answer
  std::optional<double> answer_ms;       // the answer whole
  std::optional<double> ecr_closed_ms;
  std::optional<double> reader_closed_ms;
};

struct Exchange {
  std::chrono::system_clock::time_point started;
  std::string ecr;               // the ECR's address and port
  std::string ecr_host;          // its address alone: the same ECR on its next connection
  std::string request;           // as received, up to the limit, line end included
  std::string request_problem;   // empty when the request is valid in the reader's format
  std::string amount;            // when the request's amount field could be read
  std::string reader_error;      // why the reader could not be reached
  std::string answer;            // as received (card number masked), up to kMaxAnswerKept
  std::size_t answer_bytes = 0;  // all of it, kept or not
  std::vector<AnswerPiece> pieces;
  std::size_t piece_count = 0;
  std::optional<ResponseFields> fields;  // card number masked
  std::optional<ResultLine> result;
  Outcome outcome = Outcome::NotSent;
  ExchangeTimings timings;
  Ending ecr_end = Ending::Open;
  Ending reader_end = Ending::Open;
  bool reader_left_first = false;  // the reader ended before the ECR did
  std::vector<FlagNote> flags;

  bool Has(Flag flag) const;
};

// Keeps the latest approval per ECR address and amount, to see a payment
// approved twice. Bounded: entries past the window go when it fills up.
class ApprovalHistory {
 public:
  static constexpr auto kWindow = std::chrono::minutes(5);
  static constexpr std::size_t kMaxKept = 4096;

  // The latest approval for this ECR and amount no more than kWindow before `at`.
  std::optional<Clock::time_point> Earlier(const std::string& ecr_host, const std::string& amount,
                                           Clock::time_point at) const;
  void Add(const std::string& ecr_host, const std::string& amount, Clock::time_point at);

 private:
  // The latest approval per ECR address and amount.
  std::unordered_map<std::string, Clock::time_point> latest_;
};

class ExchangeLog {
 public:
  ExchangeLog(std::string ecr, std::string ecr_host, std::chrono::system_clock::time_point wall,
              Clock::time_point at);

  void ReaderConnected(Clock::time_point at);
  void ReaderUnreachable(std::string why);

  // Bytes from the ECR. False when the ECR has gone past the limits: the
  // relay then cuts it off, and does not pass these bytes on.
  bool FromEcr(std::string_view bytes, Clock::time_point at);
  // `bytes` more of the ECR's have been handed to the reader's connection.
  void ToReader(std::size_t bytes, Clock::time_point at);
  void FromReader(std::string_view bytes, Clock::time_point at);
  void EcrEnded(Ending ending, Clock::time_point at);
  void ReaderEnded(Ending ending, Clock::time_point at);

  bool cut_off() const { return cut_off_; }

  // The exchange as it stands, decoded, with its flags; an approval is added to
  // the history for the exchanges after it.
  Exchange Finish(ApprovalHistory& history);

 private:
  double Ms(Clock::time_point at) const;
  void DecodeRequest();
  void Flag(pcpos::tap::Flag flag, std::string detail);

  Exchange x_;
  Clock::time_point connected_;
  std::string ecr_bytes_;  // up to kMaxEcrBytes
  std::size_t forwarded_ = 0;
  std::optional<std::size_t> line_end_;       // offset of the first LF
  std::string answer_;                        // unmasked, up to kMaxAnswerKept
  std::optional<std::size_t> answer_length_;  // of the whole answer, leading blanks included
  std::size_t extra_bytes_ = 0;               // after the whole answer
  std::optional<Clock::time_point> first_byte_at_;
  std::optional<Clock::time_point> last_piece_at_;
  std::optional<Clock::time_point> request_out_at_;
  std::optional<Clock::time_point> answer_at_;  // whole, or the last byte
  std::optional<Clock::time_point> ecr_ended_at_;
  std::optional<Clock::time_point> reader_ended_at_;
  bool cut_off_ = false;
  std::string cut_reason_;
};

}  // namespace pcpos::tap
