#include "acceptance/report.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "acceptance/sha256.h"
#include "tests/acceptance/fakes.h"

namespace pcpos::acceptance {
namespace {

using fakes::Answer;
using fakes::Answered;

TEST(Sha256, KnownDigests) {
  EXPECT_EQ(Sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(Sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  // 56 bytes: the length no longer fits the first block's tail.
  EXPECT_EQ(Sha256Hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  EXPECT_EQ(Sha256Hex(std::string(1000000, 'a')),
            "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

// A run of two cases whose reader is rogue: markup in its terminal number and
// a formula and a whole card number in the second answer.
struct RogueRun {
  fakes::FakeClock clock;
  AcceptanceRun run;

  RogueRun()
      : run(MakeSuite(), RunInfo{"1.0.0", "127.0.0.1", "9053", "/tmp/", "qa.json", ""},
            std::ref(clock), fakes::Utc) {
    Answer first;
    first.terminal = "<script>alert(1)</script>";
    run.Record(run.InputsForCurrent(), Answered(first), clock.now, std::nullopt);
    Answer second;
    second.stan = "000002";
    second.rrn = "=HYPERLINK(\"x\")";
    second.card = "6037991234567890";
    second.code = "51";
    run.Record(run.InputsForCurrent(), Answered(second), clock.now, std::nullopt);
  }

  static Suite MakeSuite() {
    Suite suite;
    suite.name = "QA <b>list</b>";
    suite.cases = {
        SuiteCase{"approve", "پرداخت موفق", "کارت را بکشید", "1000",
                  Expectation{{Outcome::Approved}, {}, 90}},
        SuiteCase{"=cmd|' /C calc'!A0", "two\nlines", "", "1051",
                  Expectation{{Outcome::Approved}, {}, std::nullopt}},
    };
    return suite;
  }
};

TEST(HtmlReport, WhatTheReaderSentShowsAndRunsNothing) {
  RogueRun rogue;
  const std::string html = HtmlReport(rogue.run);
  EXPECT_EQ(html.find("<script"), std::string::npos);
  EXPECT_NE(html.find("&lt;script&gt;alert(1)&lt;/script&gt;"), std::string::npos);
  EXPECT_EQ(html.find("<b>list"), std::string::npos);
  EXPECT_EQ(html.find("6037991234567890"), std::string::npos);
  EXPECT_NE(html.find("603799******7890"), std::string::npos);
  // Nothing fetched from elsewhere.
  EXPECT_EQ(html.find("src="), std::string::npos);
  EXPECT_EQ(html.find("href="), std::string::npos);
  EXPECT_EQ(html.find("@import"), std::string::npos);
  // The digest of this run's rows, and the lines to sign.
  EXPECT_NE(html.find(Sha256Hex(rogue.run.JournalRows())), std::string::npos);
  for (const char* line : {"technician's name", "shop", "date", "signature", "<svg"}) {
    EXPECT_NE(html.find(line), std::string::npos) << line;
  }
}

TEST(HtmlEscape, EveryMarkupCharacter) {
  EXPECT_EQ(HtmlEscape("<a href='x'>\"&\"</a>"),
            "&lt;a href=&#39;x&#39;&gt;&quot;&amp;&quot;&lt;/a&gt;");
  EXPECT_EQ(HtmlEscape(std::string("a\0b\x1b", 4)), "a\\x00b\\x1B");
  EXPECT_EQ(HtmlEscape("رمز نادرست"), "رمز نادرست");
}

TEST(CsvRunSheet, OneLinePerCaseAndNoFormula) {
  RogueRun rogue;
  const std::string sheet = CsvRunSheet(rogue.run);
  std::size_t lines = 0;
  for (std::size_t at = sheet.find("\r\n"); at != std::string::npos;
       at = sheet.find("\r\n", at + 2)) {
    ++lines;
  }
  EXPECT_EQ(lines, 3U);
  EXPECT_EQ(sheet.find('\n'), sheet.find("\r\n") + 1);
  EXPECT_NE(sheet.find("\r\n'=cmd|"), std::string::npos) << sheet;
  EXPECT_NE(sheet.find("two\\x0Alines"), std::string::npos) << sheet;
  EXPECT_NE(sheet.find(",failed,"), std::string::npos) << sheet;
}

TEST(JsonReport, TheLinesAsOneDocumentWithTheCardMasked) {
  RogueRun rogue;
  const ReportPaths paths = ReportPathsIn("/tmp/", fakes::Dawn(), fakes::Utc);
  EXPECT_EQ(paths.html, "/tmp/acceptance-20261209-060000.html");
  EXPECT_EQ(paths.csv, "/tmp/acceptance-20261209-060000.csv");
  const auto document = nlohmann::json::parse(JsonReport(rogue.run, paths));
  ASSERT_EQ(document["cases"].size(), 2U);
  const auto& second = document["cases"][1];
  EXPECT_EQ(second["verdict"], "failed");
  EXPECT_EQ(second["expect"]["outcome"][0], "approved");
  EXPECT_EQ(second["payment"]["fields"]["CardNo"], "603799******7890");
  EXPECT_EQ(second["payment"]["raw"].get<std::string>().find("6037991234567890"),
            std::string::npos);
  const auto& summary = document["summary"];
  EXPECT_EQ(summary["result"], "failed");
  EXPECT_EQ(summary["report"]["json"], paths.json);
  std::vector<std::string> failed_checks;
  for (const auto& c : summary["checks"]) {
    if (c["state"] == "failed") failed_checks.push_back(c["id"]);
  }
  EXPECT_EQ(failed_checks, (std::vector<std::string>{"terminal", "card-number"}));
}

}  // namespace
}  // namespace pcpos::acceptance
