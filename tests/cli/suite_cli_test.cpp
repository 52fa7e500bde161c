// The client's acceptance run: the built-in suite end to end against the
// simulated reader (in-process), the operator's answers at the prompts, a
// failed case's re-run command, and the suite errors that stop it before
// anything is sent.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "acceptance/sha256.h"
#include "cli/cli.h"
#include "simulator/in_process.h"
#include "tests/support/files.h"
#include "tests/support/scratch_dir.h"

namespace pcpos {
namespace {

using namespace std::chrono_literals;
using testing::ReadFile;
using testing::ScratchDir;

struct CliRun {
  int status;
  std::string out, err;
};

CliRun Cli(std::vector<std::string> args, const std::string& input = "",
           CliInterrupt* interrupt = nullptr) {
  args.insert(args.begin(), "pcpos-cli");
  std::vector<const char*> argv;
  for (auto& a : args) argv.push_back(a.c_str());
  std::ostringstream out, err;
  std::istringstream in(input);
  const int status = RunCli(static_cast<int>(argv.size()), argv.data(), out, err, interrupt, &in);
  return {status, out.str(), err.str()};
}

class SuiteCliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::ServerOptions options;
    options.delay = 200ms;  // the reader that gives up when no card comes
    sim_ = std::make_unique<sim::InProcessSimulator>(options);
    std::string error;
    ASSERT_TRUE(sim_->Start(0, error)) << error;
  }
  std::vector<std::string> Args(std::vector<std::string> more) {
    std::vector<std::string> args = {
        "--host", "127.0.0.1", "--port", std::to_string(sim_->port()), "--log-dir", dir_.folder()};
    args.insert(args.end(), more.begin(), more.end());
    return args;
  }
  std::vector<std::filesystem::path> Reports() const {
    std::vector<std::filesystem::path> found;
    for (const auto& e : std::filesystem::directory_iterator(dir_.path())) {
      if (e.path().filename().string().starts_with("acceptance-")) found.push_back(e.path());
    }
    return found;
  }

  ScratchDir dir_;
  std::unique_ptr<sim::InProcessSimulator> sim_;
};

TEST_F(SuiteCliTest, TheInstallSuitePassesAgainstTheSimulatedReader) {
  const CliRun run = Cli(Args({"--suite", "install", "--unattended", "--json"}));
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  std::vector<nlohmann::json> lines;
  std::istringstream text(run.out);
  for (std::string line; std::getline(text, line);) lines.push_back(nlohmann::json::parse(line));
  ASSERT_EQ(lines.size(), 9U) << run.out;
  for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
    EXPECT_EQ(lines[i]["verdict"], "passed") << lines[i].dump();
  }
  EXPECT_EQ(lines[7]["id"], "network-cut");
  EXPECT_EQ(lines[7]["payment"]["outcome"], "unknown");
  const auto& summary = lines.back()["summary"];
  EXPECT_EQ(summary["result"], "passed");
  EXPECT_EQ(summary["passed"], 8);
  for (const auto& check : summary["checks"]) EXPECT_EQ(check["state"], "passed") << check.dump();

  // The three reports, named as the summary says.
  EXPECT_EQ(Reports().size(), 3U);
  const std::string html = ReadFile(summary["report"]["html"].get<std::string>());
  EXPECT_NE(html.find("network-cut"), std::string::npos);
  EXPECT_TRUE(std::filesystem::exists(summary["report"]["csv"].get<std::string>()));
  const auto document =
      nlohmann::json::parse(ReadFile(summary["report"]["json"].get<std::string>()));
  EXPECT_EQ(document["cases"].size(), 8U);

  // The digest is over the run's rows as the journal holds them: here, the
  // whole journal after its mark and header.
  const std::string journal = ReadFile(dir_.folder() + "Selvarin-PcPosJournal.csv");
  const std::size_t rows = journal.find("\r\n") + 2;
  EXPECT_EQ(summary["journal_sha256"], acceptance::Sha256Hex(journal.substr(rows)));
}

TEST_F(SuiteCliTest, TheOperatorRunsSkipsAndEnds) {
  const CliRun run =
      Cli(Args({"--suite", "install", "--cases", "approve,cancel,decline"}), "s\nx\n\nq\n");
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  for (const char* text :
       {"case 1 of 3: approve", "case 2 of 3: cancel", "case 3 of 3: decline",
        "Enter runs this case, s skips it, q ends the run", "(\"x\" is none of Enter, s and q)",
        "verdict: passed", "summary: 1 passed, 0 failed, 1 skipped, 1 not run (ended)"}) {
    EXPECT_NE(run.out.find(text), std::string::npos) << text << "\n" << run.out;
  }
  // Only the case that ran reached the reader and the journal.
  const std::string journal = ReadFile(dir_.folder() + "Selvarin-PcPosJournal.csv");
  EXPECT_NE(journal.find(",1001,"), std::string::npos);
  EXPECT_EQ(journal.find(",1000,"), std::string::npos);

  // Input that ends before any case ran passes nothing.
  const CliRun nobody = Cli(Args({"--suite", "install"}), "");
  EXPECT_EQ(nobody.status, 1);
  EXPECT_NE(nobody.out.find("summary: 0 passed, 0 failed, 0 skipped, 8 not run (ended)\n"
                            "report: "),
            std::string::npos)
      << nobody.out;
  EXPECT_NE(nobody.out.find("no case was run"), std::string::npos);
}

TEST_F(SuiteCliTest, AFailedCaseEndsWithTheCommandThatRerunsIt) {
  const std::string file = dir_.folder() + "qa.json";
  std::ofstream(file) << R"({"name": "qa", "cases": [
      {"id": "ok", "amount": "1000", "expect": {"outcome": ["approved"]}},
      {"id": "strict", "amount": "1051", "expect": {"outcome": ["declined"],
                                                   "response_code": ["05"]}}]})";
  const CliRun run = Cli(Args({"--suite", file, "--unattended"}));
  EXPECT_EQ(run.status, 1) << run.out << run.err;
  EXPECT_NE(run.out.find("verdict: failed: response code \"51\", expected 05"), std::string::npos)
      << run.out;
  const std::string last = run.out.substr(run.out.rfind("re-run the failed cases: "));
  // A path the shell would read otherwise (Windows' backslashes) comes quoted.
  EXPECT_TRUE(last.find("--suite " + file + " ") != std::string::npos ||
              last.find("--suite \"" + file + "\" ") != std::string::npos)
      << last;
  EXPECT_NE(last.find("--unattended --cases strict\n"), std::string::npos) << last;
}

// A signal ends the run; what was done is still reported, the run marked interrupted.
TEST_F(SuiteCliTest, ASignalEndsTheRunWithItsReport) {
  CliInterrupt interrupt;
  interrupt.Trigger(SIGTERM);
  const CliRun run = Cli(Args({"--suite", "install", "--unattended", "--json"}), "", &interrupt);
  EXPECT_EQ(run.status, 128 + SIGTERM) << run.out << run.err;
  const auto summary = nlohmann::json::parse(run.out)["summary"];
  EXPECT_EQ(summary["end"], "interrupted");
  EXPECT_EQ(summary["not_run"], 8);
  EXPECT_EQ(Reports().size(), 3U);
}

TEST_F(SuiteCliTest, SuiteErrorsStopBeforeAnythingIsSent) {
  const std::string file = dir_.folder() + "bad.json";
  std::ofstream(file) << R"({"cases": [{"id": "a", "amount": "1000", "expect": {"outcome":
      ["approved"]}}, {"id": "b", "amout": "1", "expect": {"outcome": ["approved"]}}]})";
  const struct {
    std::vector<std::string> args;
    std::string message;
  } faults[] = {
      {{"--suite", file}, "suite " + file + ": case 2 (\"b\"): unknown key \"amout\""},
      {{"--suite", "install", "--cases", "approve,refund"}, "no case \"refund\""},
      {{"--suite", "install", "--amount", "1000"}, "--amount"},
      {{"--cases", "approve"}, "--amount is required"},
  };
  for (const auto& f : faults) {
    const CliRun run = Cli(Args(f.args), "\n\n\n");
    EXPECT_EQ(run.status, 2) << f.message;
    EXPECT_NE(run.err.find(f.message), std::string::npos) << run.err;
  }
  EXPECT_FALSE(std::filesystem::exists(dir_.folder() + "Selvarin-PcPosJournal.csv"));
  EXPECT_TRUE(Reports().empty());
}

}  // namespace
}  // namespace pcpos
