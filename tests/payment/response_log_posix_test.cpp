// The response log's POSIX side: errno onto the table's codes, permission bits
// (checked without root), and the home folder as the default log folder.
#include "payment/response_log.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>

#include "payment/defaults.h"
#include "tests/payment/log_error_code.h"
#include "tests/support/files.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/unprivileged.h"

namespace pcpos {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::RunUnprivileged;
using testing::ScratchDir;
using testing::WriteFile;

TEST(LogErrorFromPlatform, MapsErrnoOntoTheTableCodes) {
  const struct {
    int error;
    int code;
  } cases[] = {
      {ENOENT, 3},  {ENOTDIR, 3},  {EACCES, 5},   {EPERM, 5},   {EISDIR, 5},
      {EROFS, 5},   {ETXTBSY, 5},  {EMFILE, 4},   {ENFILE, 4},  {EWOULDBLOCK, 32},
      {EAGAIN, 32}, {ENOSPC, 112}, {EDQUOT, 112}, {EFBIG, 112},
  };
  for (const auto& c : cases) EXPECT_EQ(LogErrorFromPlatform(c.error), c.code) << c.error;
  // Whatever else goes wrong must not pose as one of the table's named conditions.
  for (const int other : {EIO, EINVAL, ENAMETOOLONG, ELOOP, ENXIO}) {
    const int code = LogErrorFromPlatform(other);
    EXPECT_TRUE(code != 2 && code != 3 && code != 4 && code != 5 && code != 32 && code != 112)
        << other << " gave " << code;
  }
}

class ResponseLogPermissions : public ::testing::Test {
 protected:
  ScratchDir dir_;
  std::string path_ = LogFilePath(dir_.folder());
};

TEST_F(ResponseLogPermissions, ReadOnlyFileExistsButRefusesTheWrite) {
  WriteFile(path_, "kept");
  ASSERT_EQ(::chmod(path_.c_str(), 0444), 0);
  const int code = RunUnprivileged([&] {
    if (!LogFileExists(path_)) return 100;
    EnsureLog(path_);  // exists: nothing to do, nothing to fail
    return ErrorCodeOf([&] { WriteLog(path_, "lost"); }).value_or(0);
  });
  EXPECT_EQ(code, 5);
  EXPECT_EQ(ReadFile(path_), "kept");
}

TEST_F(ResponseLogPermissions, ReadOnlyFolderRefusesTheNewFile) {
  const ScratchDir locked("pcpos-locked-");
  ASSERT_EQ(::chmod(locked.path().c_str(), 0555), 0);
  const std::string path = LogFilePath(locked.folder());
  const int code =
      RunUnprivileged([&] { return ErrorCodeOf([&] { EnsureLog(path); }).value_or(0); });
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
