// The pcpos-sim program itself: the port line, a payment through it, the
// refusal of a non-loopback address or a faulty script, and an orderly stop
// on SIGTERM.
#include <QProcess>

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>
#include <vector>

#include "payment/transaction.h"
#include "simulator/script.h"
#include "tests/support/files.h"
#include "tests/support/scratch_dir.h"

namespace pcpos::sim {
namespace {

using namespace std::chrono_literals;

constexpr const char* kSimulator = PCPOS_SIM_BINARY;
constexpr const char* kClient = PCPOS_CLI_BINARY;

class Recorder : public TransactionObserver {
 public:
  ResultLine line;
  std::string code;
  void OnRawResponse(const std::string&) override {}
  void OnFields(const ResponseFields& f) override { code = f.ResponseCode; }
  void OnResultLine(const ResultLine& l) override { line = l; }
};

// Starts the program on a port of the system's choice and reads that port
// from its first line.
class RunningSimulator {
 public:
  explicit RunningSimulator(QStringList extra = {}) {
    process_.setProgram(QString::fromUtf8(kSimulator));
    process_.setArguments(QStringList{QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0")} +
                          extra);
    process_.start();
    if (!process_.waitForStarted(5000)) return;
    if (!process_.waitForReadyRead(10000)) return;
    first_line_ = process_.readLine().trimmed().toStdString();
    std::smatch match;
    if (std::regex_match(first_line_, match, std::regex(R"(listening on 127\.0\.0\.1:(\d+))"))) {
      port_ = match[1];
    }
  }
  ~RunningSimulator() {
    if (process_.state() != QProcess::NotRunning) {
      process_.kill();
      process_.waitForFinished(5000);
    }
  }

  const std::string& port() const { return port_; }
  const std::string& first_line() const { return first_line_; }
  QProcess& process() { return process_; }

 private:
  QProcess process_;
  std::string first_line_;
  std::string port_;
};

Recorder Pay(const std::string& port, const std::string& amount) {
  char pattern[] = "/tmp/pcpos-sim-bin-XXXXXX";
  Recorder recorder;
  if (!::mkdtemp(pattern)) return recorder;
  TransactionOptions options;
  options.answer_timeout = 10s;
  PaymentTransaction transaction({"127.0.0.1", port, amount, std::string(pattern) + "/"}, options);
  transaction.Run(recorder);
  std::filesystem::remove_all(pattern);
  return recorder;
}

TEST(SimulatorProgram, ServesAndStopsOnSigterm) {
  RunningSimulator sim;
  ASSERT_FALSE(sim.port().empty()) << "first line: " << sim.first_line();

  const Recorder approved = Pay(sim.port(), "1000");
  EXPECT_EQ(approved.code, "00");
  EXPECT_EQ(approved.line.outcome, Outcome::Approved);
  const Recorder declined = Pay(sim.port(), "1051");
  EXPECT_EQ(declined.code, "51");

  ASSERT_EQ(::kill(static_cast<pid_t>(sim.process().processId()), SIGTERM), 0);
  ASSERT_TRUE(sim.process().waitForFinished(10000));
  EXPECT_EQ(sim.process().exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(sim.process().exitCode(), 0);

  const std::string out = sim.process().readAllStandardOutput().toStdString();
  EXPECT_NE(
      out.find(
          "request \"@@ZRM@@011000410000000020000000530000011\" scenario approve answer \"@@ZRM@@"),
      std::string::npos)
      << out;
  EXPECT_NE(out.find("scenario decline answer"), std::string::npos) << out;
  EXPECT_NE(out.find("stopping on signal"), std::string::npos) << out;
}

TEST(SimulatorProgram, SigintAlsoStopsItWhileAConnectionIsOpen) {
  RunningSimulator sim({QStringLiteral("--scenario"), QStringLiteral("silence")});
  ASSERT_FALSE(sim.port().empty()) << sim.first_line();
  // A silent transaction holds a connection open while the stop arrives.
  std::thread client([&] { Pay(sim.port(), "1000"); });
  std::this_thread::sleep_for(300ms);
  ASSERT_EQ(::kill(static_cast<pid_t>(sim.process().processId()), SIGINT), 0);
  const bool finished = sim.process().waitForFinished(10000);
  client.join();
  ASSERT_TRUE(finished);
  EXPECT_EQ(sim.process().exitCode(), 0);
}

TEST(SimulatorProgram, ScenarioChosenOnTheCommandLine) {
  RunningSimulator sim({QStringLiteral("--scenario"), QStringLiteral("wrong-pin")});
  ASSERT_FALSE(sim.port().empty()) << sim.first_line();
  EXPECT_EQ(Pay(sim.port(), "1000").code, "30");
}

TEST(SimulatorProgram, RefusesBadCommandLinesWithoutListening) {
  const QStringList cases[] = {
      {QStringLiteral("--listen"), QStringLiteral("0.0.0.0:0")},
      {QStringLiteral("--listen"), QStringLiteral("192.168.1.50:9053")},
      {QStringLiteral("--scenario"), QStringLiteral("nonsense")},
  };
  for (const auto& args : cases) {
    QProcess process;
    process.start(QString::fromUtf8(kSimulator), args);
    ASSERT_TRUE(process.waitForFinished(10000));
    EXPECT_EQ(process.exitCode(), 2) << args.join(' ').toStdString();
    EXPECT_TRUE(process.readAllStandardOutput().isEmpty());
    EXPECT_FALSE(process.readAllStandardError().isEmpty());
  }
}

// The two programs together, as the main job and an operator's script use them.
TEST(SimulatorProgram, EveryScenarioThroughTheCommandLineClient) {
  RunningSimulator sim({QStringLiteral("--delay"), QStringLiteral("0.3"), QStringLiteral("--pause"),
                        QStringLiteral("0.3")});
  ASSERT_FALSE(sim.port().empty()) << sim.first_line();
  struct Case {
    const char* amount;
    int exit;
    const char* code;
    const char* text;
    const char* colour;
  };
  const Case cases[] = {
      {"1000", 0, "00", "تراکنش با موفقیت انجام شد", "green"},
      {"1001", 1, "01", "عملیات توسط کاربر لغو شده است", "red"},
      {"1030", 1, "30", "رمز عبور نامعتبر است", "red"},
      {"1051", 1, "51", "عملیات با شکست مواجه شده است", "red"},
      {"1010", 0, "00", "تراکنش با موفقیت انجام شد", "green"},
      {"1020", 0, "00", "تراکنش با موفقیت انجام شد", "green"},
      {"1040", 3, nullptr, "فرمت اطلاعات بازگشتی نامعتبر است.", "amber"},
      {"1060", 3, nullptr, "Socket Error # 10054\r\nConnection reset by peer.", "amber"},
      {"1070", 3, nullptr, "Connection Closed Gracefully.", "amber"},
      {"1080", 3, nullptr, "Socket Error # 10060\r\nConnection timed out.", "amber"},
  };
  char pattern[] = "/tmp/pcpos-sim-cli-XXXXXX";
  ASSERT_NE(::mkdtemp(pattern), nullptr);
  const std::string folder = std::string(pattern) + "/";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.amount);
    std::filesystem::remove(folder + "Selvarin-PcPosLog.txt");
    QProcess client;
    client.start(
        QString::fromUtf8(kClient),
        {QStringLiteral("--host"), QStringLiteral("127.0.0.1"), QStringLiteral("--port"),
         QString::fromStdString(sim.port()), QStringLiteral("--amount"),
         QString::fromLatin1(c.amount), QStringLiteral("--log-dir"), QString::fromStdString(folder),
         QStringLiteral("--timeout"), QStringLiteral("1"), QStringLiteral("--json")});
    ASSERT_TRUE(client.waitForFinished(15000));
    EXPECT_EQ(client.exitCode(), c.exit);
    const auto json =
        nlohmann::json::parse(client.readAllStandardOutput().toStdString(), nullptr, false);
    ASSERT_FALSE(json.is_discarded());
    EXPECT_EQ(json["result"]["text"], c.text);
    EXPECT_EQ(json["result"]["colour"], c.colour);
    EXPECT_EQ(json["outcome"], c.exit == 0 ? "approved" : c.exit == 1 ? "declined" : "unknown");
    EXPECT_EQ(json["request"], pcpos::BuildPurchaseRequest(c.amount));
    std::ifstream log(json["log_file"].get<std::string>(), std::ios::binary);
    std::stringstream bytes;
    bytes << log.rdbuf();
    if (c.code) {
      EXPECT_EQ(json["fields"]["ResponseCode"], c.code);
      EXPECT_EQ(json["fields"]["TerminalNo"], "31415926");
      EXPECT_EQ(bytes.str(), json["raw"].get<std::string>());
      EXPECT_EQ(json["fields"]["CardNo"], "123456******7890");  // answers in pieces are read whole
    } else {
      EXPECT_EQ(bytes.str(), "");
    }
  }
  std::filesystem::remove_all(pattern);
}

// A script file in a folder of its own, removed with it.
class ScriptFile {
 public:
  explicit ScriptFile(const std::string& text) {
    char pattern[] = "/tmp/pcpos-sim-script-XXXXXX";
    if (::mkdtemp(pattern)) folder_ = pattern;
    std::ofstream(path(), std::ios::binary) << text;
  }
  ~ScriptFile() { std::filesystem::remove_all(folder_); }
  std::string path() const { return folder_ + "/script.json"; }

 private:
  std::string folder_;
};

// A series through the command-line client against a scripted simulator: one
// compact object per payment, the summary last, and the exit status of the
// worst outcome.
TEST(SimulatorProgram, ARepeatedRunThroughTheCommandLineClient) {
  const ScriptFile script(
      R"({"steps": [{"code": "00"}, {"code": "51"}, {"action": "reset"}, {"code": "00", "delay": 0.2}]})");
  RunningSimulator sim({QStringLiteral("--script"), QString::fromStdString(script.path())});
  ASSERT_FALSE(sim.port().empty()) << sim.first_line();
  char pattern[] = "/tmp/pcpos-sim-repeat-XXXXXX";
  ASSERT_NE(::mkdtemp(pattern), nullptr);
  QProcess client;
  client.start(QString::fromUtf8(kClient),
               {QStringLiteral("--host"), QStringLiteral("127.0.0.1"), QStringLiteral("--port"),
                QString::fromStdString(sim.port()), QStringLiteral("--amount"),
                QStringLiteral("1000"), QStringLiteral("--log-dir"),
                QString::fromStdString(std::string(pattern) + "/"), QStringLiteral("--timeout"),
                QStringLiteral("5"), QStringLiteral("--repeat"), QStringLiteral("4"),
                QStringLiteral("--interval"), QStringLiteral("0.1"), QStringLiteral("--json")});
  ASSERT_TRUE(client.waitForFinished(30000));
  EXPECT_EQ(client.exitCode(), 3);
  std::istringstream lines(client.readAllStandardOutput().toStdString());
  std::vector<nlohmann::json> objects;
  for (std::string line; std::getline(lines, line);) {
    objects.push_back(nlohmann::json::parse(line, nullptr, false));
    ASSERT_FALSE(objects.back().is_discarded()) << line;
  }
  std::filesystem::remove_all(pattern);
  ASSERT_EQ(objects.size(), 5u);
  const char* outcomes[] = {"approved", "declined", "unknown", "approved"};
  std::vector<double> answer_ms;
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(objects[i]["outcome"], outcomes[i]) << i;
    if (objects[i]["timings"]["answer_ms"].is_number()) {
      answer_ms.push_back(objects[i]["timings"]["answer_ms"].get<double>());
    }
  }
  EXPECT_EQ(objects[1]["fields"]["ResponseCode"], "51");
  EXPECT_TRUE(objects[2]["timings"]["answer_ms"].is_null());
  const auto& t = objects[3]["timings"];
  EXPECT_GE(t["first_byte_ms"].get<double>() - t["sent_ms"].get<double>(), 200.0);
  ASSERT_EQ(answer_ms.size(), 3u);
  std::sort(answer_ms.begin(), answer_ms.end());
  EXPECT_EQ(objects[4], (nlohmann::json{{"summary",
                                         {{"approved", 2},
                                          {"declined", 1},
                                          {"not_sent", 0},
                                          {"unknown", 1},
                                          {"answer_ms_median", answer_ms[1]},
                                          {"answer_ms_max", answer_ms[2]},
                                          {"interrupted", false}}}}));
}

TEST(SimulatorProgram, PlaysAScriptFileThenTheScenarios) {
  const ScriptFile script(R"({"steps": [{"code": "05"}]})");
  RunningSimulator sim({QStringLiteral("--script"), QString::fromStdString(script.path())});
  ASSERT_FALSE(sim.port().empty()) << sim.first_line();
  EXPECT_EQ(Pay(sim.port(), "1051").code, "05");
  EXPECT_EQ(Pay(sim.port(), "1051").code, "51");
}

TEST(SimulatorProgram, RefusesAFaultyScriptNamingTheStepAndKey) {
  struct Case {
    std::string text;
    const char* message;
  };
  const Case cases[] = {
      {R"({"steps": [{"code": "00"},]})", "not JSON: parse error at line 1, column 27"},
      {R"([{"code": "00"}])", "the script must be an object"},
      {R"({"repeat": true})", "\"steps\" is missing"},
      {R"({"steps": {"code": "00"}})", "\"steps\" must be a list of steps, not object"},
      {R"({"steps": []})", "\"steps\" holds no step"},
      {R"({"steps": [{}], "repeat": "yes"})", "\"repeat\" must be true or false, not string"},
      {R"({"steps": [{}], "repet": true})", "unknown key \"repet\" at the top"},
      {R"({"steps": [{}, 5]})", "step 2 must be an object, not 5"},
      {R"({"steps": [{}, {}, {"dealy": 1}]})", "step 3: unknown key \"dealy\""},
      {R"({"steps": [{"action": 1}]})", "step 1: \"action\" must be a string, not 1"},
      {R"({"steps": [{"action": "explode"}]})", "step 1: \"action\" must be \"answer\", \"reset\""},
      {R"({"steps": [{"code": 51}]})", "step 1: \"code\" must be a string, not 51"},
      {R"({"steps": [{"code": ")" + std::string(100, '0') + R"("}]})",
       "step 1: \"code\" is 100 characters long"},
      {R"({"steps": [{"fields": ["STAN"]}]})", "step 1: \"fields\" must be an object, not array"},
      {R"({"steps": [{"fields": {"Stan": "1"}}]})", "step 1: unknown key \"fields\".\"Stan\""},
      {R"({"steps": [{"fields": {"STAN": 1}}]})",
       "step 1: \"fields\".\"STAN\" must be a string, not 1"},
      {R"({"steps": [{"raw": null}]})", "step 1: \"raw\" must be a string, not null"},
      {R"({"steps": [{"delay": "2"}]})",
       "step 1: \"delay\" must be a number of seconds, not string"},
      {R"({"steps": [{"delay": -1}]})", "step 1: \"delay\" must be 0 to 86400 seconds, not -1"},
      {R"({"steps": [{"pieces": 10}]})",
       "step 1: \"pieces\" must be a list of character offsets, not 10"},
      {R"({"steps": [{"pieces": [10, 2.5]}]})",
       "step 1: \"pieces\"[1] must be a whole number of 0 or more, not 2.5"},
      {R"({"steps": [{"pieces": [-1]}]})",
       "step 1: \"pieces\"[0] must be a whole number of 0 or more, not -1"},
      {R"({"steps": [{"pieces": [10, 10]}]})",
       "step 1: \"pieces\"[1] is 10; the offsets must increase"},
      {R"({"steps": [{"pause": true}]})",
       "step 1: \"pause\" must be a number of seconds, not boolean"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const ScriptFile script(c.text);
    QProcess process;
    process.start(QString::fromUtf8(kSimulator),
                  {QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0"),
                   QStringLiteral("--script"), QString::fromStdString(script.path())});
    ASSERT_TRUE(process.waitForFinished(10000));
    EXPECT_EQ(process.exitCode(), 2);
    EXPECT_TRUE(process.readAllStandardOutput().isEmpty());
    const std::string error = process.readAllStandardError().toStdString();
    EXPECT_NE(error.find("pcpos-sim: script " + script.path() + ": " + c.message),
              std::string::npos)
        << error;
  }

  QProcess missing;
  missing.start(QString::fromUtf8(kSimulator),
                {QStringLiteral("--script"), QStringLiteral("/nonexistent/x.json")});
  ASSERT_TRUE(missing.waitForFinished(10000));
  EXPECT_EQ(missing.exitCode(), 2);
  EXPECT_NE(missing.readAllStandardError().indexOf("script /nonexistent/x.json: cannot be read"),
            -1);
}

TEST(SimulatorProgram, HelpShowsTheScenarioTable) {
  QProcess process;
  process.start(QString::fromUtf8(kSimulator), {QStringLiteral("--help")});
  ASSERT_TRUE(process.waitForFinished(10000));
  EXPECT_EQ(process.exitCode(), 0);
  const QString help = QString::fromUtf8(process.readAllStandardOutput());
  for (const char* row :
       {"00      approve", "01      cancel", "30      wrong-pin", "51      decline",
        "10      delay", "20      two-segments", "40      bad-header", "60      reset",
        "70      close", "80      silence", "90      no-card"}) {
    EXPECT_TRUE(help.contains(QString::fromLatin1(row))) << row;
  }
  EXPECT_TRUE(help.contains(QStringLiteral("--script <FILE>")));
  EXPECT_TRUE(help.contains(
      QString::fromUtf8(kExampleScript.data(), static_cast<qsizetype>(kExampleScript.size()))));
}

// One physical line of the journal split into its cells (RFC 4180 quoting).
std::vector<std::string> CsvCells(const std::string& line) {
  std::vector<std::string> cells(1);
  bool quoted = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (quoted && c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
      cells.back() += c;
      ++i;
    } else if (c == '"') {
      quoted = !quoted;
    } else if (c == ',' && !quoted) {
      cells.emplace_back();
    } else {
      cells.back() += c;
    }
  }
  return cells;
}

// A rogue reader, scripted with raw answers, against the client: every row of
// the journal stays one physical line with no cell a spreadsheet would take
// for a formula, and no response code is taken from an answer that has none.
TEST(SimulatorProgram, RogueAnswersLeaveAJournalOfTextLines) {
  const std::string answer =
      "@@ZRM@@08123456780600012312123456789012030010200020016123456******789012139812051230";
  const auto with_code = [&](const std::string& code) {
    const std::size_t at = answer.find("0200161234");
    return answer.substr(0, at) + std::to_string(code.size()) + code + answer.substr(at + 4);
  };
  const std::vector<std::string> rogue = {
      with_code("=HYPERLINK(\"http://attacker.invalid/\",\"00\")"),
      "\t=1+1",
      "\r=1+1",
      "+1+1",
      "-1+1",
      "@SUM(1,1)",
      with_code("0\r\n2026-12-08T09:35:09+00:00,127.0.0.1,9053,1000,x,y,00,ok,approved,1.0,2.0,"),
      "C:\\x41\\",
  };
  nlohmann::json steps = nlohmann::json::array();
  for (const std::string& raw : rogue) steps.push_back({{"raw", raw}});
  const ScriptFile script(nlohmann::json{{"steps", steps}}.dump());
  RunningSimulator sim({QStringLiteral("--script"), QString::fromStdString(script.path())});
  ASSERT_FALSE(sim.port().empty()) << sim.first_line();

  const testing::ScratchDir dir("pcpos-sim-rogue-");
  QProcess client;
  client.start(
      QString::fromUtf8(kClient),
      {QStringLiteral("--host"), QStringLiteral("127.0.0.1"), QStringLiteral("--port"),
       QString::fromStdString(sim.port()), QStringLiteral("--amount"), QStringLiteral("1000"),
       QStringLiteral("--log-dir"), QString::fromStdString(dir.path().string()),
       QStringLiteral("--timeout"), QStringLiteral("5"), QStringLiteral("--repeat"),
       QString::number(rogue.size()), QStringLiteral("--interval"), QStringLiteral("0")});
  ASSERT_TRUE(client.waitForFinished(60000));
  EXPECT_EQ(client.exitCode(), 3);

  // The folder was typed without its separator: the journal is inside it.
  const std::string journal = testing::ReadFile(dir.path() / "Selvarin-PcPosJournal.csv");
  ASSERT_TRUE(journal.starts_with("\xEF\xBB\xBF"));
  std::vector<std::string> lines;
  for (std::size_t from = 3, end; (end = journal.find('\n', from)) != std::string::npos;
       from = end + 1) {
    ASSERT_GT(end, from);
    ASSERT_EQ(journal[end - 1], '\r') << "a lone LF in the journal";
    lines.push_back(journal.substr(from, end - 1 - from));
    EXPECT_EQ(lines.back().find('\r'), std::string::npos) << "a lone CR in the journal";
  }
  ASSERT_TRUE(journal.ends_with("\r\n"));
  ASSERT_EQ(lines.size(), rogue.size() + 1) << journal;
  for (std::size_t i = 1; i < lines.size(); ++i) {
    const std::vector<std::string> cells = CsvCells(lines[i]);
    ASSERT_EQ(cells.size(), 12u) << lines[i];
    EXPECT_EQ(cells[6], "") << "response_code of " << lines[i];
    EXPECT_EQ(cells[8], "unknown") << lines[i];
    for (const std::string& cell : cells) {
      const bool formula =
          !cell.empty() && std::string_view("=+-@\t\r").find(cell[0]) != std::string_view::npos;
      EXPECT_TRUE(!formula || cell.starts_with("@@ZRM@@")) << "a formula cell: " << cell;
    }
  }
  // What a script reads back: the answer as the client took it, line break
  // and backslashes included.
  EXPECT_EQ(CsvCells(lines[7])[5], [&] {
    std::string escaped = rogue[6];
    escaped.replace(escaped.find("\r\n"), 2, "\\x0D\\x0A");
    return escaped;
  }());
  EXPECT_EQ(CsvCells(lines[8])[5], "C:\\x5Cx41\\x5C");
}

}  // namespace
}  // namespace pcpos::sim
