// The journal's appends on Windows.
#include "payment/file_win32.h"
#include "payment/journal.h"
#include "payment/journal_platform.h"
#include "payment/response_log.h"
#include "text/utf16.h"

namespace pcpos {

using journal_detail::FirstRowsOfNewFile;
using journal_detail::WithinLockWait;
using win32_file::Handle;

// Exclusive against other writers by the sharing mode, as the response log is:
// while one program holds the file open to append, another's open fails with a
// sharing violation and is tried again. Readers are not held back.

void AppendJournalRows(const std::string& path, std::string_view rows, std::string_view header) {
  if (path.find('\0') != std::string::npos) throw LogFileError(log_error::kInvalidName, path);
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
  std::string bytes = size.QuadPart == 0 ? FirstRowsOfNewFile(header) : std::string();
  bytes.append(rows);
  DWORD written = 0;
  if (!WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr)) {
    throw LogFileError(static_cast<int>(GetLastError()), path);
  }
  if (written != bytes.size()) throw LogFileError(log_error::kDiskFull, path);
  // On the disk before the payment is reported, while no other writer can open
  // the file (FILE_APPEND_DATA is access enough to flush).
  if (!FlushFileBuffers(file.get())) throw LogFileError(static_cast<int>(GetLastError()), path);
  if (const DWORD error = file.Close()) throw LogFileError(static_cast<int>(error), path);
}

}  // namespace pcpos
