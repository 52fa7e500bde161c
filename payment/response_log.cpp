#include "payment/response_log.h"

#include <array>
#include <cstddef>

#include "text/text.h"

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace pcpos {

LogFileError::LogFileError(int code, const std::string& path)
    : std::runtime_error(LogErrorMessage(code, path)), code_(code) {}

std::string LogErrorMessage(int code, std::string_view path) {
  switch (code) {
    case log_error::kFileNotFound:
      return "The specified file was not found";
    case log_error::kPathNotFound:
      return "Invalid file name - " + std::string(path);
    case log_error::kTooManyOpenFiles:
      return "Too many open files";
    case log_error::kAccessDenied:
      return "File access denied";
    default:
      return "I/O error " + std::to_string(code);
  }
}

std::string LogFilePath(std::string_view folder) {
  return std::string(TrimControl(folder)) + std::string(kLogFileName);
}

namespace {

// The log is written through a buffer of this size: each time it fills it is
// written out, and what remains goes out when the file is closed.
constexpr std::size_t kWriteBufferSize = 128;

// Hands the text to `write_out` in pieces of at most the buffer size, the
// way a buffered file writes it.
template <typename WriteOut>
void WriteBuffered(std::string_view text, WriteOut&& write_out) {
  std::array<char, kWriteBufferSize> buffer{};
  std::size_t used = 0;
  for (char c : text) {
    buffer[used++] = c;
    if (used == buffer.size()) {
      write_out(buffer.data(), used);
      used = 0;
    }
  }
  if (used > 0) write_out(buffer.data(), used);
}

}  // namespace

#ifdef _WIN32

// Windows: the system error codes are the codes of the messages, so they pass
// through unchanged.

namespace {

std::wstring Wide(std::string_view utf8) {
  if (utf8.empty()) return {};
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
  return out;
}

// The file holds text in the ANSI code page; characters it lacks become its
// default character.
std::string Ansi(std::string_view utf8) {
  const std::wstring wide = Wide(utf8);
  if (wide.empty()) return {};
  const int n = WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                    nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), out.data(), n, nullptr,
                      nullptr);
  return out;
}

class Handle {
 public:
  explicit Handle(HANDLE h) : h_(h) {}
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  ~Handle() {
    if (h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
  }
  HANDLE get() const { return h_; }
  // Closes now; the error code of a failed close, else 0.
  DWORD Close() {
    const BOOL ok = CloseHandle(h_);
    h_ = INVALID_HANDLE_VALUE;
    return ok ? 0 : GetLastError();
  }

 private:
  HANDLE h_;
};

// Others may read the file while it is written, but not write it.
HANDLE OpenForWriting(const std::string& path, DWORD disposition) {
  HANDLE h = CreateFileW(Wide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, disposition,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) throw LogFileError(static_cast<int>(GetLastError()), path);
  return h;
}

}  // namespace

int LogErrorFromPlatform(int platform_error) { return platform_error; }

bool LogFileExists(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(Wide(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

void EnsureLog(const std::string& path) {
  if (LogFileExists(path)) return;
  // OPEN_ALWAYS: a file that appeared since the test keeps its content.
  Handle file(OpenForWriting(path, OPEN_ALWAYS));
  if (const DWORD error = file.Close()) throw LogFileError(static_cast<int>(error), path);
}

void WriteLog(const std::string& path, std::string_view text) {
  if (!LogFileExists(path)) return;
  Handle file(OpenForWriting(path, CREATE_ALWAYS));
  WriteBuffered(Ansi(text), [&](const char* data, std::size_t size) {
    DWORD written = 0;
    if (!WriteFile(file.get(), data, static_cast<DWORD>(size), &written, nullptr) || written != size) {
      throw LogFileError(static_cast<int>(GetLastError()), path);
    }
  });
  if (const DWORD error = file.Close()) throw LogFileError(static_cast<int>(error), path);
}

#else  // POSIX

namespace {

// Codes for errors that have no entry of their own in the message table; the
// numbers are the Windows system errors for the same conditions, so the
// message reads the same on every platform.
constexpr int kErrorInvalidName = 123;          // ERROR_INVALID_NAME
constexpr int kErrorFilenameTooLong = 206;      // ERROR_FILENAME_EXCED_RANGE
constexpr int kErrorCantResolveFilename = 1921; // ERROR_CANT_RESOLVE_FILENAME
constexpr int kErrorIoDevice = 1117;            // ERROR_IO_DEVICE
constexpr int kErrorGenFailure = 31;            // ERROR_GEN_FAILURE: everything else

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  // An error has already been reported on this path; a close failure would
  // only hide it.
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }
  // Closes now; the errno of a failed close, else 0.
  int Close() {
    const int result = ::close(fd_);
    fd_ = -1;
    // After EINTR the descriptor is gone on Linux; nothing was lost.
    return result == 0 || errno == EINTR ? 0 : errno;
  }

 private:
  int fd_;
};

[[noreturn]] void Fail(int error, const std::string& path) {
  throw LogFileError(LogErrorFromPlatform(error), path);
}

// The C interfaces would silently cut a name at its first zero byte and reach
// a different file.
bool IsValidName(const std::string& path) { return path.find('\0') == std::string::npos; }

int OpenForWriting(const std::string& path) {
  if (!IsValidName(path)) throw LogFileError(kErrorInvalidName, path);
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

void EnsureLog(const std::string& path) {
  if (LogFileExists(path)) return;
  // Creates without truncating: a file that appeared since the test keeps its content.
  FileDescriptor file(OpenForWriting(path));
  if (const int error = file.Close()) Fail(error, path);
}

void WriteLog(const std::string& path, std::string_view text) {
  if (!LogFileExists(path)) return;
  FileDescriptor file(OpenForWriting(path));
  // Only one writer at a time; readers are not held back. Truncating before
  // the lock is held would destroy the file another writer is producing.
  if (::flock(file.get(), LOCK_EX | LOCK_NB) != 0) Fail(errno, path);
  if (::ftruncate(file.get(), 0) != 0) Fail(errno, path);
  WriteBuffered(text, [&](const char* data, std::size_t size) { WriteAll(file.get(), data, size, path); });
  if (const int error = file.Close()) Fail(error, path);
}

#endif

}  // namespace pcpos
