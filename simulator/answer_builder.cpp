#include "simulator/answer_builder.h"

#include <cstdio>
#include <utility>

namespace pcpos::sim {
namespace {

constexpr std::uint32_t kStanModulus = 999'999;  // six digits, never 000000

std::string Digits(unsigned long long value, int width) {
  char buffer[24];
  std::snprintf(buffer, sizeof buffer, "%0*llu", width, value);
  return buffer;
}

// The usual retrieval reference: last digit of the year, day of the year,
// hour, then the STAN, so it is unique per terminal for a decade.
std::string Rrn(const CivilTime& when, std::uint32_t stan) {
  return Digits(static_cast<unsigned>(when.year % 10), 1) +
         Digits(static_cast<unsigned>(DayOfYear(when.year, when.month, when.day)), 3) +
         Digits(static_cast<unsigned>(when.hour), 2) + Digits(stan, 6);
}

}  // namespace

AnswerBuilder::AnswerBuilder(ReaderIdentity identity, std::uint32_t first_stan)
    : identity_(std::move(identity)), stan_counter_(first_stan == 0 ? 0 : first_stan - 1) {}

std::string AnswerBuilder::Build(std::string_view code, const CivilTime& when,
                                 std::string_view header, const AnswerOverrides& overrides) {
  const std::uint32_t stan =
      stan_counter_.fetch_add(1, std::memory_order_relaxed) % kStanModulus + 1;
  std::string answer(header);
  answer += Field(overrides.terminal_no.value_or(identity_.terminal_no));
  answer += Field(overrides.stan.value_or(Digits(stan, 6)));
  answer += Field(overrides.rrn.value_or(Rrn(when, stan)));
  answer += Field(overrides.batch_no.value_or(identity_.batch_no));
  answer += Field(overrides.response_type.value_or(std::string(kResponseType)));
  answer += Field(code);
  answer += Field(overrides.card_no.value_or(identity_.card_no));
  answer += Field(overrides.date_time.value_or(JalaliStamp(when)));
  return answer;
}

std::string JalaliStamp(const CivilTime& when) {
  const JalaliDate date = ToJalali(when.year, when.month, when.day);
  return Digits(static_cast<unsigned>(date.year), 4) +
         Digits(static_cast<unsigned>(date.month), 2) + Digits(static_cast<unsigned>(date.day), 2) +
         Digits(static_cast<unsigned>(when.hour), 2) +
         Digits(static_cast<unsigned>(when.minute), 2);
}

std::string Field(std::string_view value) {
  return Digits(value.size() % 100, 2) + std::string(value);
}

}  // namespace pcpos::sim
