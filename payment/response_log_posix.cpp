// The response log's file on POSIX systems.
#include "payment/response_log.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>

#include "payment/buffered_write.h"
#include "payment/file_posix.h"

namespace pcpos {

using posix_file::Fail;
using posix_file::FileDescriptor;

namespace {

// Codes for errors that have no entry of their own in the message table; the
// numbers are the Windows system errors for the same conditions, so the
// message reads the same on every platform.
constexpr int kErrorFilenameTooLong = 206;       // ERROR_FILENAME_EXCED_RANGE
constexpr int kErrorCantResolveFilename = 1921;  // ERROR_CANT_RESOLVE_FILENAME
constexpr int kErrorIoDevice = 1117;             // ERROR_IO_DEVICE
constexpr int kErrorGenFailure = 31;             // ERROR_GEN_FAILURE: everything else

// The C interfaces would silently cut a name at its first zero byte and reach
// a different file.
bool IsValidName(const std::string& path) { return path.find('\0') == std::string::npos; }

int OpenForWriting(const std::string& path) {
  if (!IsValidName(path)) throw LogFileError(log_error::kInvalidName, path);
  // No O_TRUNC: the content may only go once the lock is held. O_NONBLOCK keeps
  // a FIFO swapped in for the file from blocking the open.
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0666);
  if (fd < 0) Fail(errno, path);
  return fd;
}

void WriteAll(int fd, const char* data, std::size_t size, const std::string& path) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      Fail(errno, path);
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
}

}  // namespace

int LogErrorFromPlatform(int platform_error) {
  const int e = platform_error;
  if (e == ENOENT || e == ENOTDIR) return log_error::kPathNotFound;
  if (e == EACCES || e == EPERM || e == EISDIR || e == EROFS || e == ETXTBSY) {
    return log_error::kAccessDenied;
  }
  if (e == EMFILE || e == ENFILE) return log_error::kTooManyOpenFiles;
  if (e == EWOULDBLOCK || e == EAGAIN) return log_error::kSharingViolation;
  if (e == ENOSPC || e == EDQUOT || e == EFBIG) return log_error::kDiskFull;
  if (e == ENAMETOOLONG) return kErrorFilenameTooLong;
  if (e == ELOOP) return kErrorCantResolveFilename;
  if (e == EIO) return kErrorIoDevice;
  return kErrorGenFailure;
}

bool LogFileExists(const std::string& path) {
  struct stat info {};
  return IsValidName(path) && ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool IsExistingFolder(const std::string& path) {
  struct stat info {};
  return IsValidName(path) && ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

void EnsureLog(const std::string& path) {
  if (LogFileExists(path)) return;
  // Creates without truncating: a file that appeared since the test keeps its content.
  FileDescriptor file(OpenForWriting(path));
  if (const int error = file.Close()) Fail(error, path);
}

bool WriteLog(const std::string& path, std::string_view text) {
  if (!LogFileExists(path)) return false;
  FileDescriptor file(OpenForWriting(path));
  // Only one writer at a time; readers are not held back. Truncating before
  // the lock is held would destroy the file another writer is producing.
  if (::flock(file.get(), LOCK_EX | LOCK_NB) != 0) Fail(errno, path);
  if (::ftruncate(file.get(), 0) != 0) Fail(errno, path);
  detail::WriteBuffered(
      text, [&](const char* data, std::size_t size) { WriteAll(file.get(), data, size, path); });
  if (const int error = file.Close()) Fail(error, path);
  return true;
}

}  // namespace pcpos
