// Builds the reader's answers: header, then terminal number, STAN, RRN, batch,
// response type, response code, card number and the Solar Hijri date and time,
// each behind a two-digit length prefix.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "text/civil_time.h"

namespace pcpos::sim {

inline constexpr std::string_view kAnswerHeader = "@@ZRM@@";
inline constexpr std::string_view kResponseType = "00";

struct ReaderIdentity {
  std::string terminal_no = "31415926";      // 8 digits
  std::string batch_no = "001";              // 3 digits
  std::string card_no = "123456******7890";  // masked, as readers print it
};

// Values put in place of the generated ones, field by field; a script uses
// them to play a reader with odd numbers or a wrong clock.
struct AnswerOverrides {
  std::optional<std::string> terminal_no;
  std::optional<std::string> stan;
  std::optional<std::string> rrn;
  std::optional<std::string> batch_no;
  std::optional<std::string> response_type;
  std::optional<std::string> card_no;
  std::optional<std::string> date_time;
};

class AnswerBuilder {
 public:
  explicit AnswerBuilder(ReaderIdentity identity = {}, std::uint32_t first_stan = 1);

  // One answer; each call takes the next STAN, from any thread, even when
  // `overrides` replaces it.
  std::string Build(std::string_view code, const CivilTime& when,
                    std::string_view header = kAnswerHeader, const AnswerOverrides& overrides = {});

  const ReaderIdentity& identity() const { return identity_; }

 private:
  ReaderIdentity identity_;
  std::atomic<std::uint32_t> stan_counter_;
};

// YYYYMMDDHHMM of a local time in the Solar Hijri calendar.
std::string JalaliStamp(const CivilTime& when);

// Two-digit length prefix and the value (values here are shorter than 100).
std::string Field(std::string_view value);

}  // namespace pcpos::sim
