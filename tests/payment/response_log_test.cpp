#include "payment/response_log.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>

#include "payment/defaults.h"
#include "tests/support/unprivileged.h"

namespace pcpos {
namespace {

namespace fs = std::filesystem;
using testing::RunUnprivileged;
using testing::ScratchDir;

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void PutFile(const fs::path& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

// The code of the LogFileError that `action` throws, or nullopt when it throws none.
template <typename Action>
std::optional<int> ErrorCodeOf(Action&& action) {
  try {
    action();
  } catch (const LogFileError& e) {
    return e.code();
  }
  return std::nullopt;
}

// Text that shows where a piece is lost or repeated: no two 4-byte windows agree.
std::string Numbered(std::size_t size) {
  std::ostringstream out;
  for (int i = 0; out.tellp() < static_cast<std::streamoff>(size); ++i) out << i << ';';
  return out.str().substr(0, size);
}

TEST(LogFilePath, TrimsTheFolderAndAddsNoSeparator) {
  const struct {
    std::string folder;
    std::string path;
  } cases[] = {
      {"C:\\", "C:\\Selvarin-PcPosLog.txt"},
      {"C:\\logs", "C:\\logsSelvarin-PcPosLog.txt"},
      {" \t/var/log/\r\n", "/var/log/Selvarin-PcPosLog.txt"},
      {"", "Selvarin-PcPosLog.txt"},
      {"\xC2\xA0/x/", "\xC2\xA0/x/Selvarin-PcPosLog.txt"},  // a no-break space stays
  };
  for (const auto& c : cases) EXPECT_EQ(LogFilePath(c.folder), c.path) << c.folder;
}

TEST(LogErrorMessage, FollowsTheFileErrorTable) {
  const struct {
    int code;
    std::string message;
  } cases[] = {
      {2, "The specified file was not found"},
      {3, "Invalid file name - /no/such/Selvarin-PcPosLog.txt"},
      {4, "Too many open files"},
      {5, "File access denied"},
      {32, "I/O error 32"},
      {112, "I/O error 112"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(LogErrorMessage(c.code, "/no/such/Selvarin-PcPosLog.txt"), c.message);
    EXPECT_STREQ(LogFileError(c.code, "/no/such/Selvarin-PcPosLog.txt").what(), c.message.c_str());
  }
}

TEST(LogErrorFromPlatform, MapsErrnoOntoTheTableCodes) {
  const struct {
    int error;
    int code;
  } cases[] = {
      {ENOENT, 3}, {ENOTDIR, 3}, {EACCES, 5}, {EPERM, 5},   {EISDIR, 5},  {EROFS, 5},
      {ETXTBSY, 5}, {EMFILE, 4}, {ENFILE, 4}, {EWOULDBLOCK, 32}, {EAGAIN, 32}, {ENOSPC, 112},
      {EDQUOT, 112}, {EFBIG, 112},
  };
  for (const auto& c : cases) EXPECT_EQ(LogErrorFromPlatform(c.error), c.code) << c.error;
  // Whatever else goes wrong must not pose as one of the table's named conditions.
  for (const int other : {EIO, EINVAL, ENAMETOOLONG, ELOOP, ENXIO}) {
    const int code = LogErrorFromPlatform(other);
    EXPECT_TRUE(code != 2 && code != 3 && code != 4 && code != 5 && code != 32 && code != 112)
        << other << " gave " << code;
  }
}

class ResponseLogFile : public ::testing::Test {
 protected:
  ScratchDir dir_;
  std::string path_ = LogFilePath(dir_.folder());
};

TEST_F(ResponseLogFile, EnsureLogCreatesAnEmptyFile) {
  EXPECT_FALSE(LogFileExists(path_));
  EnsureLog(path_);
  EXPECT_TRUE(LogFileExists(path_));
  EXPECT_EQ(fs::file_size(path_), 0u);
}

TEST_F(ResponseLogFile, EnsureLogKeepsAnExistingFile) {
  PutFile(path_, "@@ZRM@@earlier answer");
  EnsureLog(path_);
  EXPECT_EQ(ReadFile(path_), "@@ZRM@@earlier answer");
}

TEST_F(ResponseLogFile, WriteLogKeepsOnlyTheLastTextWithExactBytes) {
  EnsureLog(path_);
  for (const std::string& text :
       {Numbered(1000), std::string("@@ZRM@@0212"), Numbered(128), Numbered(256), Numbered(129),
        std::string()}) {
    WriteLog(path_, text);
    EXPECT_EQ(ReadFile(path_), text) << text.size() << " bytes";
  }
}

TEST_F(ResponseLogFile, WriteLogWithoutAFileDoesNothing) {
  WriteLog(path_, "@@ZRM@@");
  EXPECT_FALSE(fs::exists(path_));
}

TEST_F(ResponseLogFile, MissingFolderIsAnInvalidFileName) {
  const std::string path = LogFilePath(dir_.folder() + "missing/");
  EXPECT_FALSE(LogFileExists(path));
  try {
    EnsureLog(path);
    FAIL() << "EnsureLog created a file in a missing folder";
  } catch (const LogFileError& e) {
    EXPECT_EQ(e.code(), 3);
    EXPECT_EQ(std::string(e.what()), "Invalid file name - " + path);
  }
  WriteLog(path, "text");  // nothing to write to, nothing reported
}

TEST_F(ResponseLogFile, AFolderOfThatNameIsNotALogFile) {
  fs::create_directory(path_);
  EXPECT_FALSE(LogFileExists(path_));
  EXPECT_EQ(ErrorCodeOf([&] { EnsureLog(path_); }), 5);
  EXPECT_EQ(ErrorCodeOf([&] { WriteLog(path_, "text"); }), std::nullopt);
  EXPECT_TRUE(fs::is_directory(path_));
}

TEST_F(ResponseLogFile, AnotherWriterHoldingTheFileIsASharingViolation) {
  PutFile(path_, "the other writer's answer");
  const int other = ::open(path_.c_str(), O_WRONLY | O_CLOEXEC);
  ASSERT_GE(other, 0);
  ASSERT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0);

  try {
    WriteLog(path_, "mine");
    ADD_FAILURE() << "WriteLog wrote past another writer's lock";
  } catch (const LogFileError& e) {
    EXPECT_EQ(e.code(), 32);
    EXPECT_STREQ(e.what(), "I/O error 32");
  }
  EXPECT_EQ(ReadFile(path_), "the other writer's answer");

  ::close(other);
  WriteLog(path_, "mine");
  EXPECT_EQ(ReadFile(path_), "mine");
}

TEST_F(ResponseLogFile, ReadOnlyFileExistsButRefusesTheWrite) {
  PutFile(path_, "kept");
  ASSERT_EQ(::chmod(path_.c_str(), 0444), 0);
  const int code = RunUnprivileged([&] {
    if (!LogFileExists(path_)) return 100;
    EnsureLog(path_);  // exists: nothing to do, nothing to fail
    return ErrorCodeOf([&] { WriteLog(path_, "lost"); }).value_or(0);
  });
  EXPECT_EQ(code, 5);
  EXPECT_EQ(ReadFile(path_), "kept");
}

TEST_F(ResponseLogFile, ReadOnlyFolderRefusesTheNewFile) {
  const ScratchDir locked("pcpos-locked-");
  ASSERT_EQ(::chmod(locked.path().c_str(), 0555), 0);
  const std::string path = LogFilePath(locked.folder());
  const int code = RunUnprivileged([&] { return ErrorCodeOf([&] { EnsureLog(path); }).value_or(0); });
  EXPECT_EQ(code, 5);
  EXPECT_FALSE(fs::exists(path));
}

TEST(DefaultLogFolder, IsTheHomeFolderWithASeparator) {
  const char* saved = std::getenv("HOME");
  const std::optional<std::string> home = saved ? std::optional<std::string>(saved) : std::nullopt;

  ::setenv("HOME", "/home/operator", 1);
  EXPECT_EQ(DefaultLogFolder(), "/home/operator/");
  ::setenv("HOME", "/home/operator/", 1);
  EXPECT_EQ(DefaultLogFolder(), "/home/operator/");
  ::unsetenv("HOME");
  const std::string fallback = DefaultLogFolder();
  EXPECT_FALSE(fallback.empty());
  EXPECT_EQ(fallback.front(), '/');
  EXPECT_EQ(fallback.back(), '/');

  if (home) ::setenv("HOME", home->c_str(), 1);
}

}  // namespace
}  // namespace pcpos
