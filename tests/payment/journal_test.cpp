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

using testing::ScratchDir;
using testing::ReadFile;

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
  ASSERT_EQ(JournalPayment({"reader \"A\", till 2", "9053", "1\t0", dir.folder()}, not_sent, kStarted),
            std::nullopt);
  ASSERT_EQ(JournalPayment(inputs, unknown, kStarted), std::nullopt);

  const std::string t = "2026-12-08T09:35:09+00:00";
  EXPECT_EQ(ReadFile(dir.folder() + "Selvarin-PcPosJournal.csv"),
            "\xEF\xBB\xBF"
            "time,host,port,amount,request,answer,response_code,result,outcome,connect_ms,answer_ms,error\r\n" +
                t + ",127.0.0.1,9053,1000," + request + "," + approval +
                ",00,تراکنش با موفقیت انجام شد,approved,0.4,212.4,\r\n" +
                t + ",127.0.0.1,9053,1000," + request + "," + decline +
                ",51,عملیات با شکست مواجه شده است,declined,0.4,1500.1,\r\n" +
                t + ",\"reader \"\"A\"\", till 2\",9053,1\t0,,,,"
                "Invalid amount: control character at position 2,not-sent,,,"
                "Invalid amount: control character at position 2\r\n" +
                t + ",127.0.0.1,9053,1000," + request + ",,,"
                "\"Socket Error # 10054\r\nConnection reset by peer.\",unknown,0.3,,"
                "\"Socket Error # 10054\r\nConnection reset by peer.\"\r\n");
}

// The journal never takes a path that the C interfaces would cut short, and a
// folder that is not there is an error for the caller to show, not a throw.
TEST(Journal, ErrorsComeBackAsMessages) {
  ScratchDir dir("pcpos-journal-");
  const PaymentReport report;
  EXPECT_EQ(JournalPayment({"h", "1", "1", dir.folder() + "missing/"}, report, kStarted),
            "Invalid file name - " + dir.folder() + "missing/Selvarin-PcPosJournal.csv");
  EXPECT_EQ(JournalPayment({"h", "1", "1", dir.folder() + std::string(1, '\0') + "/"}, report, kStarted),
            "I/O error 123");
  std::filesystem::create_directory(dir.folder() + "Selvarin-PcPosJournal.csv");
  EXPECT_EQ(JournalPayment({"h", "1", "1", dir.folder()}, report, kStarted), "File access denied");
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
  EXPECT_EQ(ReadFile(path), std::string("\xEF\xBB\xBF") + std::string(kJournalHeader) + "\r\na\r\nc\r\n");
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
