// The fault matrix through the command-line client: pcpos-cli runs as a
// separate process against loopback readers that misbehave, against log
// folders that fail, and against a terminal or a reader of its output that
// goes away, and every row checks what the operator is shown, how long it
// took, what the log file holds afterwards and that the process ended by
// itself rather than by a signal.
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "payment/message_format.h"
#include "text/text.h"
#include "payment/transaction.h"
#include "tests/faults/fault_report.h"
#include "tests/faults/lock_holder.h"
#include "tests/faults/subprocess.h"
#include "tests/support/answers.h"
#include "tests/support/files.h"
#include "tests/support/hanging_listener.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/tcp_peer.h"

namespace pcpos::testing {
namespace {

using namespace std::chrono_literals;
using nlohmann::json;

constexpr std::string_view kApproved = "تراکنش با موفقیت انجام شد";
constexpr std::string_view kMismatch = "فرمت اطلاعات بازگشتی نامعتبر است.";
constexpr std::string_view kReset = "Socket Error # 10054\r\nConnection reset by peer.";
constexpr std::string_view kClosed = "Connection Closed Gracefully.";
constexpr std::string_view kTimedOut = "Socket Error # 10060\r\nConnection timed out.";
constexpr std::string_view kRefused = "Socket Error # 10061\r\nConnection refused.";
constexpr std::string_view kPrevious = "@@ZRM@@ an earlier good answer";

struct CliOutcome {
  ChildResult child;
  json report;  // the --json object, or null when there was none
  std::string log;

  std::string ResultText() const { return ResultPart("text", "(none)"); }
  std::string Colour() const { return ResultPart("colour", ""); }
  // The text received, "" when none came.
  std::string Raw() const {
    return report.contains("raw") && report["raw"].is_string() ? report["raw"].get<std::string>()
                                                               : "";
  }
  bool HasFields() const { return report.contains("fields") && report["fields"].is_object(); }
  std::string Field(const char* name) const {
    return HasFields() && report["fields"].contains(name)
               ? report["fields"][name].get<std::string>()
               : "(none)";
  }
  bool SentRequest() const { return report.contains("request") && report["request"].is_string(); }
  std::string Outcome() const {
    return report.contains("outcome") && report["outcome"].is_string()
               ? report["outcome"].get<std::string>()
               : "";
  }
  std::string LogError() const {
    return report.contains("log_error") && report["log_error"].is_string()
               ? report["log_error"].get<std::string>()
               : "";
  }

 private:
  std::string ResultPart(const char* key, const char* none) const {
    if (!report.contains("result") || !report["result"].is_object()) return none;
    return report["result"][key].get<std::string>();
  }
};

class CliFaultMatrix : public ::testing::Test {
 protected:
  std::string LogPath() const { return folder_ + "Selvarin-PcPosLog.txt"; }

  // Runs one payment and records its row.
  CliOutcome Run(const std::string& fault, std::uint16_t port, ChildLimits limits = {},
                 std::string host = "127.0.0.1", std::string answer_timeout = "5",
                 const std::vector<std::string>& more = {}) {
    std::vector<std::string> argv = {
        PCPOS_CLI_PATH, "--json", "--host",    host,    "--port",    std::to_string(port),
        "--amount",     "1000",   "--log-dir", folder_, "--timeout", answer_timeout};
    argv.insert(argv.end(), more.begin(), more.end());
    CliOutcome o;
    o.child = RunChild(argv, limits);
    o.report = json::parse(o.child.out, nullptr, /*allow_exceptions=*/false);
    if (o.report.is_discarded()) o.report = json();
    o.log = DescribeLog(LogPath());
    RecordFaultRow({"pcpos-cli", fault, o.ResultText(), o.Colour(), o.Raw(), o.child.elapsed, o.log,
                    o.child.Ending()});

    // Common to every row: the process ended by itself, printed its report,
    // and no sanitizer found anything on the way.
    EXPECT_FALSE(o.child.hung) << fault;
    EXPECT_TRUE(o.child.exited) << fault << ": " << o.child.Ending();
    EXPECT_TRUE(o.report.is_object()) << fault << ": " << o.child.out << o.child.err;
    EXPECT_EQ(o.child.err.find("Sanitizer"), std::string::npos) << o.child.err;
    EXPECT_EQ(o.child.err.find("runtime error"), std::string::npos) << o.child.err;
    // Green is exactly an approval and amber exactly an open outcome, and the
    // exit status follows the outcome.
    EXPECT_EQ(o.Colour() == "green", o.Outcome() == "approved") << fault;
    EXPECT_EQ(o.Colour() == "amber", o.Outcome() == "unknown") << fault;
    EXPECT_EQ(o.child.exit_code, o.Outcome() == "approved"  ? 0
                                 : o.Outcome() == "unknown" ? 3
                                                            : 1)
        << fault;
    return o;
  }

  void ExpectRed(const CliOutcome& o, std::string_view text) {
    EXPECT_EQ(o.ResultText(), text);
    EXPECT_EQ(o.Colour(), "red");
    EXPECT_EQ(o.Raw(), "");
  }

  // The request went out and no readable answer came: amber, nothing received.
  void ExpectUnknown(const CliOutcome& o, std::string_view text) {
    EXPECT_EQ(o.ResultText(), text);
    EXPECT_EQ(o.Colour(), "amber");
    EXPECT_EQ(o.Raw(), "");
  }

  // The answer was read; the log error is reported beside it and hides nothing.
  void ExpectApprovedWithLogError(const CliOutcome& o, std::string_view error) {
    EXPECT_EQ(o.ResultText(), kApproved);
    EXPECT_EQ(o.Colour(), "green");
    EXPECT_EQ(o.Raw(), kAnswer);
    EXPECT_EQ(o.LogError(), error);
  }

  ScratchDir scratch_{"pcpos-faults-"};
  std::string folder_ = scratch_.folder();
};

// --- the reader misbehaves --------------------------------------------------

struct ReaderFault {
  const char* name;
  TcpPeer::Script script;
  std::string_view expected;  // result line, in amber
  std::chrono::milliseconds at_least;
};

TEST_F(CliFaultMatrix, ReaderEndsTheExchangeWithoutAnAnswer) {
  const ReaderFault faults[] = {
      {"reader resets the connection",
       [](PeerSocket& s) {
         s.ReadLine();
         s.Reset();
       },
       kReset, 0ms},
      {"reader closes without answering",
       [](PeerSocket& s) {
         s.ReadLine();
         s.Close();
       },
       kClosed, 0ms},
      {"reader stays silent (--timeout 1)",
       [](PeerSocket& s) {
         s.ReadLine();
         s.WaitForClose(10s);
       },
       kTimedOut, 1000ms},
      // Nothing is read: the request still fits the socket buffers, so only the
      // answer wait can end this.
      {"reader accepts and never reads (--timeout 1)",
       [](PeerSocket& s) {
         std::this_thread::sleep_for(1500ms);
         s.Close();
       },
       kTimedOut, 1000ms},
  };
  for (const ReaderFault& f : faults) {
    SCOPED_TRACE(f.name);
    TcpPeer peer(f.script);
    const CliOutcome o = Run(f.name, peer.port(), {}, "127.0.0.1", "1");
    ExpectUnknown(o, f.expected);
    EXPECT_TRUE(o.SentRequest());
    EXPECT_FALSE(o.HasFields());
    EXPECT_EQ(o.log, "(empty)");
    EXPECT_GE(o.child.elapsed, f.at_least);
    EXPECT_LT(o.child.elapsed, f.at_least + 4000ms);
  }
}

// However the answer is cut, and whatever follows it, what arrived is read whole.
TEST_F(CliFaultMatrix, AnswersThatArriveUnevenlyAreReadWhole) {
  const struct {
    const char* name;
    TcpPeer::Script script;
  } cases[] = {
      {"answer byte by byte, 30 ms apart",
       [](PeerSocket& s) {
         s.ReadLine();
         for (char c : kAnswer) {
           s.Send(std::string_view(&c, 1));
           std::this_thread::sleep_for(30ms);
         }
       }},
      {"answer in three pieces, 200 ms apart", Split(kAnswer, {3, 43}, 200ms)},
      {"answer followed at once by a reset",
       [](PeerSocket& s) {
         s.ReadLine();
         s.Send(kAnswer);
         s.Reset();
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TcpPeer peer(c.script);
    const CliOutcome o = Run(c.name, peer.port());
    EXPECT_EQ(o.ResultText(), kApproved);
    EXPECT_EQ(o.Raw(), kAnswer);
    EXPECT_EQ(ReadFile(LogPath()), kAnswer);
    EXPECT_LT(o.child.elapsed, 4000ms);
  }
}

// An answer the tool cannot fully read is shown and logged, but never green.
TEST_F(CliFaultMatrix, AnswersThatCannotBeReadLeaveTheOutcomeOpen) {
  std::string unreadable(kAnswer);
  unreadable.replace(7 + 10 + 8 + 14 + 5 + 4 + 2, 2, "XX");
  const struct {
    const char* name;
    std::string sent;
    bool logged;
  } cases[] = {
      {"response code \"XX\"", unreadable, true},
      {"approval cut short by a close", std::string(kAnswer.substr(0, 50)), true},
      {"header in lower case", "@@zrm@@" + std::string(kAnswer.substr(7)), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(LogPath());
    TcpPeer peer([&c](PeerSocket& s) {
      s.ReadLine();
      s.Send(c.sent);
    });
    const CliOutcome o = Run(c.name, peer.port());
    EXPECT_EQ(o.ResultText(), kMismatch);
    EXPECT_EQ(o.Colour(), "amber");
    EXPECT_EQ(o.Raw(), c.sent);
    EXPECT_EQ(ReadFile(LogPath()), c.logged ? c.sent : "");
  }
}

TEST_F(CliFaultMatrix, OneMebibyteAfterTheAnswerIsCutAtWhatOnePollTakes) {
  TcpPeer peer([](PeerSocket& s) {
    s.ReadLine();
    s.Send(std::string(kAnswer) + std::string(1 << 20, '7'));
  });
  const CliOutcome o = Run("1 MiB of data after an answer", peer.port());
  EXPECT_EQ(o.ResultText(), kApproved);
  EXPECT_EQ(o.Colour(), "green");
  EXPECT_EQ(o.Field("TerminalNo"), "12345678");
  // A poll reads at most two blocks of 32768 bytes; the log holds exactly the
  // text shown.
  EXPECT_LE(o.Raw().size(), 2u * 32768u);
  EXPECT_EQ(o.Raw().substr(0, kAnswer.size()), kAnswer);
  EXPECT_EQ(ReadFile(LogPath()), o.Raw());
  EXPECT_LT(o.child.elapsed, 3000ms);
}

TEST_F(CliFaultMatrix, OneMebibyteOfNoiseIsAHeaderMismatch) {
  TcpPeer peer([](PeerSocket& s) {
    s.ReadLine();
    s.Send(std::string(1 << 20, '\x01') + "noise");
  });
  const CliOutcome o = Run("1 MiB of control bytes, no header", peer.port());
  EXPECT_EQ(o.ResultText(), kMismatch);
  EXPECT_EQ(o.Colour(), "amber");
  EXPECT_FALSE(o.HasFields());
  EXPECT_EQ(o.log, "(empty)");
  EXPECT_LT(o.child.elapsed, 3000ms);
}

TEST_F(CliFaultMatrix, HighAndNulBytesAreShownAsAsciiAndLoggedAsReceived) {
  // Bytes above 127 in the terminal number, a NUL inside the card number.
  std::string answer(kAnswer);
  answer.replace(9, 2, "\xC3\xA9");
  answer[58] = '\0';  // the fifth character of the card number
  TcpPeer peer([answer](PeerSocket& s) {
    s.ReadLine();
    s.Send(answer);
  });
  const CliOutcome o = Run("bytes above 127 and a NUL in the answer", peer.port());
  EXPECT_EQ(o.ResultText(), kApproved);
  EXPECT_EQ(o.Colour(), "green");
  EXPECT_EQ(o.Field("TerminalNo"), "??345678");
  EXPECT_EQ(o.Field("CardNo"), "1234");
  EXPECT_EQ(o.Field("BIN"), "1234");
  EXPECT_EQ(o.Field("PAN"), "");
  EXPECT_EQ(o.Raw(), pcpos::FromAscii(answer));
  EXPECT_EQ(ReadFile(LogPath()), pcpos::FromAscii(answer));
}

TEST_F(CliFaultMatrix, OnlyTheFirstOfTwoAnswersCounts) {
  std::string second(kAnswer);
  second.replace(9, 8, "87654321");
  for (const auto pause : {200ms, 0ms}) {
    SCOPED_TRACE(pause.count());
    TcpPeer peer([&second, pause](PeerSocket& s) {
      s.ReadLine();
      if (pause.count() == 0) {
        s.Send(std::string(kAnswer) + "\r\n" + second);
        return;
      }
      s.Send(kAnswer);
      std::this_thread::sleep_for(pause);
      s.Send(second);
    });
    const CliOutcome o = Run(
        pause.count() ? "two answers, 200 ms apart" : "two answers in one segment", peer.port());
    EXPECT_EQ(o.ResultText(), kApproved);
    EXPECT_EQ(o.Field("TerminalNo"), "12345678");
    if (pause.count()) {
      EXPECT_EQ(o.Raw(), kAnswer);
      EXPECT_EQ(ReadFile(LogPath()), kAnswer);
    } else {
      // Both arrived before the poll: one text, shown and logged whole.
      const std::string both = std::string(kAnswer) + "\r\n" + second;
      EXPECT_EQ(o.Raw(), both);
      EXPECT_EQ(ReadFile(LogPath()), both);
    }
  }
}

// --- the reader cannot be reached -------------------------------------------

TEST_F(CliFaultMatrix, UnreachableReaderFailsAtTheConnectLimit) {
  HangingListener listener;
  const CliOutcome o = Run("address unreachable (full accept queue, `--connect-timeout 1`)",
                           listener.port(), {}, "127.0.0.1", "5", {"--connect-timeout", "1"});
  ExpectRed(o, kTimedOut);
  EXPECT_EQ(o.report["error"],
            json::parse(R"({"code": 10060, "message": "Connection timed out."})"));
  EXPECT_FALSE(o.SentRequest());
  EXPECT_EQ(o.log, "(empty)");
  // The connect has a limit of its own, independent of --timeout; without
  // the option it would be 10 s.
  EXPECT_GE(o.child.elapsed, 900ms);
  EXPECT_LT(o.child.elapsed, 9000ms);
}

TEST_F(CliFaultMatrix, UnresolvableAndRefusingReaders) {
  {
    // A name with an empty label cannot be put into a DNS query, so the lookup
    // fails on this machine without asking any name server.
    const CliOutcome o = Run("host name unresolvable", 9053, {}, "no-such-reader..invalid");
    EXPECT_EQ(o.Colour(), "red");
    EXPECT_EQ(o.ResultText().rfind("Socket Error # 1100", 0), 0u) << o.ResultText();
    EXPECT_EQ(o.Raw(), "");
    EXPECT_FALSE(o.SentRequest());
    EXPECT_EQ(o.log, "(empty)");
    EXPECT_LT(o.child.elapsed, 15000ms);
  }
  {
    const RefusingPort refusing;
    const CliOutcome o = Run("connection refused", refusing.port());
    ExpectRed(o, kRefused);
    EXPECT_EQ(o.log, "(empty)");
    EXPECT_LT(o.child.elapsed, 3000ms);
  }
}

// With no descriptors left the cancel mechanism cannot be made: a message and
// exit 1, never an abort, and nothing is sent.
TEST_F(CliFaultMatrix, NoDescriptorsLeftEndsWithAMessage) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP()
      << "the sanitizer runtimes need descriptors of their own; the plain build runs this row";
#endif
  TcpPeer peer(Answering(kAnswer));
  ChildLimits limits;
  limits.max_open_files = 4;  // standard streams and one for the loader
  const ChildResult child =
      RunChild({PCPOS_CLI_PATH, "--json", "--host", "127.0.0.1", "--port",
                std::to_string(peer.port()), "--amount", "1000", "--log-dir", folder_},
               limits);
  const std::string message = "cannot start the payment: Socket Error # 10024";
  RecordFaultRow({"pcpos-cli", "no descriptors left (RLIMIT_NOFILE 4)", "(none)", "", "",
                  child.elapsed, DescribeLog(LogPath()), child.Ending()});
  EXPECT_TRUE(child.exited) << child.Ending();
  EXPECT_EQ(child.exit_code, 1);
  EXPECT_NE(child.err.find(message), std::string::npos) << child.err;
  EXPECT_EQ(peer.accepted(), 0);
}

// --- the log file fails -----------------------------------------------------

ChildLimits Unprivileged() {
  ChildLimits limits;
  limits.unprivileged = true;
  return limits;
}

TEST_F(CliFaultMatrix, MissingLogFolderStopsBeforeAnyConnection) {
  TcpPeer peer(Answering(kAnswer));
  folder_ = scratch_.folder() + "missing/";
  const CliOutcome o = Run("log folder missing", peer.port());
  ExpectRed(o, "The log folder " + folder_ + " does not exist");
  EXPECT_FALSE(o.SentRequest());
  EXPECT_EQ(peer.accepted(), 0);
  EXPECT_EQ(o.log, "(missing)");
}

TEST_F(CliFaultMatrix, ReadOnlyLogFolderStopsBeforeAnyConnection) {
  TcpPeer peer(Answering(kAnswer));
  ASSERT_EQ(::chmod(scratch_.path().c_str(), 0555), 0);
  const CliOutcome o = Run("log folder read-only", peer.port(), Unprivileged());
  ::chmod(scratch_.path().c_str(), 0777);
  ExpectRed(o, "File access denied - " + LogPath());
  EXPECT_FALSE(o.SentRequest());
  EXPECT_EQ(peer.accepted(), 0);
  EXPECT_EQ(o.log, "(missing)");
}

TEST_F(CliFaultMatrix, ReadOnlyLogFileKeepsItsContent) {
  TcpPeer peer(Answering(kAnswer));
  WriteFile(LogPath(), kPrevious);
  ASSERT_EQ(::chmod(LogPath().c_str(), 0444), 0);
  const CliOutcome o = Run("log file read-only", peer.port(), Unprivileged());
  ExpectApprovedWithLogError(o, "File access denied - " + LogPath());
  EXPECT_TRUE(o.HasFields());
  EXPECT_EQ(ReadFile(LogPath()), kPrevious);
}

// A folder on a 16 KiB tmpfs that is already full, where the machine lets us
// mount one; elsewhere a file-size limit on the client stands in for it.
class FullFolder {
 public:
  explicit FullFolder(const std::filesystem::path& mount_point) : path_(mount_point) {
    std::filesystem::create_directory(path_);
    // PCPOS_FAULTS_NO_TMPFS=1 takes the file-size-limit path even where a mount would work.
    const char* no_tmpfs = std::getenv("PCPOS_FAULTS_NO_TMPFS");
    const bool may_mount = ::geteuid() == 0 && !(no_tmpfs && std::string(no_tmpfs) == "1");
    if (may_mount &&
        ::mount("tmpfs", path_.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "size=16k,mode=0777") == 0) {
      mounted_ = true;
      const int fd = ::open((path_ / "filler").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
      const std::string block(4096, 'f');
      while (fd >= 0 && ::write(fd, block.data(), block.size()) > 0) {
      }
      while (fd >= 0 && ::write(fd, block.data(), 1) > 0) {
      }
      if (fd >= 0) ::close(fd);
    }
  }
  ~FullFolder() {
    if (mounted_) ::umount2(path_.c_str(), MNT_DETACH);
  }
  bool mounted() const { return mounted_; }
  std::string folder() const { return path_.string() + "/"; }

 private:
  std::filesystem::path path_;
  bool mounted_ = false;
};

TEST_F(CliFaultMatrix, FullLogFolderShowsTheDiskFullErrorBelowTheApproval) {
  TcpPeer peer(Answering(kAnswer));
  FullFolder full(scratch_.path() / "full");
  folder_ = full.folder();
  ChildLimits limits;
  std::string fault = "log folder full (16 KiB tmpfs)";
  if (!full.mounted()) {
    limits.max_file_size = 16;
    fault = "log folder full (RLIMIT_FSIZE 16 bytes)";
  }
  const CliOutcome o = Run(fault, peer.port(), limits);
  ExpectApprovedWithLogError(o, "I/O error 112 - " + LogPath());
  EXPECT_TRUE(o.HasFields());
  // Whatever reached the disk before it filled is the start of the answer.
  const std::string logged = ReadFile(LogPath());
  EXPECT_LT(logged.size(), kAnswer.size());
  EXPECT_EQ(kAnswer.substr(0, logged.size()), logged);
}

TEST_F(CliFaultMatrix, LockedLogFileIsLeftAsItWas) {
  TcpPeer peer(Answering(kAnswer));
  WriteFile(LogPath(), kPrevious);
  LockHolder holder(LogPath());
  ASSERT_TRUE(holder.locked());
  const CliOutcome o = Run("log file locked by another process", peer.port());
  ExpectApprovedWithLogError(o, "I/O error 32 - " + LogPath());
  EXPECT_TRUE(o.HasFields());
  EXPECT_EQ(ReadFile(LogPath()), kPrevious);
}

TEST_F(CliFaultMatrix, LogFileReplacedByAFolderMidPayment) {
  const std::string path = LogPath();
  TcpPeer peer([&path](PeerSocket& s) {
    s.ReadLine();
    // The client has created the file before it connected; swap it now.
    std::filesystem::remove(path);
    std::filesystem::create_directory(path);
    s.Send(kAnswer);
  });
  const CliOutcome o = Run("log file replaced by a folder mid-payment", peer.port());
  // A folder is not a log file: nothing is written and nothing is reported.
  EXPECT_EQ(o.ResultText(), kApproved);
  EXPECT_EQ(o.Colour(), "green");
  EXPECT_EQ(o.Raw(), kAnswer);
  EXPECT_EQ(o.log, "(a folder)");
  EXPECT_TRUE(std::filesystem::is_empty(path));
}

// --- the terminal or the reader of the output goes away ---------------------

// The client with its standard output a pipe the test holds, so that the test
// can read part of it, close it, or signal the process mid-payment.
class RunningCli {
 public:
  RunningCli(const std::vector<std::string>& args, const std::string& err_file) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return;
    started_ = std::chrono::steady_clock::now();
    pid_ = ::fork();
    if (pid_ == 0) {
      // Only async-signal-safe calls: the test has threads.
      const int err = ::open(err_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      const int null = ::open("/dev/null", O_RDONLY);
      if (err < 0 || null < 0 || ::dup2(fds[1], 1) < 0 || ::dup2(err, 2) < 0 ||
          ::dup2(null, 0) < 0) {
        ::_exit(126);
      }
      for (int fd = 3; fd < 1024; ++fd) ::close(fd);
      ::execv(argv[0], argv.data());
      ::_exit(127);
    }
    ::close(fds[1]);
    out_ = fds[0];
  }
  ~RunningCli() {
    CloseOutput();
    if (pid_ > 0 && !waited_) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  RunningCli(const RunningCli&) = delete;
  RunningCli& operator=(const RunningCli&) = delete;

  bool started() const { return pid_ > 0 && out_ >= 0; }
  // One line of the output, as `head -1` reads it.
  std::string ReadLine() {
    std::string line;
    char c = 0;
    while (line.find('\n') == std::string::npos && ::read(out_, &c, 1) == 1) line += c;
    return line;
  }
  std::string ReadAll() {
    std::string all;
    char buffer[4096];
    for (ssize_t n; (n = ::read(out_, buffer, sizeof buffer)) > 0;)
      all.append(buffer, static_cast<std::size_t>(n));
    return all;
  }
  void CloseOutput() {
    if (out_ >= 0) ::close(out_);
    out_ = -1;
  }
  void Signal(int signal) const { ::kill(pid_, signal); }
  ChildResult Wait() {
    ChildResult result;
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    waited_ = true;
    result.elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - started_);
    result.exited = WIFEXITED(status);
    if (result.exited) result.exit_code = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
    return result;
  }

 private:
  pid_t pid_ = -1;
  int out_ = -1;
  bool waited_ = false;
  std::chrono::steady_clock::time_point started_;
};

// A reader that answers once the test lets it (after it has done to the
// client what the row is about), so that the order is certain.
TcpPeer::Script AnswerWhenAllowed(const std::atomic<bool>& allowed) {
  return [&allowed](PeerSocket& s) {
    s.ReadLine();
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (!allowed.load() && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(5ms);
    s.Send(kAnswer);
  };
}

// The approved rows of the journal beside the log.
long ApprovedRows(const std::string& folder) {
  const std::string journal = ReadFile(folder + "Selvarin-PcPosJournal.csv");
  long rows = 0;
  for (std::size_t at = 0; (at = journal.find(",approved,", at)) != std::string::npos; ++at) ++rows;
  return rows;
}

// `pcpos-cli ... | head -1`: the reader of the output takes the request line
// and goes; the approval that follows still reaches the log and the journal,
// and the exit status is the payment's.
TEST_F(CliFaultMatrix, AReaderOfTheOutputThatGoesAwayEndsNoPayment) {
  std::atomic<bool> closed{false};
  TcpPeer peer(AnswerWhenAllowed(closed));
  RunningCli cli({PCPOS_CLI_PATH, "--host", "127.0.0.1", "--port", peer.port_text(), "--amount",
                  "1000", "--log-dir", folder_},
                 folder_ + "err.txt");
  ASSERT_TRUE(cli.started());
  EXPECT_EQ(cli.ReadLine(), "request: @@ZRM@@011000410000000020000000530000011\n");
  cli.CloseOutput();
  closed = true;
  const ChildResult child = cli.Wait();
  const std::string log = DescribeLog(LogPath());
  RecordFaultRow({"pcpos-cli", "standard output closed after its first line (`| head -1`)",
                  "(not seen)", "", "(not seen)", child.elapsed, log, child.Ending()});
  EXPECT_TRUE(child.exited) << child.Ending();
  EXPECT_EQ(child.exit_code, 0);
  EXPECT_EQ(ReadFile(LogPath()), kAnswer);
  EXPECT_EQ(ApprovedRows(folder_), 1);
}

// A dropped ssh session while the cardholder pays: SIGHUP cancels nothing, the
// approval is read, logged and journaled, and output into a pipe goes on.
TEST_F(CliFaultMatrix, AHangUpDuringTheWaitEndsNoPayment) {
  std::atomic<bool> hung_up{false};
  TcpPeer peer(AnswerWhenAllowed(hung_up));
  RunningCli cli({PCPOS_CLI_PATH, "--json", "--host", "127.0.0.1", "--port", peer.port_text(),
                  "--amount", "1000", "--log-dir", folder_},
                 folder_ + "err.txt");
  ASSERT_TRUE(cli.started());
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  while (peer.received().empty() && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(5ms);
  ASSERT_FALSE(peer.received().empty());
  cli.Signal(SIGHUP);
  hung_up = true;
  const json report = json::parse(cli.ReadAll(), nullptr, /*allow_exceptions=*/false);
  const ChildResult child = cli.Wait();
  const std::string log = DescribeLog(LogPath());
  const bool has_result = report.is_object() && report["result"].is_object();
  RecordFaultRow(
      {"pcpos-cli", "SIGHUP while the reader waits for the cardholder",
       has_result ? report["result"]["text"].get<std::string>() : "(none)",
       has_result ? report["result"]["colour"].get<std::string>() : "",
       report.is_object() && report["raw"].is_string() ? report["raw"].get<std::string>() : "",
       child.elapsed, log, child.Ending()});
  EXPECT_TRUE(child.exited) << child.Ending();
  EXPECT_EQ(child.exit_code, 0);
  ASSERT_TRUE(report.is_object());
  EXPECT_EQ(report["outcome"], "approved");
  EXPECT_EQ(ReadFile(LogPath()), kAnswer);
  EXPECT_EQ(ApprovedRows(folder_), 1);
}

class TableWriter : public ::testing::Environment {
 public:
  void TearDown() override { WriteFaultTable(PCPOS_FAULT_TABLE, "pcpos-cli"); }
};
const auto* const table_writer = ::testing::AddGlobalTestEnvironment(new TableWriter);

}  // namespace
}  // namespace pcpos::testing
