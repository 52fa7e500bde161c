#include "simulator/answer_builder.h"

#include <QCalendar>
#include <QDateTime>

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
std::string Rrn(const QDateTime& when, std::uint32_t stan) {
  const QDate date = when.date();
  return Digits(static_cast<unsigned>(date.year() % 10), 1) +
         Digits(static_cast<unsigned>(date.dayOfYear()), 3) +
         Digits(static_cast<unsigned>(when.time().hour()), 2) + Digits(stan, 6);
}

}  // namespace

AnswerBuilder::AnswerBuilder(ReaderIdentity identity, std::uint32_t first_stan)
    : identity_(std::move(identity)), stan_counter_(first_stan == 0 ? 0 : first_stan - 1) {}

std::string AnswerBuilder::Build(std::string_view code, const QDateTime& when, std::string_view header,
                                 const AnswerOverrides& overrides) {
  const std::uint32_t stan = stan_counter_.fetch_add(1, std::memory_order_relaxed) % kStanModulus + 1;
  const QDateTime local = when.toLocalTime();
  std::string answer(header);
  answer += Field(overrides.terminal_no.value_or(identity_.terminal_no));
  answer += Field(overrides.stan.value_or(Digits(stan, 6)));
  answer += Field(overrides.rrn.value_or(Rrn(local, stan)));
  answer += Field(overrides.batch_no.value_or(identity_.batch_no));
  answer += Field(overrides.response_type.value_or(std::string(kResponseType)));
  answer += Field(code);
  answer += Field(overrides.card_no.value_or(identity_.card_no));
  answer += Field(overrides.date_time.value_or(JalaliStamp(local)));
  return answer;
}

std::string JalaliStamp(const QDateTime& when) {
  const QCalendar jalali(QCalendar::System::Jalali);
  const QDateTime local = when.toLocalTime();
  const QDate date = local.date();
  const QTime time = local.time();
  return Digits(static_cast<unsigned>(date.year(jalali)), 4) +
         Digits(static_cast<unsigned>(date.month(jalali)), 2) +
         Digits(static_cast<unsigned>(date.day(jalali)), 2) +
         Digits(static_cast<unsigned>(time.hour()), 2) +
         Digits(static_cast<unsigned>(time.minute()), 2);
}

std::string Field(std::string_view value) {
  return Digits(value.size() % 100, 2) + std::string(value);
}

}  // namespace pcpos::sim
