#include "payment/journal.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>

#include "payment/response_log.h"
#include "tests/support/answers.h"
#include "tests/support/files.h"
#include "tests/support/scratch_dir.h"

namespace pcpos {
namespace {

using testing::ReadFile;
using testing::ScratchDir;

// Sets the process's time zone for one test and puts the old one back.
class TimeZone {
 public:
  explicit TimeZone(const char* tz) {
    if (const char* old = std::getenv("TZ")) old_ = old;
    ::setenv("TZ", tz, 1);
    ::tzset();
  }
  ~TimeZone() {
    if (old_) {
      ::setenv("TZ", old_->c_str(), 1);
    } else {
      ::unsetenv("TZ");
    }
    ::tzset();
  }

 private:
  std::optional<std::string> old_;
};

// 2026-12-08 09:35:09 UTC.
const auto kStarted = std::chrono::system_clock::from_time_t(1796722509);

TEST(JournalFilePath, FollowsTheResponseLogsRule) {
  EXPECT_EQ(JournalFilePath(" \t/var/tmp/\r\n"), "/var/tmp/Selvarin-PcPosJournal.csv");
  EXPECT_EQ(JournalFilePath("C:\\Logs"), "C:\\LogsSelvarin-PcPosJournal.csv");
  EXPECT_EQ(JournalFilePath(""), "Selvarin-PcPosJournal.csv");
  ScratchDir dir("pcpos-journal-");
  EXPECT_EQ(JournalFilePath(dir.path().string()), dir.folder() + "Selvarin-PcPosJournal.csv");
}

TEST(LocalIsoTime, CarriesTheOffsetEitherSideOfUtc) {
  {
    const TimeZone tehran("IRST-3:30");
    EXPECT_EQ(LocalIsoTime(kStarted), "2026-12-08T13:05:09+03:30");
  }
  {
    const TimeZone newfoundland("NST3:30");
    EXPECT_EQ(LocalIsoTime(kStarted), "2026-12-08T06:05:09-03:30");
  }
  const TimeZone utc("UTC0");
  EXPECT_EQ(LocalIsoTime(kStarted + std::chrono::milliseconds(999)), "2026-12-08T09:35:09+00:00");
}

// One report of each outcome, as the transaction makes them, into a new file:
// the mark and the header once, each row exactly, quoting where needed.
TEST(Journal, HeaderOnceAndOneExactRowPerOutcome) {
  const TimeZone utc("UTC0");
  ScratchDir dir("pcpos-journal-");
  const std::string request = "@@ZRM@@011000410000000020000000530000011";
  const std::string approval = testing::kAnswer;
  const std::string decline =
      "@@ZRM@@08123456780600012312123456789012030010200025116123456******789012139812051230";
  const PaymentInputs inputs{"127.0.0.1", "9053", "1000", dir.folder()};

  PaymentReport approved;
  approved.outcome = Outcome::Approved;
  approved.request = request;
  approved.answer = approval;
  approved.fields = ParseResponse(approval);
  approved.result = ResultLineFor("00");
  approved.timings = {0.05, 0.42, 0.48, 212.3, 212.37};

  PaymentReport declined = approved;
  declined.outcome = Outcome::Declined;
  declined.answer = decline;
  declined.fields = ParseResponse(decline);
  declined.result = ResultLineFor("51");
  declined.timings.answer_ms = 1500.06;

  PaymentReport not_sent;
  not_sent.error = "Invalid amount: control character at position 2";
  not_sent.result = ResultLine{not_sent.error, Outcome::NotSent};

  PaymentReport unknown;
  unknown.outcome = Outcome::Unknown;
  unknown.request = request;
  unknown.error = "Socket Error # 10054\r\nConnection reset by peer.";
  unknown.result = ResultLine{unknown.error, Outcome::Unknown};
  unknown.timings = {0.1, 0.3, 0.4, std::nullopt, std::nullopt};

  ASSERT_EQ(JournalPayment(inputs, approved, kStarted), std::nullopt);
  ASSERT_EQ(JournalPayment(inputs, declined, kStarted), std::nullopt);
  ASSERT_EQ(
      JournalPayment({"reader \"A\", till 2", "9053", "1\t0", dir.folder()}, not_sent, kStarted),
      std::nullopt);
  ASSERT_EQ(JournalPayment(inputs, unknown, kStarted), std::nullopt);

  const std::string t = "2026-12-08T09:35:09+00:00";
  EXPECT_EQ(ReadFile(dir.folder() + "Selvarin-PcPosJournal.csv"),
            "\xEF\xBB\xBF"
            "time,host,port,amount,request,answer,response_code,result,outcome,connect_ms,answer_"
            "ms,error\r\n" +
                t + ",127.0.0.1,9053,1000," + request + "," + approval +
                ",00,تراکنش با موفقیت انجام شد,approved,0.4,212.4,\r\n" + t +
                ",127.0.0.1,9053,1000," + request + "," + decline +
                ",51,عملیات با شکست مواجه شده است,declined,0.4,1500.1,\r\n" + t +
                ",\"reader \"\"A\"\", till 2\",9053,1\\x090,,,,"
                "Invalid amount: control character at position 2,not-sent,,,"
                "Invalid amount: control character at position 2\r\n" +
                t + ",127.0.0.1,9053,1000," + request +
                ",,,"
                "Socket Error # 10054 / Connection reset by peer.,unknown,0.3,,"
                "Socket Error # 10054 / Connection reset by peer.\r\n");
}

// The documented answer with another response code field, prefix and all.
std::string AnswerWithCode(const std::string& code) {
  const std::string& a = testing::kAnswer;
  const std::size_t at = a.find("0200161234");  // the code's prefix, then the card's
  return a.substr(0, at) + (code.size() < 10 ? "0" : "") + std::to_string(code.size()) + code +
         a.substr(at + 4);
}

// What a script does to read a cell from outside back: one leading apostrophe
// off, each \xNN back to its byte.
std::string Unescaped(std::string cell) {
  if (cell.starts_with('\'')) cell.erase(0, 1);
  std::string out;
  for (std::size_t i = 0; i < cell.size(); ++i) {
    if (cell.compare(i, 2, "\\x") == 0 && i + 3 < cell.size()) {
      out += static_cast<char>(std::stoi(cell.substr(i + 2, 2), nullptr, 16));
      i += 3;
    } else {
      out += cell[i];
    }
  }
  return out;
}

// What a rogue reader or a careless operator can put into a cell: no formula
// for a spreadsheet, no second physical line for grep, no code that was not
// read, and the exact bytes back for a script.
TEST(Journal, RogueCellsStayTextOnOneLine) {
  const TimeZone utc("UTC0");
  const std::string t = "2026-12-08T09:35:09+00:00";
  const std::string request = "@@ZRM@@011000410000000020000000530000011";
  const std::string amber_tail = ",فرمت اطلاعات بازگشتی نامعتبر است.,unknown,0.4,9.0,\r\n";
  const PaymentInputs typical{"127.0.0.1", "9053", "1000", ""};
  const auto row = [&](const std::string& answer, const PaymentInputs& inputs) {
    PaymentReport report;
    report.outcome = Outcome::Unknown;
    report.request = request;
    report.answer = answer;
    report.fields = ParseResponse(answer);
    report.result = ResultLineFor(report.fields ? report.fields->ResponseCode : "");
    report.timings = {0.05, 0.42, 0.48, 8.0, 9.0};
    return JournalRow(inputs, report, kStarted);
  };
  const std::string head = t + ",127.0.0.1,9053,1000," + request + ",";

  // A forged approval look in the code field: the code is not read, and the
  // answer that carries it starts with the header, so it is text.
  const std::string formula = "=HYPERLINK(\"http://attacker.invalid/\",\"00\")";
  EXPECT_EQ(row(AnswerWithCode(formula), typical),
            head + CsvField(AnswerWithCode(formula)) + "," + amber_tail);
  // Answers in no format at all, each a formula to some spreadsheet.
  EXPECT_EQ(row("=1+1", typical), head + "'=1+1," + amber_tail);
  EXPECT_EQ(row("\t=1+1", typical), head + "\\x09=1+1," + amber_tail);
  EXPECT_EQ(row("\r=1+1", typical), head + "\\x0D=1+1," + amber_tail);
  EXPECT_EQ(row("+1+1", typical), head + "'+1+1," + amber_tail);
  EXPECT_EQ(row("-1+1", typical), head + "'-1+1," + amber_tail);
  EXPECT_EQ(row("@SUM(1;1)", typical), head + "'@SUM(1;1)," + amber_tail);
  EXPECT_EQ(row("'=1+1", typical), head + "''=1+1," + amber_tail);
  EXPECT_EQ(row("-5", typical), head + "-5," + amber_tail);
  // A line break and a backslash inside an answer in the format: one line, and
  // a literal "\x41" in the answer does not read back as "A".
  const std::string forged = AnswerWithCode("0\r\n" + t + ",approved,\\x41");
  std::string expected = forged;
  expected.replace(expected.find("\r\n"), 2, "\\x0D\\x0A");
  expected.replace(expected.find("\\x41"), 1, "\\x5C");
  EXPECT_EQ(row(forged, typical), head + CsvField(expected) + "," + amber_tail);
  // The inputs as typed: a formula is marked, a negative number is not.
  EXPECT_EQ(row(testing::kAnswer, {"=cmd|' /C calc'!A0", "-5", "+1000", ""}),
            t + ",'=cmd|' /C calc'!A0,-5,+1000," + request + "," + testing::kAnswer +
                ",00,تراکنش با موفقیت انجام شد,unknown,0.4,9.0,\r\n");

  // Every byte a reader can send comes back exactly.
  std::string every_byte;
  for (int c = 0; c < 128; ++c) every_byte += static_cast<char>(c);
  every_byte += "\\x41\\\\";
  const std::string written = row("@" + every_byte, typical);
  EXPECT_EQ(written.find_first_of("\r\n"), written.size() - 2);
  const std::size_t from = head.size() + 1,
                    to = written.rfind(amber_tail) - 2;  // inside the quotes
  std::string cell = written.substr(from, to - from);
  for (std::size_t at = 0; (at = cell.find("\"\"", at)) != std::string::npos; ++at)
    cell.erase(at, 1);
  EXPECT_EQ(Unescaped(cell), "@" + every_byte);
}

// The journal never takes a path that the C interfaces would cut short, and a
// folder that is not there is an error for the caller to show, not a throw.
TEST(Journal, ErrorsComeBackAsMessages) {
  ScratchDir dir("pcpos-journal-");
  const PaymentReport report;
  EXPECT_EQ(JournalPayment({"h", "1", "1", dir.folder() + "missing/"}, report, kStarted),
            "The log folder " + dir.folder() + "missing/ does not exist");
  EXPECT_EQ(
      JournalPayment({"h", "1", "1", dir.folder() + std::string(1, '\0') + "/"}, report, kStarted),
      "I/O error 123 - " + dir.folder() + "\\x00/Selvarin-PcPosJournal.csv")
      << "the zero byte shown, not cutting the message short";
  std::filesystem::create_directory(dir.folder() + "Selvarin-PcPosJournal.csv");
  EXPECT_EQ(JournalPayment({"h", "1", "1", dir.folder()}, report, kStarted),
            "File access denied - " + dir.folder() + "Selvarin-PcPosJournal.csv");
}

// A writer that holds the file longer than the wait is given up on with a
// sharing violation, and the file is left as it was.
TEST(Journal, AWriterHoldingTheFileTooLongIsReported) {
  ScratchDir dir("pcpos-journal-");
  const std::string path = dir.folder() + "Selvarin-PcPosJournal.csv";
  AppendJournalRows(path, "a\r\n");
  const int fd = ::open(path.c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::flock(fd, LOCK_EX), 0);
  try {
    AppendJournalRows(path, "b\r\n");
    ADD_FAILURE() << "appended past a held lock";
  } catch (const LogFileError& e) {
    EXPECT_EQ(e.code(), log_error::kSharingViolation);
  }
  ::close(fd);
  AppendJournalRows(path, "c\r\n");
  EXPECT_EQ(ReadFile(path),
            std::string("\xEF\xBB\xBF") + std::string(kJournalHeader) + "\r\na\r\nc\r\n");
}

// A write cut short by the file size limit leaves no half row behind.
TEST(Journal, AShortWriteIsTakenBack) {
  ScratchDir dir("pcpos-journal-");
  const std::string path = dir.folder() + "Selvarin-PcPosJournal.csv";
  AppendJournalRows(path, "first\r\n");
  const auto before = std::filesystem::file_size(path);
  // In a child, so that the limit does not follow the rest of the tests.
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{before + 3, before + 3};
    if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(10);
    try {
      AppendJournalRows(path, "second row\r\n");
    } catch (const LogFileError& e) {
      ::_exit(e.code() == log_error::kDiskFull ? 0 : 11);
    }
    ::_exit(12);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "10 setrlimit, 11 wrong error, 12 no error";
  EXPECT_EQ(std::filesystem::file_size(path), before);
}

}  // namespace
}  // namespace pcpos
