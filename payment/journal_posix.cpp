// The journal's appends on POSIX systems: O_APPEND, one write and fdatasync,
// under flock.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "payment/file_posix.h"
#include "payment/journal.h"
#include "payment/journal_platform.h"

namespace pcpos {

using journal_detail::FirstRowsOfNewFile;
using journal_detail::WithinLockWait;
using posix_file::Fail;
using posix_file::FileDescriptor;

void AppendJournalRows(const std::string& path, std::string_view rows, std::string_view header) {
  if (path.find('\0') != std::string::npos) throw LogFileError(log_error::kInvalidName, path);
  // O_NONBLOCK keeps a FIFO put in the file's place from blocking the open.
  FileDescriptor file(::open(
      path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0666));
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
  std::string bytes = info.st_size == 0 ? FirstRowsOfNewFile(header) : std::string();
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
  // On the disk before the payment is reported: a power cut after the operator
  // saw the result must not take its row. Still under the lock, so that rows
  // of other writers stay in the order they became durable.
  if (::fdatasync(file.get()) != 0) Fail(errno, path);
  if (const int error = file.Close()) Fail(error, path);
}

}  // namespace pcpos
