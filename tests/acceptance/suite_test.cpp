#include "acceptance/suite.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace pcpos::acceptance {
namespace {

std::string ErrorOf(const std::string& text) {
  Suite suite;
  std::string error;
  EXPECT_FALSE(ParseSuite(text, suite, error)) << text;
  return error;
}

TEST(SuiteFile, ReadsEveryKey) {
  Suite suite;
  std::string error;
  ASSERT_TRUE(ParseSuite(R"({"name": "QA list", "cases": [
      {"id": "approve", "title": "Approve", "prompt": "کارت را بکشید", "amount": "1000",
       "expect": {"outcome": ["approved"]}},
      {"id": "wrong-pin", "amount": "1030",
       "expect": {"outcome": ["declined", "unknown"], "response_code": ["30", "55"],
                  "max_answer_s": 90}}]})",
                         suite, error))
      << error;
  EXPECT_EQ(suite.name, "QA list");
  ASSERT_EQ(suite.cases.size(), 2U);
  EXPECT_EQ(suite.cases[0].prompt, "کارت را بکشید");
  EXPECT_EQ(suite.cases[0].expect.outcomes, std::vector<Outcome>{Outcome::Approved});
  EXPECT_FALSE(suite.cases[0].expect.max_answer_s);
  EXPECT_EQ(suite.cases[1].title, "");
  EXPECT_EQ(suite.cases[1].expect.outcomes,
            (std::vector<Outcome>{Outcome::Declined, Outcome::Unknown}));
  EXPECT_EQ(suite.cases[1].expect.response_codes, (std::vector<std::string>{"30", "55"}));
  EXPECT_EQ(suite.cases[1].expect.max_answer_s, 90.0);
}

// Each fault names the case (position from 1, and id when readable) and the key.
TEST(SuiteFile, FaultsNameTheCaseAndTheKey) {
  const std::string ok = R"("expect": {"outcome": ["approved"]})";
  const struct {
    std::string text;
    std::string message;
  } faults[] = {
      {"{\"cases\": [", "not JSON: "},
      {"[]", "the suite must be an object"},
      {R"({"cases": [], "nmae": "x"})", "unknown key \"nmae\" at the top"},
      {R"({"name": 5, "cases": []})", "\"name\" must be a string, not 5"},
      {R"({"name": "x"})", "\"cases\" is missing"},
      {R"({"cases": []})", "\"cases\" holds no case"},
      {R"({"cases": [{"id": "a", "amount": "1", )" + ok + R"(, "amout": "2"}]})",
       "case 1 (\"a\"): unknown key \"amout\""},
      {R"({"cases": [{"id": "a", "amount": "1", )" + ok + R"(}, {"amount": "2", )" + ok + "}]}",
       "case 2: \"id\" is missing"},
      {R"({"cases": [{"id": "a", )" + ok + "}]}", "case 1 (\"a\"): \"amount\" is missing"},
      {R"({"cases": [{"id": "a", "amount": 1000, )" + ok + "}]}",
       "case 1 (\"a\"): \"amount\" must be a string, not 1000"},
      {R"({"cases": [{"id": 7, "amount": "1", )" + ok + "}]}",
       "case 1: \"id\" must be a string, not 7"},
      {R"({"cases": [{"id": "a", "amount": "1"}]})", "case 1 (\"a\"): \"expect\" is missing"},
      {R"({"cases": [{"id": "a", "amount": "1", "expect": {}}]})",
       "case 1 (\"a\"): \"expect\".\"outcome\" is missing"},
      {R"({"cases": [{"id": "a", "amount": "1", "expect": {"outcome": "approved"}}]})",
       "case 1 (\"a\"): \"expect\".\"outcome\" must be a list of strings, not string"},
      {R"({"cases": [{"id": "a", "amount": "1", "expect": {"outcome": ["paid"]}}]})",
       "case 1 (\"a\"): \"expect\".\"outcome\" holds \"paid\""},
      {R"({"cases": [{"id": "a", "amount": "1", "expect": {"outcome": ["approved"],
           "response_code": [30]}}]})",
       "case 1 (\"a\"): \"expect\".\"response_code\"[0] must be a string, not 30"},
      {R"({"cases": [{"id": "a", "amount": "1", "expect": {"outcome": ["approved"],
           "max_answer_s": "90"}}]})",
       "case 1 (\"a\"): \"expect\".\"max_answer_s\" must be a number of seconds, not string"},
      {R"({"cases": [{"id": "a", "amount": "1", "expect": {"outcome": ["approved"],
           "timeout": 3}}]})",
       "case 1 (\"a\"): unknown key \"expect\".\"timeout\""},
      {R"({"cases": [{"id": "a", "amount": "1", )" + ok + R"(}, {"id": "a", "amount": "2", )" + ok +
           "}]}",
       "case 2: \"id\" \"a\" is already the id of an earlier case"},
  };
  for (const auto& f : faults) {
    const std::string error = ErrorOf(f.text);
    EXPECT_NE(error.find(f.message), std::string::npos)
        << "text: " << f.text << "\nerror: " << error << "\nwanted: " << f.message;
  }
}

TEST(SuiteFile, AMissingFileIsNamed) {
  Suite suite;
  std::string error;
  EXPECT_FALSE(LoadSuite("/nonexistent/qa.json", suite, error));
  EXPECT_NE(error.find("suite /nonexistent/qa.json: cannot be read"), std::string::npos) << error;
}

TEST(InstallSuite, CoversTheInstallationCheck) {
  Suite suite;
  std::string error;
  ASSERT_TRUE(LoadSuite("install", suite, error));
  std::set<std::string> ids;
  for (const auto& c : suite.cases) {
    EXPECT_TRUE(ids.insert(c.id).second) << c.id;
    EXPECT_FALSE(c.prompt.empty()) << c.id;
    EXPECT_FALSE(c.expect.outcomes.empty()) << c.id;
  }
  for (const char* id : {"approve", "cancel", "wrong-pin", "decline", "no-card", "approve-twice-1",
                         "approve-twice-2", "network-cut"}) {
    EXPECT_TRUE(ids.contains(id)) << id;
  }
  // The network cut leaves the outcome open and sends the operator to the reader's own record.
  for (const auto& c : suite.cases) {
    if (c.id != "network-cut") continue;
    EXPECT_EQ(c.expect.outcomes, std::vector<Outcome>{Outcome::Unknown});
    EXPECT_NE(c.prompt.find("آخرین تراکنش"), std::string::npos);
  }
}

TEST(SelectCases, KeepsTheNamedCasesInTheSuitesOrder) {
  Suite suite = InstallSuite();
  std::string error;
  ASSERT_TRUE(SelectCases(suite, "decline, approve", error)) << error;
  ASSERT_EQ(suite.cases.size(), 2U);
  EXPECT_EQ(suite.cases[0].id, "approve");
  EXPECT_EQ(suite.cases[1].id, "decline");

  Suite again = InstallSuite();
  EXPECT_FALSE(SelectCases(again, "approve,refund", error));
  EXPECT_NE(error.find("no case \"refund\""), std::string::npos) << error;
  EXPECT_FALSE(SelectCases(again, " , ", error));
}

}  // namespace
}  // namespace pcpos::acceptance
