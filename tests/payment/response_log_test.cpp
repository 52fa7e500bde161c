#include "payment/response_log.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>

#include "payment/defaults.h"
#include "tests/payment/log_error_code.h"
#include "tests/support/files.h"
#include "tests/support/other_writer.h"
#include "tests/support/scratch_dir.h"

namespace pcpos {
namespace {

namespace fs = std::filesystem;
using testing::OtherWriter;
using testing::ReadFile;
using testing::ScratchDir;
using testing::WriteFile;

// Text that shows where a piece is lost or repeated: no two 4-byte windows agree.
std::string Numbered(std::size_t size) {
  std::ostringstream out;
  for (int i = 0; out.tellp() < static_cast<std::streamoff>(size); ++i) out << i << ';';
  return out.str().substr(0, size);
}

// Text that names no existing folder is used as typed.
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

// An existing folder typed without its last separator gets the file inside it;
// a file or a missing name keeps the appending rule.
TEST(LogFilePath, AnExistingFolderGetsTheFileInside) {
  ScratchDir dir("pcpos-log-");
  const std::string folder = dir.path().string();
#ifdef _WIN32
  const std::string separator = "\\";
#else
  const std::string separator = "/";
#endif
  EXPECT_EQ(LogFilePath(" " + folder + "\r\n"), folder + separator + "Selvarin-PcPosLog.txt");
  EXPECT_EQ(LogFilePath(folder + "/"), folder + "/Selvarin-PcPosLog.txt");
  WriteFile(folder + separator + "day1", "");
  EXPECT_EQ(LogFilePath(folder + separator + "day1"),
            folder + separator + "day1Selvarin-PcPosLog.txt");
  EXPECT_EQ(LogFilePath(folder + separator + "day2"),
            folder + separator + "day2Selvarin-PcPosLog.txt");
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
  }
}

// What the operator is shown names the file; the code stays the table's.
TEST(LogFileError, NamesTheFileAndSaysAMissingFolderInWords) {
  const std::string path = "/no/such/folder/Selvarin-PcPosLog.txt";
  EXPECT_STREQ(LogFileError(3, path).what(), "The log folder /no/such/folder/ does not exist");
  EXPECT_EQ(LogFileError(3, path).code(), 3);
  EXPECT_STREQ(LogFileError(5, path).what(),
               "File access denied - /no/such/folder/Selvarin-PcPosLog.txt");
  EXPECT_STREQ(LogFileError(112, path).what(),
               "I/O error 112 - /no/such/folder/Selvarin-PcPosLog.txt");
  // A path with no folder in it has none to name.
  EXPECT_EQ(LogFileErrorText(3, "Selvarin-PcPosLog.txt"),
            "Invalid file name - Selvarin-PcPosLog.txt");
  EXPECT_EQ(FolderOf("/a/b"), "/a/");
  EXPECT_EQ(FolderOf("b"), "");
#ifdef _WIN32
  EXPECT_STREQ(LogFileError(3, "C:\\no\\such\\folder\\Selvarin-PcPosLog.txt").what(),
               "The log folder C:\\no\\such\\folder\\ does not exist");
#endif
}

#ifdef _WIN32
// A user who is not an administrator may not create files in the root of
// drive C: the initial folder is one of their own, ready for the file name.
TEST(DefaultLogFolder, IsTheUsersDocumentsFolderWithItsSeparator) {
  const std::string folder = DefaultLogFolder();
  ASSERT_GT(folder.size(), 3u) << folder;
  EXPECT_EQ(folder.back(), '\\');
  EXPECT_TRUE(IsExistingFolder(folder.substr(0, folder.size() - 1))) << folder;
  EXPECT_EQ(LogFilePath(folder), folder + "Selvarin-PcPosLog.txt");
  const std::string probe = folder + "pcpos-test-probe.txt";
  EnsureLog(probe);
  EXPECT_TRUE(LogFileExists(probe)) << "the user can write in it";
  fs::remove(fs::path(std::u8string(probe.begin(), probe.end())));
}
#endif

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
  WriteFile(path_, "@@ZRM@@earlier answer");
  EnsureLog(path_);
  EXPECT_EQ(ReadFile(path_), "@@ZRM@@earlier answer");
}

TEST_F(ResponseLogFile, WriteLogKeepsOnlyTheLastTextWithExactBytes) {
  EnsureLog(path_);
  for (const std::string& text : {Numbered(1000), std::string("@@ZRM@@0212"), Numbered(128),
                                  Numbered(256), Numbered(129), std::string()}) {
    WriteLog(path_, text);
    EXPECT_EQ(ReadFile(path_), text) << text.size() << " bytes";
  }
}

TEST_F(ResponseLogFile, WriteLogWithoutAFileDoesNothing) {
  WriteLog(path_, "@@ZRM@@");
  EXPECT_FALSE(fs::exists(path_));
}

TEST_F(ResponseLogFile, AMissingFolderIsNamed) {
  const std::string path = LogFilePath(dir_.folder() + "missing/");
  EXPECT_FALSE(LogFileExists(path));
  try {
    EnsureLog(path);
    FAIL() << "EnsureLog created a file in a missing folder";
  } catch (const LogFileError& e) {
    EXPECT_EQ(e.code(), 3);
    EXPECT_EQ(std::string(e.what()), "The log folder " + dir_.folder() + "missing/ does not exist");
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
  WriteFile(path_, "the other writer's answer");
  OtherWriter other(path_);
  ASSERT_TRUE(other.holding());

  try {
    WriteLog(path_, "mine");
    ADD_FAILURE() << "WriteLog wrote past another writer";
  } catch (const LogFileError& e) {
    EXPECT_EQ(e.code(), 32);
    EXPECT_EQ(std::string(e.what()), "I/O error 32 - " + path_);
  }
  EXPECT_EQ(ReadFile(path_), "the other writer's answer");

  other.Release();
  WriteLog(path_, "mine");
  EXPECT_EQ(ReadFile(path_), "mine");
}

// The folder text is UTF-8; on Windows it must reach the file system as UTF-16,
// not through the ANSI code page.
TEST_F(ResponseLogFile, AFolderWithAPersianNameHoldsTheLog) {
  const fs::path folder = dir_.path() / fs::path(u8"گزارش‌ها");
  ASSERT_TRUE(fs::create_directory(folder));
  const std::string path = LogFilePath(dir_.folder() + "گزارش‌ها/");
  EnsureLog(path);
  EXPECT_TRUE(LogFileExists(path));
  WriteLog(path, "@@ZRM@@0212");
  EXPECT_EQ(ReadFile(folder / std::string(kLogFileName)), "@@ZRM@@0212");
}

}  // namespace
}  // namespace pcpos
