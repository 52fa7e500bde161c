#include "payment/journal.h"

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <exception>
#include <iterator>
#include <thread>

#include "payment/response_log.h"
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
namespace {

// A spreadsheet takes the file for UTF-8 only with this mark, and shows the
// Persian result texts as mojibake without it.
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

constexpr int kErrorInvalidName = 123;  // ERROR_INVALID_NAME, as the response log numbers it

// Fixed notation with one decimal, whatever the process's locale: a window
// under a Persian or German locale must not write "12,3" into a CSV.
std::string Milliseconds(const std::optional<double>& ms) {
  if (!ms) return {};
  char buffer[32];
  const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, *ms,
                                          std::chars_format::fixed, 1);
  if (error != std::errc()) return {};
  return std::string(buffer, end);
}

// Another writer holds the file only for the moment of one row; waiting in
// short steps keeps a stuck holder from blocking a payment for ever.
template <typename TryOnce>
bool WithinLockWait(TryOnce&& try_once) {
  const auto deadline = std::chrono::steady_clock::now() + kJournalLockWait;
  for (;;) {
    if (try_once()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

std::string FirstRowsOfNewFile() {
  return std::string(kByteOrderMark) + std::string(kJournalHeader) + "\r\n";
}

}  // namespace

std::string JournalFilePath(std::string_view folder) {
  return std::string(TrimControl(folder)) + std::string(kJournalFileName);
}

std::string CsvField(std::string_view text) {
  if (text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(text);
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  quoted += '"';
  return quoted;
}

std::string LocalIsoTime(std::chrono::system_clock::time_point when) {
  const std::time_t t = std::chrono::system_clock::to_time_t(when);
  std::tm local{};
  long offset_s = 0;
#ifdef _WIN32
  localtime_s(&local, &t);
  std::tm copy = local;
  offset_s = static_cast<long>(_mkgmtime(&copy) - t);
#else
  localtime_r(&t, &local);
  offset_s = local.tm_gmtoff;
#endif
  const long offset_min = std::labs(offset_s) / 60;
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d%c%02ld:%02ld", local.tm_year + 1900,
                local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                offset_s < 0 ? '-' : '+', offset_min / 60, offset_min % 60);
  return text;
}

std::string JournalRow(const PaymentInputs& inputs, const PaymentReport& report,
                       std::chrono::system_clock::time_point started) {
  const std::string fields[] = {
      LocalIsoTime(started),
      inputs.host,
      inputs.port,
      inputs.amount,
      report.request.value_or(""),
      report.answer,
      report.fields ? report.fields->ResponseCode : "",
      report.result ? report.result->text : "",
      std::string(OutcomeName(report.outcome)),
      Milliseconds(report.timings.connect_ms),
      Milliseconds(report.timings.answer_ms),
      report.error,
  };
  std::string row;
  for (std::size_t i = 0; i < std::size(fields); ++i) {
    if (i > 0) row += ',';
    row += CsvField(fields[i]);
  }
  row += "\r\n";
  return row;
}

std::optional<std::string> JournalPayment(const PaymentInputs& inputs, const PaymentReport& report,
                                          std::chrono::system_clock::time_point started) {
  try {
    AppendJournalRows(JournalFilePath(inputs.log_folder), JournalRow(inputs, report, started));
  } catch (const std::exception& e) {
    return std::string(e.what());
  }
  return std::nullopt;
}

#ifdef _WIN32

// Exclusive against other writers by the sharing mode, as the response log is:
// while one program holds the file open to append, another's open fails with a
// sharing violation and is tried again. Readers are not held back.

namespace {

std::wstring Wide(std::string_view utf8) {
  if (utf8.empty()) return {};
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
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
  DWORD Close() {
    const BOOL ok = CloseHandle(h_);
    h_ = INVALID_HANDLE_VALUE;
    return ok ? 0 : GetLastError();
  }

 private:
  HANDLE h_;
};

}  // namespace

void AppendJournalRows(const std::string& path, std::string_view rows) {
  if (path.find('\0') != std::string::npos) throw LogFileError(kErrorInvalidName, path);
  const std::wstring wide_path = Wide(path);
  HANDLE opened = INVALID_HANDLE_VALUE;
  const bool got_it = WithinLockWait([&] {
    // FILE_APPEND_DATA without FILE_WRITE_DATA: every write goes to the end of
    // the file, whatever another program has added since.
    opened = CreateFileW(wide_path.c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                         FILE_SHARE_READ, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (opened != INVALID_HANDLE_VALUE) return true;
    const DWORD error = GetLastError();
    // Only a writer in the way is worth waiting for.
    if (error != ERROR_SHARING_VIOLATION) throw LogFileError(static_cast<int>(error), path);
    return false;
  });
  if (!got_it) throw LogFileError(log_error::kSharingViolation, path);
  Handle file(opened);

  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.get(), &size)) throw LogFileError(static_cast<int>(GetLastError()), path);
  std::string bytes = size.QuadPart == 0 ? FirstRowsOfNewFile() : std::string();
  bytes.append(rows);
  DWORD written = 0;
  if (!WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr)) {
    throw LogFileError(static_cast<int>(GetLastError()), path);
  }
  if (written != bytes.size()) throw LogFileError(log_error::kDiskFull, path);
  if (const DWORD error = file.Close()) throw LogFileError(static_cast<int>(error), path);
}

#else  // POSIX

namespace {

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }
  int Close() {
    const int result = ::close(fd_);
    fd_ = -1;
    return result == 0 || errno == EINTR ? 0 : errno;
  }

 private:
  int fd_;
};

[[noreturn]] void Fail(int error, const std::string& path) {
  throw LogFileError(LogErrorFromPlatform(error), path);
}

}  // namespace

void AppendJournalRows(const std::string& path, std::string_view rows) {
  if (path.find('\0') != std::string::npos) throw LogFileError(kErrorInvalidName, path);
  // O_NONBLOCK keeps a FIFO put in the file's place from blocking the open.
  FileDescriptor file(
      ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0666));
  if (file.get() < 0) Fail(errno, path);

  // The same kind of lock the response log takes; here a writer waits its turn
  // instead of failing, since rows of other programs must not cost this one its row.
  const bool locked = WithinLockWait([&] {
    if (::flock(file.get(), LOCK_EX | LOCK_NB) == 0) return true;
    if (errno != EWOULDBLOCK && errno != EINTR) Fail(errno, path);
    return false;
  });
  if (!locked) Fail(EWOULDBLOCK, path);

  struct stat info {};
  if (::fstat(file.get(), &info) != 0) Fail(errno, path);
  if (!S_ISREG(info.st_mode)) Fail(EACCES, path);
  // Under the lock, an empty file is one nobody has written the header into yet.
  std::string bytes = info.st_size == 0 ? FirstRowsOfNewFile() : std::string();
  bytes.append(rows);

  // One write, so that a reader or a crash never sees half a row from us
  // between two rows of another program.
  ssize_t n = -1;
  do {
    n = ::write(file.get(), bytes.data(), bytes.size());
  } while (n < 0 && errno == EINTR);
  if (n != static_cast<ssize_t>(bytes.size())) {
    const int error = n < 0 ? errno : ENOSPC;
    // A short write (disk full, file size limit) would leave half a row for
    // the next one to be glued to: take it back.
    if (n > 0) {
      // When this fails too, the write's error is still the one to report.
      const int ignored = ::ftruncate(file.get(), info.st_size);
      static_cast<void>(ignored);
    }
    Fail(error, path);
  }
  if (const int error = file.Close()) Fail(error, path);
}

#endif

}  // namespace pcpos
