// The simulator's answers as the client reads them: parsed with the core's own
// parser, field by field, and the Solar Hijri stamp on known days.
#include "simulator/answer_builder.h"

#include <gtest/gtest.h>

#include <regex>
#include <tuple>
#include <set>
#include <thread>
#include <vector>

#include "payment/message_format.h"
#include "simulator/scenario.h"

namespace pcpos::sim {
namespace {

CivilTime Local(int y, int m, int d, int hh, int mm) { return CivilTime{y, m, d, hh, mm, 0, 0}; }

CivilTime Now() { return LocalTime(std::chrono::system_clock::now()); }

TEST(AnswerBuilder, ParsesIntoTheExpectedFields) {
  AnswerBuilder builder({}, 123);
  // 24 February 2020 is day 55, at 12:30.
  const std::string answer = builder.Build("30", Local(2020, 2, 24, 12, 30));
  const auto fields = pcpos::ParseResponse(answer);
  ASSERT_TRUE(fields.has_value()) << answer;
  EXPECT_EQ(fields->TerminalNo, "31415926");
  EXPECT_EQ(fields->STAN, "000123");
  EXPECT_EQ(fields->RRN, "005512000123");
  EXPECT_EQ(fields->BatchNo, "001");
  EXPECT_EQ(fields->ResponseType, "00");
  EXPECT_EQ(fields->ResponseCode, "30");
  EXPECT_EQ(fields->CardNo, "123456******7890");
  EXPECT_EQ(fields->BIN, "123456");
  EXPECT_EQ(fields->PAN, "7890");
  EXPECT_EQ(fields->TransactionDate, "1398/12/05");
  EXPECT_EQ(fields->TransactionTime, "12:30");
  // Nothing trails the eighth field.
  EXPECT_TRUE(answer.ends_with("12139812051230")) << answer;
}

TEST(AnswerBuilder, UsesTheGivenHeaderAndIdentity) {
  AnswerBuilder builder({"87654321", "042", "603799******1234"});
  const std::string answer = builder.Build("00", Now(), "@@zrm@@");
  EXPECT_TRUE(answer.starts_with("@@zrm@@0887654321"));
  EXPECT_FALSE(pcpos::ParseResponse(answer).has_value());
  const auto fields = pcpos::ParseResponse("@@ZRM@@" + answer.substr(7));
  ASSERT_TRUE(fields);
  EXPECT_EQ(fields->BatchNo, "042");
  EXPECT_EQ(fields->PAN, "1234");
}

TEST(AnswerBuilder, StanCountsUpAndWrapsWithinSixDigits) {
  AnswerBuilder builder({}, 999998);
  std::vector<std::string> stans;
  for (int i = 0; i < 3; ++i)
    stans.push_back(pcpos::ParseResponse(builder.Build("00", Now()))->STAN);
  EXPECT_EQ(stans, (std::vector<std::string>{"999998", "999999", "000001"}));
}

TEST(AnswerBuilder, StanIsUniqueAcrossThreads) {
  AnswerBuilder builder;
  constexpr int kThreads = 8, kEach = 500;
  std::vector<std::vector<std::string>> seen(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kEach; ++i)
        seen[static_cast<std::size_t>(t)].push_back(builder.Build("00", Now()).substr(19, 6));
    });
  }
  for (auto& thread : threads) thread.join();
  std::set<std::string> all;
  for (const auto& list : seen) all.insert(list.begin(), list.end());
  EXPECT_EQ(all.size(), static_cast<std::size_t>(kThreads * kEach));
  EXPECT_EQ(*all.rbegin(), "004000");
}

TEST(JalaliStamp, KnownDays) {
  struct Case {
    CivilTime when;
    const char* stamp;
  };
  const Case cases[] = {
      {Local(2020, 2, 24, 12, 30), "139812051230"},
      {Local(2024, 3, 20, 0, 0), "140301010000"},    // Nowruz
      {Local(2024, 3, 19, 23, 59), "140212292359"},  // last day of a leap year
      {Local(2026, 12, 8, 9, 5), "140509170905"},
  };
  for (const auto& c : cases) EXPECT_EQ(JalaliStamp(c.when), c.stamp) << c.stamp;
}

TEST(JalaliStamp, NowIsPlausible) {
  const std::string stamp = JalaliStamp(Now());
  EXPECT_TRUE(std::regex_match(
      stamp, std::regex(R"(14\d\d(0[1-9]|1[0-2])(0[1-9]|[12]\d|3[01])([01]\d|2[0-3])[0-5]\d)")))
      << stamp;
}

// The calendar's edges: 1 Farvardin, the last day of Esfand in leap and common
// years, and the first six months' 31st days.
TEST(Jalali, KnownDates) {
  struct Case {
    int y, m, d;
    JalaliDate jalali;
  };
  const Case cases[] = {
      {2025, 3, 20, {1403, 12, 30}},                                 // 30 Esfand: 1403 is leap
      {2025, 3, 21, {1404, 1, 1}},   {2024, 3, 19, {1402, 12, 29}},  // 1402 is not
      {2024, 3, 20, {1403, 1, 1}},   {2017, 3, 20, {1395, 12, 30}},  // 1395 is leap
      {2017, 3, 21, {1396, 1, 1}},   {2021, 3, 20, {1399, 12, 30}},  // 1399 is leap
      {2021, 3, 21, {1400, 1, 1}},   {2026, 3, 20, {1404, 12, 29}}, {2026, 3, 21, {1405, 1, 1}},
      {2026, 9, 22, {1405, 6, 31}},  {2026, 9, 23, {1405, 7, 1}},   {2026, 12, 8, {1405, 9, 17}},
      {1979, 2, 11, {1357, 11, 22}}, {2000, 1, 1, {1378, 10, 11}},  {2029, 3, 20, {1408, 1, 1}},
  };
  for (const auto& c : cases) {
    const JalaliDate got = ToJalali(c.y, c.m, c.d);
    EXPECT_EQ(std::tie(got.year, got.month, got.day),
              std::tie(c.jalali.year, c.jalali.month, c.jalali.day))
        << c.y << "-" << c.m << "-" << c.d << " gave " << got.year << "/" << got.month << "/"
        << got.day;
  }
  for (const int leap : {1375, 1379, 1383, 1387, 1391, 1395, 1399, 1403})
    EXPECT_TRUE(IsJalaliLeapYear(leap)) << leap;
  for (const int common : {1400, 1401, 1402, 1404, 1405})
    EXPECT_FALSE(IsJalaliLeapYear(common)) << common;
}

TEST(Scenarios, ChosenByTheAmountsLastTwoDigits) {
  const std::pair<const char*, Scenario> cases[] = {
      {"1000", Scenario::Approve},     {"250000", Scenario::Approve},
      {"1234", Scenario::Approve},     {"5", Scenario::Approve},
      {"1001", Scenario::Cancelled},   {"1030", Scenario::WrongPin},
      {"1051", Scenario::Declined},    {"1010", Scenario::Delay},
      {"1020", Scenario::TwoSegments}, {"1040", Scenario::BadHeader},
      {"1060", Scenario::Reset},       {"1070", Scenario::CloseWithoutAnswer},
      {"1080", Scenario::Silence},     {"80", Scenario::Silence},
  };
  for (const auto& [amount, scenario] : cases)
    EXPECT_EQ(ScenarioForAmount(amount), scenario) << amount;
}

TEST(Scenarios, NamesAndTriggersAreDistinctAndRoundTrip) {
  std::set<std::string_view> names, triggers;
  for (const auto& info : Scenarios()) {
    EXPECT_TRUE(names.insert(info.name).second) << info.name;
    EXPECT_TRUE(triggers.insert(info.trigger).second) << info.trigger;
    EXPECT_EQ(ScenarioByName(info.name), info.scenario);
    EXPECT_EQ(ScenarioForAmount(std::string("12") + std::string(info.trigger)), info.scenario);
  }
  EXPECT_FALSE(ScenarioByName("Approve"));
}

}  // namespace
}  // namespace pcpos::sim
