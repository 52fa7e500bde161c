// Answers and clocks for the acceptance tests: a reader's answer built from
// its fields, a payment report around it, and a clock that shows UTC.
#pragma once

#include <chrono>
#include <string>

#include "payment/message_format.h"
#include "payment/transaction.h"
#include "text/civil_time.h"

namespace pcpos::acceptance::fakes {

inline std::string Field(const std::string& value) {
  // Appended, not prepended: GCC 12's -Wrestrict misreads an insert at the front (MinGW, -O2).
  std::string field(value.size() < 10 ? "0" : "");
  field += std::to_string(value.size());
  return field + value;
}

struct Answer {
  std::string terminal = "31415926";
  std::string stan = "000001";
  std::string rrn = "534314000001";
  std::string code = "00";
  std::string card = "123456******7890";
  std::string stamp = "140509180600";  // 1405/09/18 06:00, as Dawn() below

  std::string Text() const {
    return "@@ZRM@@" + Field(terminal) + Field(stan) + Field(rrn) + Field("001") + Field("00") +
           Field(code) + Field(card) + Field(stamp);
  }
};

// What the transaction reports for an answer read whole, `answer_ms` after the start.
inline PaymentReport Answered(const Answer& a, double answer_ms = 800) {
  PaymentReport r;
  r.request = BuildPurchaseRequest("1000");
  r.answer = a.Text();
  r.fields = ParseResponse(r.answer);
  r.result = ResultLineFor(r.fields->ResponseCode);
  r.outcome = r.result->outcome;
  r.timings.connect_ms = 1;
  r.timings.answer_ms = answer_ms;
  return r;
}

// The request went out and nothing came back.
inline PaymentReport Unanswered() {
  PaymentReport r;
  r.request = BuildPurchaseRequest("1060");
  r.outcome = Outcome::Unknown;
  r.error = "Socket Error # 10054\r\nConnection reset by peer.";
  r.error_code = 10054;
  r.timings.connect_ms = 1;
  return r;
}

// 2026-12-09 06:00:00 UTC, which is 1405/09/18 (the day the fake answers carry).
inline std::chrono::system_clock::time_point Dawn() {
  using namespace std::chrono;
  return sys_days{year{2026} / December / 9} + hours{6};
}

// The wall clock as UTC, whatever zone the machine is in.
inline CivilTime Utc(std::chrono::system_clock::time_point when) {
  using namespace std::chrono;
  const auto day = floor<days>(when);
  const year_month_day ymd{day};
  const hh_mm_ss hms{floor<milliseconds>(when - day)};
  CivilTime t;
  t.year = static_cast<int>(ymd.year());
  t.month = static_cast<int>(static_cast<unsigned>(ymd.month()));
  t.day = static_cast<int>(static_cast<unsigned>(ymd.day()));
  t.hour = static_cast<int>(hms.hours().count());
  t.minute = static_cast<int>(hms.minutes().count());
  t.second = static_cast<int>(hms.seconds().count());
  t.millisecond = static_cast<int>(hms.subseconds().count());
  return t;
}

// A clock the test moves.
struct FakeClock {
  std::chrono::system_clock::time_point now = Dawn();
  std::chrono::system_clock::time_point operator()() const { return now; }
};

}  // namespace pcpos::acceptance::fakes
